// Prints the speech figures: start → audio flowing (cold and warm), and on a flite corpus the word
// error rate, the real-time factor while streaming, the time from the end of audio to the final
// transcript, and the effect of contextual strings on names the model does not know.
// Usage: bench_speech [--quick] [--flat-pass] [--names-only]
#include "core/LiveScheduler.h"
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
#include <thread>

using namespace orv;
using namespace orv::test;

namespace {

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
    double endToFinal = 0; // from the end of the audio (finish called) to the transcript
    double endToFinalCpu = 0;
    double sessionCpu = 0;
    double streaming = 0; // from start to the end of the audio
    double audioSeconds = 0;
};

Run transcribe(LiveScheduler &scheduler,
               std::shared_ptr<PocketSphinxModel> model,
               const QString &path,
               WavFileSource::Pace pace,
               const QStringList &context = {})
{
    Run run;
    auto audio = WavFile::read(path);
    if (!audio)
        return run;
    run.audioSeconds = audio.value().durationSeconds();
    auto shared = std::make_shared<const WavAudio>(std::move(audio).value());
    AsyncValue<bool> ended;
    auto engine = speech::makeFileSpeechEngine(
        scheduler, shared, pace, [&scheduler, ended] { scheduler.post([ended] { ended.resolve(true); }); }, model);
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
        const double cpuAtEnd = cpuSeconds();
        engine->stopAudio();
        auto finished = co_await engine->finish();
        run->endToFinal = double(clock->nsecsElapsed()) / 1e9 - run->streaming;
        run->endToFinalCpu = cpuSeconds() - cpuAtEnd;
        if (finished) {
            run->transcript = finished.value();
            run->ok = true;
        }
    }(engine.get(), context, ended, &clock, &run);
    speechCorpus::runEventsUntil([&] { return task.isDone(); }, 300);
    run.sessionCpu = cpuSeconds() - cpuAtStart;
    return run;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
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
    auto engine = speech::makeLiveSpeechEngine(scheduler, speech::makeLivePermissions());
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
        speechCorpus::runEventsUntil([&] { return started.isDone(); }, 30);
        const double toListening = double(clock.nsecsElapsed()) / 1e6;
        speechCorpus::runEventsUntil([&] { return firstLevel > 0; }, 5);
        engine->cancel();
        if (i == 0) {
            std::printf("PulseAudio start → Listening, cold model:  %7.1f ms; first level %.1f ms\n", toListening,
                        firstLevel);
        } else {
            listening.push_back(toListening);
            level.push_back(firstLevel);
        }
    }
    std::printf("PulseAudio start → Listening, warm (median): %5.1f ms; first level %.1f ms\n", median(listening),
                median(level));
    feeding = false;
    feeder.join();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures appear as they are measured
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const bool namesOnly = app.arguments().contains(QStringLiteral("--names-only"));
    PocketSphinxModel::Search search;
    search.flatSecondPass = app.arguments().contains(QStringLiteral("--flat-pass"));
    std::printf("PocketSphinx search: %s\n",
                search.flatSecondPass ? "tree + flat second pass" : "tree pass + best path");
    if (auto missing = speechCorpus::missingTools()) {
        std::printf("skipped: %s\n", qPrintable(*missing));
        return 0;
    }
    LiveScheduler scheduler;
    QTemporaryDir dir;

    auto sentences = speechCorpus::everydaySentences();
    if (quick)
        sentences = sentences.mid(0, 4);
    QStringList paths;
    for (int i = 0; i < sentences.size(); ++i) {
        paths.append(dir.filePath(QStringLiteral("e%1.wav").arg(i)));
        speechCorpus::synthesize(sentences[i].text, sentences[i].voice, paths.last());
    }

    std::shared_ptr<PocketSphinxModel> model;
    if (!namesOnly) {
        // Cold: the model is loaded by the first start.
        {
            auto model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish(), search);
            const Run cold = transcribe(scheduler, model, paths[0], WavFileSource::Pace::realTime);
            std::printf("start → Listening, cold model:           %7.1f ms\n", cold.startToListening * 1000);
            std::printf("start → first audio level, cold model:   %7.1f ms\n", cold.startToFirstLevel * 1000);
        }

        benchLiveStart(scheduler);

        model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish(), search);
        model->loadInBackground();
        speechCorpus::runEventsUntil([&] { return model->isLoaded(); }, 60);
        {
            std::vector<double> listening;
            std::vector<double> level;
            for (int i = 0; i < 5; ++i) {
                const Run warm = transcribe(scheduler, model, paths[std::size_t(i) % std::size_t(paths.size())],
                                            WavFileSource::Pace::realTime, speechCorpus::unknownNames());
                listening.push_back(warm.startToListening * 1000);
                level.push_back(warm.startToFirstLevel * 1000);
            }
            std::printf("start → Listening, warm model (median):  %7.1f ms (max %.1f)\n", median(listening),
                        *std::max_element(listening.begin(), listening.end()));
            std::printf("start → first audio level, warm (median):%7.1f ms (first 100 ms buffer included)\n",
                        median(level));
        }

        // The corpus at the pace of speech: accuracy and finalization.
        int errors = 0;
        int words = 0;
        std::vector<double> finals;
        std::vector<double> finalsCpu;
        double audio = 0;
        double cpu = 0;
        for (int i = 0; i < paths.size(); ++i) {
            const Run run = transcribe(scheduler, model, paths[i], WavFileSource::Pace::realTime);
            errors += speechCorpus::wordErrors(sentences[i].text, run.transcript);
            words += int(speechCorpus::words(sentences[i].text).size());
            finals.push_back(run.endToFinal * 1000);
            finalsCpu.push_back(run.endToFinalCpu * 1000);
            audio += run.audioSeconds;
            cpu += run.sessionCpu;
        }
        std::printf("corpus: %lld sentences, 4 voices, %.1f s of audio\n", qlonglong(paths.size()), audio);
        std::printf("word error rate:                          %7.1f %% (%d errors / %d words)\n",
                    100.0 * errors / std::max(words, 1), errors, words);
        std::printf("end of audio → final transcript:          %7.1f ms median, %.1f ms p90\n", median(finals),
                    percentile(finals, 0.9));
        std::printf("  CPU time spent in that step:            %7.1f ms median, %.1f ms p90\n", median(finalsCpu),
                    percentile(finalsCpu, 0.9));
        std::printf("real-time factor while streaming (CPU):   %7.3f (CPU time of the sessions / audio)\n",
                    cpu / audio);

        // As fast as the recognizer takes it.
        double busy = 0;
        for (const QString &path : paths) {
            const Run run = transcribe(scheduler, model, path, WavFileSource::Pace::asFastAsPossible);
            busy += run.streaming - run.startToListening + run.endToFinal;
        }
        std::printf("real-time factor, fed at once (wall):     %7.3f\n", busy / audio);
    }

    // Names, on a fresh model: without contextual strings first (added words stay in the recognizer).
    PocketSphinxModel::Search withVocabulary = search;
    withVocabulary.contextualVocabulary = true;
    model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish(), withVocabulary);
    const auto names = speechCorpus::nameSentences();
    QStringList namePaths;
    for (int i = 0; i < names.size(); ++i) {
        namePaths.append(dir.filePath(QStringLiteral("n%1.wav").arg(i)));
        speechCorpus::synthesize(names[i].text, names[i].voice, namePaths.last());
    }
    for (bool hinted : {false, true}) {
        int nameErrors = 0;
        int nameWords = 0;
        int found = 0;
        for (int i = 0; i < names.size(); ++i) {
            const Run run = transcribe(scheduler, model, namePaths[i], WavFileSource::Pace::asFastAsPossible,
                                       hinted ? speechCorpus::unknownNames() : QStringList());
            nameErrors += speechCorpus::wordErrors(names[i].text, run.transcript);
            nameWords += int(speechCorpus::words(names[i].text).size());
            found += speechCorpus::words(run.transcript).contains(speechCorpus::unknownNames()[i % 5].toLower());
        }
        std::printf("names %s contextual strings:          %5.1f %% WER, %d of %lld names recognized\n",
                    hinted ? "with   " : "without", 100.0 * nameErrors / nameWords, found, qlonglong(names.size()));
    }
    return 0;
}
