#include "tests/support/FakeTranscriber.h"

namespace orv::test {

FakeTranscriber::~FakeTranscriber()
{
    prepared.abandon();
    finalized.abandon();
}

void FakeTranscriber::emitResult(const QString &text, double start, double end, bool isFinal)
{
    const auto seconds = [](double value) {
        return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(value));
    };
    m_results->push(TranscriptionResult{text, seconds(start), seconds(end), isFinal});
}

Expected<void, SpeechEngineError> FakeTranscriber::setContextualStrings(const QStringList &strings)
{
    contextualStrings = strings;
    return {};
}

Task<Expected<void, SpeechEngineError>> FakeTranscriber::prepare(AudioFormat format)
{
    preparedFormat = format;
    if (holdPrepare)
        co_return co_await prepared;
    co_return Expected<void, SpeechEngineError>();
}

Expected<void, SpeechEngineError> FakeTranscriber::start(std::shared_ptr<AnalyzerInputStream> stream)
{
    input = std::move(stream);
    if (startError)
        return unexpected(*startError);
    return {};
}

Task<Expected<void, SpeechEngineError>> FakeTranscriber::finalizeAndFinishThroughEndOfInput()
{
    Expected<void, SpeechEngineError> outcome;
    if (holdFinalize)
        outcome = co_await finalized;
    m_results->finish();
    co_return outcome;
}

Task<void> FakeTranscriber::cancelAndFinishNow()
{
    ++cancels;
    m_results->finish();
    finalized.resolve(Expected<void, SpeechEngineError>());
    co_return;
}

} // namespace orv::test
