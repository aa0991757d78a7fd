// Figures for text refinement: substitution, learning, preservation checks and the built-in rules.
#include "base/LiveScheduler.h"
#include "refine/CorrectionLearner.h"
#include "refine/DictationText.h"
#include "refine/IntelligenceFormatter.h"
#include "refine/LanguageModelSelector.h"
#include "refine/builtin/BuiltinRules.h"

#include <benchmark/benchmark.h>

#include <QRandomGenerator>
#include <QStringList>

using namespace orv;

namespace {

const QStringList vocabulary = [] {
    QStringList words;
    const QString base = QStringLiteral(
        "the meeting is about quarterly numbers and we need to review the budget before friday um please send "
        "notes to the team I think that the new design looks good but the colours are too bright so let us "
        "schedule another call with marketing next week café naïve résumé O'Neil don't can't won't");
    for (const QString &word : base.split(QLatin1Char(' ')))
        words.append(word);
    return words;
}();

QString dictation(int wordCount, quint32 seed = 7)
{
    QRandomGenerator random(seed);
    QStringList words;
    for (int i = 0; i < wordCount; ++i) {
        words.append(vocabulary[random.bounded(int(vocabulary.size()))]);
        if (i % 97 == 0)
            words.append(QString::number(i));
        if (i % 151 == 0)
            words.append(QStringLiteral("kubernetes cluster"));
    }
    return words.join(QLatin1Char(' '));
}

QList<DictionaryEntry> dictionary(int size, const QString &suffix = {})
{
    QList<DictionaryEntry> entries;
    for (int i = 0; i < size; ++i) {
        DictionaryEntry entry;
        switch (i % 3) {
        case 0:
            entry.heard = QStringLiteral("term%1%2").arg(i).arg(suffix);
            break;
        case 1:
            entry.heard = QStringLiteral("two words%1%2").arg(i).arg(suffix);
            break;
        default:
            entry.heard = QStringLiteral("a longer spoken phrase %1%2").arg(i).arg(suffix);
        }
        entry.replacement = QStringLiteral("Replacement%1").arg(i);
        entries.append(entry);
    }
    DictionaryEntry hit;
    hit.heard = QStringLiteral("kubernetes cluster");
    hit.replacement = QStringLiteral("Kubernetes cluster");
    if (!entries.isEmpty())
        entries[0] = hit;
    return entries;
}

void substitutionWarm(benchmark::State &state)
{
    const QList<DictionaryEntry> entries = dictionary(500);
    const QString text = dictation(2000);
    for (auto _ : state)
        benchmark::DoNotOptimize(CorrectionLearner::apply(entries, text));
    state.SetLabel("500 entries, 2000 words, patterns cached");
}
BENCHMARK(substitutionWarm)->Unit(benchmark::kMillisecond);

void substitutionCold(benchmark::State &state)
{
    const QString text = dictation(2000);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QList<DictionaryEntry> entries = dictionary(500, QStringLiteral("x%1").arg(++round));
        state.ResumeTiming();
        benchmark::DoNotOptimize(CorrectionLearner::apply(entries, text));
    }
    state.SetLabel("500 entries, 2000 words, every pattern compiled");
}
BENCHMARK(substitutionCold)->Unit(benchmark::kMillisecond);

// One entry matching everywhere in the longest dictation (ten minutes can reach 80,000 characters): the
// cost must grow with the number of matches, not with its square. Goal: under 20 ms.
void substitutionEverywhere(benchmark::State &state)
{
    DictionaryEntry entry;
    entry.heard = QStringLiteral("a");
    entry.replacement = QStringLiteral("bb");
    const QList<DictionaryEntry> entries{entry};
    const QString text = QStringLiteral("a ").repeated(int(state.range(0)) / 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(CorrectionLearner::apply(entries, text));
    state.SetLabel(QStringLiteral("'a' → 'bb' over %1 characters").arg(text.size()).toStdString());
}
BENCHMARK(substitutionEverywhere)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond);

void learnerOnLongTexts(benchmark::State &state)
{
    QString before = dictation(4000);
    before.truncate(20000);
    QString after = before;
    const qsizetype middle = after.indexOf(QStringLiteral(" budget "), 9000);
    after.replace(middle + 1, 6, QStringLiteral("budgit"));
    for (auto _ : state)
        benchmark::DoNotOptimize(CorrectionLearner::corrections(before, after));
    state.SetLabel("two 20000-unit texts, one word changed");
}
BENCHMARK(learnerOnLongTexts)->Unit(benchmark::kMillisecond);

void preservationCheck(benchmark::State &state)
{
    QString source = dictation(400) + QStringLiteral(" see https://example.com/plan or mail ann@example.com");
    source = source.right(1800);
    const QString answer = BuiltinRules::clean(source);
    const QList<DictionaryEntry> entries = dictionary(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(IntelligenceFormatter::preservesContent(source, answer, entries));
    state.SetLabel(QStringLiteral("1800-character piece, %1 dictionary entries").arg(state.range(0)).toStdString());
}
BENCHMARK(preservationCheck)->Arg(0)->Arg(500)->Unit(benchmark::kMicrosecond);

void builtinRules(benchmark::State &state)
{
    const QString text = dictation(2000);
    const bool structured = state.range(0) == 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(structured ? BuiltinRules::structure(text) : BuiltinRules::clean(text));
    state.SetLabel(structured ? "2000 words, Structured rules" : "2000 words, Clean rules");
}
BENCHMARK(builtinRules)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void builtinFormat(benchmark::State &state)
{
    LiveScheduler scheduler;
    IntelligenceFormatter formatter(scheduler, std::make_unique<LanguageModelSelector>(nullptr),
                                    QStringLiteral("PocketSphinx"));
    const QString text = dictation(2000);
    const QList<DictionaryEntry> entries = dictionary(60);
    for (auto _ : state) {
        auto task = formatter.format(text, DictationMode::clean, entries);
        if (!task.isDone())
            state.SkipWithError("the built-in rules did not answer at once");
        benchmark::DoNotOptimize(task);
    }
    state.SetLabel("IntelligenceFormatter.format, 2000 words, built-in rules, all checks");
}
BENCHMARK(builtinFormat)->Unit(benchmark::kMillisecond);

// What a dictation pays for the size of the dictionary: the recognizer's hints, substitution and the
// built-in rules with every check, on a sixty-word dictation. The index is built on the first dictation
// after a change (the first iteration); the figure is the time per dictation.
void dictationWithDictionary(benchmark::State &state)
{
    LiveScheduler scheduler;
    IntelligenceFormatter formatter(scheduler, std::make_unique<LanguageModelSelector>(nullptr),
                                    QStringLiteral("PocketSphinx"));
    const QString text = dictation(60);
    const QList<DictionaryEntry> entries = dictionary(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(DictationText::contextualStrings(entries));
        const DictationText::Substituted substituted = DictationText::substitute(text, entries);
        auto task = formatter.format(substituted.text, DictationMode::clean, entries);
        if (!task.isDone())
            state.SkipWithError("the built-in rules did not answer at once");
        benchmark::DoNotOptimize(task);
    }
    state.SetLabel(
        QStringLiteral("hints, substitution and built-in rules, %1 entries").arg(state.range(0)).toStdString());
}
BENCHMARK(dictationWithDictionary)->Arg(0)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
