#include "tests/support/FakeSpeechEngine.h"

namespace orv::test {

FakeSpeechEngine::~FakeSpeechEngine()
{
    const SpeechEngineError cancelled{SpeechEngineError::Kind::cancelled, {}};
    for (const auto &reply : std::as_const(startReplies))
        reply.resolve(unexpected(cancelled));
    for (const auto &reply : std::as_const(finishReplies))
        reply.resolve(unexpected(cancelled));
}

Task<FakeSpeechEngine::StartResult> FakeSpeechEngine::start(QString localeIdentifier, QStringList contextualStrings)
{
    startCalls.append(StartCall{localeIdentifier, contextualStrings});
    if (startAnswer)
        co_return *startAnswer;
    AsyncValue<StartResult> reply;
    startReplies.append(reply);
    co_return co_await reply;
}

Task<FakeSpeechEngine::FinishResult> FakeSpeechEngine::finish()
{
    ++finishCalls;
    if (finishAnswer)
        co_return *finishAnswer;
    AsyncValue<FinishResult> reply;
    finishReplies.append(reply);
    co_return co_await reply;
}

Task<QStringList> FakeSpeechEngine::supportedLocaleIdentifiers()
{
    if (localesAnswer)
        co_return *localesAnswer;
    AsyncValue<QStringList> reply;
    localeReplies.append(reply);
    co_return co_await reply;
}

void FakeSpeechEngine::reportPartial(const QString &text) const
{
    if (onPartial)
        onPartial(text);
}

void FakeSpeechEngine::reportLevel(float level) const
{
    if (onLevel)
        onLevel(level);
}

void FakeSpeechEngine::reportStatus(const QString &text) const
{
    if (onStatus)
        onStatus(text);
}

void FakeSpeechEngine::reportFailure(const SpeechEngineError &error) const
{
    if (onFailure)
        onFailure(error);
}

} // namespace orv::test
