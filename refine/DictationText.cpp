#include "refine/DictationText.h"

#include "base/CleanText.h"
#include "refine/CorrectionLearner.h"

#include <QSet>
#include <QUuid>

#include <algorithm>

namespace orv::DictationText {

QList<DictionaryEntry> dictionaryInUse(const QList<DictionaryEntry> &stored)
{
    QList<DictionaryEntry> entries;
    entries.reserve(stored.size());
    QSet<QUuid> seen;
    for (const DictionaryEntry &entry : stored) {
        if (!seen.contains(entry.id)) {
            seen.insert(entry.id);
            entries.append(entry);
        }
    }
    return entries;
}

QStringList contextualStrings(const QList<DictionaryEntry> &dictionary)
{
    QList<DictionaryEntry> byRecency = dictionary;
    std::stable_sort(byRecency.begin(), byRecency.end(),
                     [](const DictionaryEntry &a, const DictionaryEntry &b) { return a.modifiedAt > b.modifiedAt; });
    QStringList strings;
    strings.reserve(byRecency.size());
    for (const DictionaryEntry &entry : byRecency)
        strings.append(entry.replacement);
    return strings;
}

Substituted substitute(const QString &recognized, const QList<DictionaryEntry> &dictionary)
{
    Substituted result;
    // What a recognizer sent is text only: a speech server's control characters go before anything reads it.
    result.original = cleanText(recognized, true).trimmed();
    if (!result.original.isEmpty())
        result.text = CorrectionLearner::apply(dictionary, result.original);
    return result;
}

Task<Refined>
refine(AbstractFormatter &formatter, QString recognized, DictationMode mode, QList<DictionaryEntry> dictionary)
{
    const Substituted substituted = substitute(recognized, dictionary);
    if (substituted.original.isEmpty())
        co_return Refined{};
    FormattingResult formatted = co_await formatter.format(substituted.text, mode, dictionary);
    co_return Refined{substituted.original, std::move(formatted)};
}

} // namespace orv::DictationText
