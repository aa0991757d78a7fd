#include "tests/speech/SpeechSession.h"

using namespace Qt::StringLiterals;

namespace orv::test {

QCoreApplication &SpeechSession::application()
{
    static int argc = 1;
    static char name[] = "orvanta-speech-test";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

LiveScheduler &SpeechSession::scheduler()
{
    application();
    static LiveScheduler scheduler;
    return scheduler;
}

static std::shared_ptr<PocketSphinxModel> sharedModel()
{
    static auto shared =
        std::make_shared<PocketSphinxModel>(SpeechSession::scheduler(), PocketSphinxModel::debianEnglish());
    return shared;
}

SpeechSession::Outcome
SpeechSession::transcribe(const QString &wavPath, const QStringList &contextualStrings, bool freshModel)
{
    auto audio = WavFile::read(wavPath);
    if (!audio)
        return {unexpected(SpeechEngineError{SpeechEngineError::Kind::platform, audio.error().message}), {}, {}};
    Outcome outcome;
    auto shared = std::make_shared<const WavAudio>(std::move(audio).value());
    LiveScheduler &live = scheduler();
    AsyncValue<bool> ended;
    auto engine = speech::makeFileSpeechEngine(
        live, shared, WavFileSource::Pace::asFastAsPossible,
        [&live, ended] { live.post([ended] { ended.resolve(true); }); },
        freshModel ? std::make_shared<PocketSphinxModel>(live, PocketSphinxModel::debianEnglish()) : sharedModel());
    engine->onPartial = [&](const QString &text) { outcome.partials.append(text); };
    engine->onStatus = [&](const QString &text) { outcome.statuses.append(text); };

    auto run = [](SpeechEngine *engine, QStringList context, AsyncValue<bool> ended, Outcome *outcome) -> Task<> {
        auto started = co_await engine->start(u"en-US"_s, context);
        if (!started) {
            outcome->transcript = unexpected(started.error());
            co_return;
        }
        co_await ended;
        engine->stopAudio();
        outcome->transcript = co_await engine->finish();
    }(engine.get(), contextualStrings, ended, &outcome);
    if (!waitUntil([&] { return run.isDone(); }, 120000))
        outcome.transcript = unexpected(SpeechEngineError{SpeechEngineError::Kind::platform, u"timeout"_s});
    return outcome;
}

} // namespace orv::test
