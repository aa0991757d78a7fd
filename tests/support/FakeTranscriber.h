#pragma once

#include "speech/AbstractTranscriber.h"

#include <QStringList>

namespace orv::test {

// A recognizer the test scripts: it records the session's setup, lets the test emit results, and
// finalizes at once or when the test says so.
class FakeTranscriber final : public AbstractTranscriber
{
public:
    // Answers still held end their waiters, as a platform's pending answers do when it goes.
    ~FakeTranscriber() override;

    explicit FakeTranscriber(Scheduler &scheduler) : m_results(std::make_shared<TranscriptionResultStream>(scheduler))
    {}

    // Script
    std::optional<AudioFormat> best = AudioFormat{16000, 1, AudioFormat::SampleType::int16};
    std::optional<SpeechEngineError> startError;
    bool holdPrepare = false;
    AsyncValue<Expected<void, SpeechEngineError>> prepared;
    bool holdFinalize = false; // finalize waits for finalized (or a cancel) instead of ending at once
    AsyncValue<Expected<void, SpeechEngineError>> finalized;

    // Record
    QStringList contextualStrings;
    QStringList recentContext;
    std::optional<AudioFormat> preparedFormat;
    std::shared_ptr<AnalyzerInputStream> input;
    int cancels = 0;

    void emitResult(const QString &text, double start, double end, bool isFinal);
    void failResults(const SpeechEngineError &error) { m_results->fail(error); }

    std::optional<AudioFormat> bestAudioFormat(const AudioFormat &) override { return best; }
    Expected<void, SpeechEngineError> setContextualStrings(const QStringList &strings) override;
    void setRecentContext(const QStringList &strings) override { recentContext = strings; }
    Task<Expected<void, SpeechEngineError>> prepare(AudioFormat format) override;
    std::shared_ptr<TranscriptionResultStream> results() override { return m_results; }
    Expected<void, SpeechEngineError> start(std::shared_ptr<AnalyzerInputStream> stream) override;
    Task<Expected<void, SpeechEngineError>> finalizeAndFinishThroughEndOfInput() override;
    Task<void> cancelAndFinishNow() override;

private:
    std::shared_ptr<TranscriptionResultStream> m_results;
};

} // namespace orv::test
