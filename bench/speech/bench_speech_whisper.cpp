// The embedded Whisper recognizer's figures (bench_speech --whisper): release → final text for dictations
// of 3, 10 and 30 s with pauses, the real-time factor and the process's peak memory, for models of the
// tiny.en and base.en dimensions, side by side with PocketSphinx on the same audio. The models are written
// here with random weights (no published weights are on this machine): the figures are timing only, and
// a random decoder may emit more or fewer tokens than a trained one would.
#include "bench/speech/BenchSpeechWhisper.h"

#include "base/LiveScheduler.h"
#include "speech/live/SpeechComposition.h"
#include "speech/pocketsphinx/PocketSphinxModel.h"
#include "speech/wav/WavFile.h"
#include "speech/whisper/WhisperModel.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/SpeechCorpus.h"
#include "tests/support/SyntheticWhisperModel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace orv {

namespace {

using test::WhisperDimensions;
namespace speechCorpus = test::speechCorpus;

// The process's peak resident memory so far (VmHWM), in MB.
double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// Sentences spoken by flite with 0.7 s of silence after each, until the dictation is seconds long.
std::shared_ptr<const WavAudio> dictation(const QTemporaryDir &dir, double seconds)
{
    auto audio = std::make_shared<WavAudio>();
    audio->sampleRate = 16000;
    audio->channels = 1;
    const auto sentences = speechCorpus::everydaySentences();
    for (int i = 0; audio->durationSeconds() < seconds && i < 200; ++i) {
        const auto &sentence = sentences[i % sentences.size()];
        const QString path = dir.filePath(QStringLiteral("d%1.wav").arg(i));
        if (!speechCorpus::synthesize(sentence.text, sentence.voice, path))
            break;
        auto spoken = WavFile::load(path);
        if (!spoken || spoken.value().sampleRate != 16000)
            break;
        audio->samples.insert(audio->samples.end(), spoken.value().samples.begin(), spoken.value().samples.end());
        audio->samples.resize(audio->samples.size() + 11200);
    }
    audio->samples.resize(std::size_t(seconds * 16000));
    return audio;
}

struct Result
{
    double releaseToFinal = 0; // s
    bool ok = false;
};

Result dictate(LiveScheduler &scheduler,
               std::shared_ptr<PocketSphinxModel> pocketSphinx,
               std::shared_ptr<const WavAudio> audio,
               std::shared_ptr<const SpeechServerChoice> choice)
{
    Result result;
    AsyncValue<bool> ended;
    auto engine = speech::makeFileSpeechEngine(
        scheduler, audio, WavFileSource::Pace::realTime,
        [&scheduler, ended] { scheduler.post([ended] { ended.resolve(true); }); }, pocketSphinx, nullptr, choice);
    auto task = [](SpeechEngine *engine, AsyncValue<bool> ended, Result *result) -> Task<> {
        if (!co_await engine->start(QStringLiteral("en-US"), {}))
            co_return;
        co_await ended;
        engine->stopAudio();
        QElapsedTimer clock;
        clock.start();
        auto finished = co_await engine->finish();
        result->releaseToFinal = double(clock.nsecsElapsed()) / 1e9;
        result->ok = finished.hasValue();
    }(engine.get(), ended, &result);
    test::waitUntil([&] { return task.isDone(); }, 120 * 1000);
    return result;
}

// One request for the whole audio, as a file would be decoded: seconds of decoding per second of audio.
double realTimeFactor(LiveScheduler &scheduler, std::shared_ptr<WhisperModel> model, const WavAudio &audio)
{
    QElapsedTimer clock;
    clock.start();
    AsyncValue<WhisperModel::Answer> answer = model->decode(
        WhisperModel::Request{audio.samples, {}, QStringLiteral("en")}, std::make_shared<std::atomic<bool>>(false));
    test::waitUntil([&] { return answer.isResolved(); }, 300 * 1000);
    (void)scheduler;
    return double(clock.nsecsElapsed()) / 1e9 / audio.durationSeconds();
}

} // namespace

void benchWhisper()
{
    if (auto missing = speechCorpus::missingTools()) {
        std::printf("Whisper: skipped: %s\n", qPrintable(*missing));
        return;
    }
    LiveScheduler scheduler;
    QTemporaryDir dir;
    const std::vector<double> lengths{3, 10, 30};
    std::vector<std::shared_ptr<const WavAudio>> audio;
    for (double seconds : lengths)
        audio.push_back(dictation(dir, seconds));

    auto pocketSphinx = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish());
    pocketSphinx->loadInBackground();
    test::waitUntil([&] { return pocketSphinx->isLoaded(); }, 60 * 1000);

    std::printf("\nEmbedded Whisper (random weights: timing only), %u threads, dictations at real-time pace with "
                "pauses\n",
                std::max(1u, std::thread::hardware_concurrency()));
    std::printf("%-24s %10s %10s %10s %8s %10s\n", "engine", "3 s", "10 s", "30 s", "RTF", "peak MB");
    const auto row = [&](const char *name, std::shared_ptr<const SpeechServerChoice> choice, double rtf) {
        std::printf("%-24s", name);
        for (const auto &dictated : audio) {
            const Result r = dictate(scheduler, pocketSphinx, dictated, choice);
            std::printf(" %7.0f ms%s", r.releaseToFinal * 1000, r.ok ? "" : "!");
        }
        std::printf(" %8.2f %10.0f\n", rtf, peakMegabytes());
    };
    row("PocketSphinx", nullptr, 0);
    for (const auto &[name, dimensions] : {std::pair{"Whisper tiny.en-sized", WhisperDimensions::tinyEn()},
                                           std::pair{"Whisper base.en-sized", WhisperDimensions::baseEn()}}) {
        const QString path = dir.filePath(QStringLiteral("%1.bin").arg(QString::fromLatin1(name).section(u' ', 1)));
        if (!test::writeSyntheticWhisperModel(path, dimensions)) {
            std::printf("%s: could not write the model\n", name);
            continue;
        }
        auto model = std::make_shared<WhisperModel>(scheduler, path);
        auto loaded = model->whenLoaded();
        test::waitUntil([&] { return loaded.isDone(); }, 120 * 1000);
        if (!loaded.result()) {
            std::printf("%s: %s\n", name, qPrintable(loaded.result().error()));
            continue;
        }
        const double rtf = realTimeFactor(scheduler, model, *audio[1]);
        auto choice = std::make_shared<SpeechServerChoice>();
        choice->whisper = true;
        choice->whisperFile = path;
        choice->whisperModel = model;
        row(name, choice, rtf);
        QFile::remove(path);
    }
    std::printf("RTF: one request for the 10 s dictation. Peak: the process so far (PocketSphinx and the models "
                "before it included). \"!\": the dictation failed.\n");
}

} // namespace orv
