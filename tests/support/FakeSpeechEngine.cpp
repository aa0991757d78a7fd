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
    return answerOrWait(startAnswer, startReplies);
}

Task<FakeSpeechEngine::FinishResult> FakeSpeechEngine::finish()
{
    ++finishCalls;
    return answerOrWait(finishAnswer, finishReplies);
}

} // namespace orv::test
