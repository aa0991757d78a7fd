// Prints the speech figures: start → audio flowing (cold and warm); word error rates side by side with
// PocketSphinx's own decoder (pocketsphinx_continuous) on the same audio; the time from the end of the
// audio to the final transcript when the key is released after a pause and in the middle of a word; the
// real-time factor; the effect of contextual strings on names the model does not know; and how often
// spoken punctuation ("comma", "new paragraph") is heard, with and without the command words weighed.
// Usage: bench_speech [--quick] [--tree-only] [--names-only] [--commands-only] [--no-accuracy]
//                     [--no-latency] [--accuracy-only] [--no-spoken-commands] [--command-tags=CLAUSE,SENTENCE]
//                     [--whisper|--whisper-only] (the embedded Whisper's figures)
#include "base/LiveScheduler.h"
#include "bench/speech/BenchSpeechWhisper.h"
#include "speech/SpokenPunctuation.h"
#include "speech/live/SpeechComposition.h"
#include "speech/pocketsphinx/PocketSphinxModel.h"
#include "speech/wav/WavFile.h"
#include "tests/support/SpeechCorpus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <map>
#include <thread>

using namespace orv;
using namespace orv::test;

namespace {

// More everyday sentences that no test uses, for the judgement of accuracy on words the tests never tuned.
QStringList heldOutTexts()
{
    return {
        QStringLiteral("could you pick up the kids from school on wednesday"),
        QStringLiteral("i left my umbrella in the car this morning"),
        QStringLiteral("the library closes at six on weekends"),
        QStringLiteral("we are planning a trip to the mountains in july"),
        QStringLiteral("please remember to lock the door when you leave"),
        QStringLiteral("the coffee machine in the kitchen is broken again"),
        QStringLiteral("my sister is moving to a new apartment next month"),
        QStringLiteral("he runs five miles every morning before work"),
        QStringLiteral("the bus was late so i missed the first class"),
        QStringLiteral("let me know if you need anything else from me"),
        QStringLiteral("the garden looks beautiful after the rain"),
        QStringLiteral("we should order more paper for the printer"),
        QStringLiteral("her birthday party is on saturday at seven"),
        QStringLiteral("i need to finish this letter before lunch"),
        QStringLiteral("the hotel room had a nice view of the sea"),
        QStringLiteral("they bought a new car last summer"),
        QStringLiteral("please turn off the lights before you go to bed"),
        QStringLiteral("the store is having a big sale this weekend"),
        QStringLiteral("my phone battery died in the middle of the call"),
        QStringLiteral("we watched a good movie at home last night"),
        QStringLiteral("can we move our lunch to half past twelve"),
        QStringLiteral("the train to the airport leaves every twenty minutes"),
    };
}

// CPU time of the whole process: the decoder's work, whatever else the machine is doing.
double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct Run
{
    QString transcript;
    bool ok = false;
    double startToListening = 0; // s
    double startToFirstLevel = 0;
    double endToFinal = 0; // from the end of the audio (the release: finish called) to the transcript
    double sessionCpu = 0;
    double streaming = 0; // from start to the end of the audio
    double audioSeconds = 0;
};

Run transcribe(LiveScheduler &scheduler,
               std::shared_ptr<PocketSphinxModel> model,
               std::shared_ptr<const WavAudio> audio,
               WavFileSource::Pace pace,
               const QStringList &context = {})
{
    Run run;
    run.audioSeconds = audio->durationSeconds();
    AsyncValue<bool> ended;
    auto engine = speech::makeFileSpeechEngine(
        scheduler, audio, pace, [&scheduler, ended] { scheduler.post([ended] { ended.resolve(true); }); }, model);
    QElapsedTimer clock;
    engine->onLevel = [&](float) {
        if (run.startToFirstLevel == 0)
            run.startToFirstLevel = double(clock.nsecsElapsed()) / 1e9;
    };
    clock.start();
    const double cpuAtStart = cpuSeconds();
    auto task = [](SpeechEngine *engine, QStringList context, AsyncValue<bool> ended, QElapsedTimer *clock,
                   Run *run) -> Task<> {
        auto started = co_await engine->start(QStringLiteral("en-US"), context);
        run->startToListening = double(clock->nsecsElapsed()) / 1e9;
        if (!started)
            co_return;
        co_await ended;
        run->streaming = double(clock->nsecsElapsed()) / 1e9;
        engine->stopAudio();
        auto finished = co_await engine->finish();
        run->endToFinal = double(clock->nsecsElapsed()) / 1e9 - run->streaming;
        if (finished) {
            run->transcript = finished.value();
            run->ok = true;
        }
    }(engine.get(), context, ended, &clock, &run);
    waitUntil([&] { return task.isDone(); }, 300000);
    run.sessionCpu = cpuSeconds() - cpuAtStart;
    return run;
}

std::shared_ptr<const WavAudio> load(const QString &path)
{
    auto audio = WavFile::read(path);
    return audio ? std::make_shared<const WavAudio>(std::move(audio).value()) : std::make_shared<const WavAudio>();
}

std::shared_ptr<PocketSphinxModel> loadedModel(LiveScheduler &scheduler, PocketSphinxModel::Search search)
{
    auto model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish(), search);
    model->loadInBackground();
    waitUntil([&] { return model->isLoaded(); }, 60000);
    return model;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

void printDistribution(const char *label, const std::vector<double> &ms)
{
    std::printf("%-44s p10 %4.0f  p25 %4.0f  median %4.0f  p75 %4.0f  p90 %4.0f  max %4.0f ms (%zu releases)\n", label,
                percentile(ms, 0.1), percentile(ms, 0.25), percentile(ms, 0.5), percentile(ms, 0.75),
                percentile(ms, 0.9), percentile(ms, 1.0), ms.size());
}

// The live microphone path: the default PulseAudio source (the test server's FIFO source under
// scripts/with-desktop.sh, fed with silence here so buffers flow).
void benchLiveStart(LiveScheduler &scheduler)
{
    const QByteArray fifo = qgetenv("ORVANTA_TEST_MIC_FIFO");
    if (fifo.isEmpty() || qgetenv("ORVANTA_TEST_PULSE").isEmpty()) {
        std::printf("PulseAudio start: skipped (run under scripts/with-desktop.sh)\n");
        return;
    }
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        const int fd = ::open(fifo.constData(), O_WRONLY);
        const std::vector<qint16> silence(160, 0);
        auto due = std::chrono::steady_clock::now();
        while (fd >= 0 && feeding) {
            due += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(due);
            if (::write(fd, silence.data(), silence.size() * 2) < 0)
                break;
        }
        if (fd >= 0)
            ::close(fd);
    });
    auto engine = speech::makeLiveSpeechEngine(scheduler);
    std::vector<double> listening;
    std::vector<double> level;
    for (int i = 0; i < 6; ++i) {
        QElapsedTimer clock;
        double firstLevel = 0;
        engine->onLevel = [&](float) {
            if (firstLevel == 0)
                firstLevel = double(clock.nsecsElapsed()) / 1e6;
        };
        clock.start();
        auto started = engine->start(QStringLiteral("en-US"), {});
        waitUntil([&] { return started.isDone(); }, 30000);
        const double toListening = double(clock.nsecsElapsed()) / 1e6;
        waitUntil([&] { return firstLevel > 0; }, 5000);
        engine->cancel();
        if (i == 0) {
            std::printf("PulseAudio start → Listening, cold model:  %7.1f ms; first level %.1f ms\n", toListening,
                        firstLevel);
        } else {
            listening.push_back(toListening);
            level.push_back(firstLevel);
        }
    }
    std::printf("PulseAudio start → Listening, warm (median): %5.1f ms; first level %.1f ms\n",
                percentile(listening, 0.5), percentile(level, 0.5));
    feeding = false;
    feeder.join();
}

void benchStart(LiveScheduler &scheduler, PocketSphinxModel::Search search, const QString &path)
{
    {
        auto model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish(), search);
        const Run cold = transcribe(scheduler, model, load(path), WavFileSource::Pace::realTime);
        std::printf("start → Listening, cold model:           %7.1f ms\n", cold.startToListening * 1000);
        std::printf("start → first audio level, cold model:   %7.1f ms\n", cold.startToFirstLevel * 1000);
    }
    benchLiveStart(scheduler);
    auto model = loadedModel(scheduler, search);
    std::vector<double> listening;
    std::vector<double> level;
    for (int i = 0; i < 5; ++i) {
        const Run warm =
            transcribe(scheduler, model, load(path), WavFileSource::Pace::realTime, speechCorpus::unknownNames());
        listening.push_back(warm.startToListening * 1000);
        level.push_back(warm.startToFirstLevel * 1000);
    }
    std::printf("start → Listening, warm model (median):  %7.1f ms (max %.1f)\n", percentile(listening, 0.5),
                percentile(listening, 1.0));
    std::printf("start → first audio level, warm (median):%7.1f ms (first 100 ms buffer included)\n",
                percentile(level, 0.5));
}

// Errors and words per group ("slt", "held out", …).
struct Tally
{
    std::map<QString, std::pair<int, int>> groups;
    void add(const QStringList &keys, int errors, int words)
    {
        for (const QString &key : keys) {
            groups[key].first += errors;
            groups[key].second += words;
        }
    }
    QString rate(const QString &key) const
    {
        const auto it = groups.find(key);
        if (it == groups.end() || it->second.second == 0)
            return QStringLiteral("   -  ");
        return QStringLiteral("%1 %").arg(100.0 * it->second.first / it->second.second, 5, 'f', 1);
    }
};

struct Spoken
{
    QString text;
    QString voice;
    bool heldOut = false;
    QString path;
};

// The same files through our engine (a fresh model per file, as `orvanta transcribe` hears it, and the
// application's one warm model hearing them in a row) and through the reference decoder.
void benchAccuracy(LiveScheduler &scheduler, PocketSphinxModel::Search search, const QList<Spoken> &corpus)
{
    const bool reference = speechCorpus::referenceDecoderInstalled();
    if (!reference)
        std::printf("reference decoder: not installed (apt-get install pocketsphinx); ours only\n");
    auto warm = loadedModel(scheduler, search);
    Tally fresh, shared, theirs;
    double audio = 0;
    for (const Spoken &spoken : corpus) {
        const auto samples = load(spoken.path);
        audio += samples->durationSeconds();
        const int words = int(speechCorpus::words(spoken.text).size());
        const QStringList keys{QStringLiteral("all"), spoken.voice,
                               spoken.heldOut ? QStringLiteral("held out") : QStringLiteral("tests'")};
        auto model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish(), search);
        const Run ours = transcribe(scheduler, model, samples, WavFileSource::Pace::asFastAsPossible);
        fresh.add(keys, speechCorpus::wordErrors(spoken.text, ours.transcript), words);
        const Run app = transcribe(scheduler, warm, samples, WavFileSource::Pace::asFastAsPossible);
        shared.add(keys, speechCorpus::wordErrors(spoken.text, app.transcript), words);
        if (reference)
            theirs.add(keys,
                       speechCorpus::wordErrors(spoken.text,
                                                speechCorpus::referenceTranscript(spoken.path).value_or(QString())),
                       words);
    }
    std::printf(
        "word error rate, %lld files (%.0f s of audio)     ours, fresh   ours, warm   pocketsphinx_continuous\n",
        qlonglong(corpus.size()), audio);
    QStringList groups{QStringLiteral("all"), QStringLiteral("tests'"), QStringLiteral("held out")};
    groups += speechCorpus::voices();
    for (const QString &group : groups)
        std::printf("  %-42s %s      %s      %s\n", qPrintable(group), qPrintable(fresh.rate(group)),
                    qPrintable(shared.rate(group)), qPrintable(theirs.rate(group)));
    std::printf("  (fresh: a new model per file, as `orvanta transcribe` and the reference decoder hear it;\n"
                "   warm: the application's one model hearing the files in a row)\n");
}

// Released at a real microphone's pace: after a pause (speech ends at least 300 ms before the end of the
// audio) and in the middle of the last word (150 ms before the speech ends).
void benchLatency(LiveScheduler &scheduler, PocketSphinxModel::Search search, const QList<Spoken> &corpus)
{
    auto model = loadedModel(scheduler, search);
    std::vector<double> afterPause, midWord;
    double audio = 0;
    double cpu = 0;
    for (const Spoken &spoken : corpus) {
        const auto samples = load(spoken.path);
        qint64 lastLoud = 0;
        for (qint64 i = 0; i < qint64(samples->samples.size()); ++i)
            if (std::abs(samples->samples[std::size_t(i)]) > 0.01f)
                lastLoud = i;
        const qint64 rate = qint64(samples->sampleRate);
        auto paused = std::make_shared<WavAudio>(*samples);
        paused->samples.resize(std::size_t(lastLoud + 1));
        unsigned noise = 12345; // a quiet room, not digital silence
        for (qint64 i = 0; i < rate * 3 / 10; ++i) {
            noise = noise * 1103515245u + 12345u;
            paused->samples.push_back(float(int((noise >> 16) % 7) - 3) / 32768.0f);
        }
        auto cut = std::make_shared<WavAudio>(*samples);
        cut->samples.resize(std::size_t(std::max<qint64>(lastLoud - rate * 15 / 100, 0)));
        const Run pause = transcribe(scheduler, model, paused, WavFileSource::Pace::realTime);
        const Run word = transcribe(scheduler, model, cut, WavFileSource::Pace::realTime);
        afterPause.push_back(pause.endToFinal * 1000);
        midWord.push_back(word.endToFinal * 1000);
        audio += pause.audioSeconds + word.audioSeconds;
        cpu += pause.sessionCpu + word.sessionCpu;
    }
    std::printf("end of audio → final transcript, at the pace of speech:\n");
    printDistribution("  released 300 ms after the speech ended", afterPause);
    printDistribution("  released in the middle of the last word", midWord);
    std::printf("real-time factor while streaming (CPU):   %7.3f (CPU time of the sessions / audio)\n", cpu / audio);
}

void benchNames(LiveScheduler &scheduler, PocketSphinxModel::Search search, const QTemporaryDir &dir)
{
    // On a fresh model, without contextual strings first (added words stay in the recognizer).
    auto model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish(), search);
    const auto names = speechCorpus::nameSentences();
    QStringList paths;
    for (int i = 0; i < names.size(); ++i) {
        paths.append(dir.filePath(QStringLiteral("n%1.wav").arg(i)));
        speechCorpus::synthesize(names[i].text, names[i].voice, paths.last());
    }
    for (bool hinted : {false, true}) {
        int errors = 0;
        int words = 0;
        int found = 0;
        for (int i = 0; i < names.size(); ++i) {
            const Run run = transcribe(scheduler, model, load(paths[i]), WavFileSource::Pace::asFastAsPossible,
                                       hinted ? speechCorpus::unknownNames() : QStringList());
            errors += speechCorpus::wordErrors(names[i].text, run.transcript);
            words += int(speechCorpus::words(names[i].text).size());
            found += speechCorpus::words(run.transcript).contains(speechCorpus::unknownNames()[i % 5].toLower());
        }
        std::printf("names %s contextual strings:          %5.1f %% WER, %d of %lld names recognized\n",
                    hinted ? "with   " : "without", 100.0 * errors / words, found, qlonglong(names.size()));
    }
}

// The marks and breaks of a text in order ("¶" a blank line, "↵" a line break).
QString marksOf(const QString &text)
{
    static const QString marks = QStringLiteral(",.?!:;–-“”()");
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.mid(i, 2) == QStringLiteral("\n\n")) {
            result += QStringLiteral("¶");
            ++i;
        } else if (text.at(i) == QLatin1Char('\n')) {
            result += QStringLiteral("↵");
        } else if (marks.contains(text.at(i))) {
            result += text.at(i);
        }
    }
    return result;
}

int commonLength(const QString &a, const QString &b)
{
    std::vector<std::vector<int>> table(std::size_t(a.size() + 1), std::vector<int>(std::size_t(b.size() + 1), 0));
    for (qsizetype i = 1; i <= a.size(); ++i)
        for (qsizetype j = 1; j <= b.size(); ++j)
            table[std::size_t(i)][std::size_t(j)] =
                a.at(i - 1) == b.at(j - 1)
                    ? table[std::size_t(i - 1)][std::size_t(j - 1)] + 1
                    : std::max(table[std::size_t(i - 1)][std::size_t(j)], table[std::size_t(i)][std::size_t(j - 1)]);
    return table[std::size_t(a.size())][std::size_t(b.size())];
}

// Each command sentence in two voices, a fresh model per file, before (the command words only as the
// generic language model knows them) and after (weighed as words of their own).
void benchCommands(LiveScheduler &scheduler, PocketSphinxModel::Search search, const QTemporaryDir &dir)
{
    const QStringList texts = speechCorpus::commandTexts();
    const QStringList voices{QStringLiteral("slt"), QStringLiteral("awb")};
    for (const QString &voice : voices)
        for (int i = 0; i < texts.size(); ++i)
            speechCorpus::synthesize(texts[i], voice, dir.filePath(QStringLiteral("c%1-%2.wav").arg(i).arg(voice)));
    const SpokenPunctuation &english = SpokenPunctuation::english();
    std::printf("spoken commands (%lld sentences per voice)          marks heard   marks extra   word errors\n",
                qlonglong(texts.size()));
    for (const bool weighed : {false, true}) {
        search.spokenCommands = weighed;
        for (const QString &voice : voices) {
            int expected = 0, heard = 0, extra = 0, errors = 0, words = 0;
            for (int i = 0; i < texts.size(); ++i) {
                auto model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish(), search);
                const Run run =
                    transcribe(scheduler, model, load(dir.filePath(QStringLiteral("c%1-%2.wav").arg(i).arg(voice))),
                               WavFileSource::Pace::asFastAsPossible);
                const QString written = english.apply(texts[i]);
                const QString wanted = marksOf(written);
                // The automatic full stop at the end is no spoken mark.
                QString got = marksOf(run.transcript);
                if (got.endsWith(QLatin1Char('.')) && !wanted.endsWith(QLatin1Char('.')))
                    got.chop(1);
                const int common = commonLength(wanted, got);
                expected += int(wanted.size());
                heard += common;
                extra += int(got.size()) - common;
                errors += speechCorpus::wordErrors(written, run.transcript);
                words += int(speechCorpus::words(written).size());
                if (qEnvironmentVariableIsSet("ORVANTA_BENCH_VERBOSE"))
                    std::printf("    %s\n",
                                qPrintable(QString(run.transcript).replace(QLatin1Char('\n'), QStringLiteral("↵"))));
            }
            std::printf("  %-6s %-40s %3d of %3d    %3d           %5.1f %%\n", weighed ? "after" : "before",
                        qPrintable(voice), heard, expected, extra, 100.0 * errors / std::max(words, 1));
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures appear as they are measured
    const QStringList arguments = app.arguments();
    const bool quick = arguments.contains(QStringLiteral("--quick"));
    PocketSphinxModel::Search search;
    if (arguments.contains(QStringLiteral("--tree-only")))
        search = PocketSphinxModel::Search::treeOnly();
    if (arguments.contains(QStringLiteral("--no-spoken-commands")))
        search.spokenCommands = false;
    for (const QString &argument : arguments) {
        if (argument.startsWith(QStringLiteral("--command-tags="))) {
            const QStringList tags = argument.section(QLatin1Char('='), 1).split(QLatin1Char(','));
            search.clauseTag = tags.value(0).toUtf8();
            search.sentenceTag = tags.value(1, tags.value(0)).toUtf8();
        }
    }
    std::printf("PocketSphinx search: %s\n", search.flatPass ? "tree, flat pass and best path per utterance"
                                                             : "tree pass and best path, library's utterance end");
    if (auto missing = speechCorpus::missingTools()) {
        std::printf("skipped: %s\n", qPrintable(*missing));
        return 0;
    }
    if (arguments.contains(QStringLiteral("--whisper-only"))) {
        benchWhisper();
        return 0;
    }
    LiveScheduler scheduler;
    QTemporaryDir dir;
    if (arguments.contains(QStringLiteral("--commands-only"))) {
        benchCommands(scheduler, search, dir);
        return 0;
    }

    if (!arguments.contains(QStringLiteral("--names-only"))) {
        // Every text of the tests and as many held out, in each voice.
        QList<Spoken> corpus;
        QList<Spoken> oneVoiceEach;
        QStringList texts;
        for (const auto &sentence : speechCorpus::everydaySentences())
            texts.append(sentence.text);
        const int tested = int(texts.size());
        texts += heldOutTexts();
        for (int i = 0; i < texts.size(); ++i) {
            if (quick && i % 11 != 0)
                continue;
            for (int v = 0; v < speechCorpus::voices().size(); ++v) {
                const QString voice = speechCorpus::voices()[v];
                Spoken spoken{texts[i], voice, i >= tested,
                              dir.filePath(QStringLiteral("%1-%2.wav").arg(i).arg(voice))};
                speechCorpus::synthesize(spoken.text, voice, spoken.path);
                corpus.append(spoken);
                if (v == i % speechCorpus::voices().size())
                    oneVoiceEach.append(spoken);
            }
        }
        const bool accuracyOnly = arguments.contains(QStringLiteral("--accuracy-only"));
        if (accuracyOnly) {
            benchAccuracy(scheduler, search, corpus);
            return 0;
        }
        benchStart(scheduler, search, corpus.front().path);
        if (!arguments.contains(QStringLiteral("--no-accuracy")))
            benchAccuracy(scheduler, search, corpus);
        if (!arguments.contains(QStringLiteral("--no-latency")))
            benchLatency(scheduler, search, oneVoiceEach);
    }
    benchNames(scheduler, search, dir);
    if (!arguments.contains(QStringLiteral("--names-only")))
        benchCommands(scheduler, search, dir);
    if (arguments.contains(QStringLiteral("--whisper")))
        benchWhisper();
    return 0;
}
