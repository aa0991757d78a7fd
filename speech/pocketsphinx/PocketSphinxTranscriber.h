#pragma once

#include "speech/AbstractTranscriber.h"
#include "speech/pocketsphinx/PocketSphinxModel.h"

#include <atomic>
#include <thread>

namespace orv {

// One session of the shared PocketSphinx decoder, streaming on a thread of its own: each 100 ms of
// audio is decoded as it comes; the growing hypothesis of the current utterance is a volatile result,
// each utterance the voice activity detector closes (and the rest at the end of input) a final one.
// Time ranges count the samples fed.
class PocketSphinxTranscriber final : public AbstractTranscriber
{
public:
    PocketSphinxTranscriber(Scheduler &scheduler, std::shared_ptr<PocketSphinxModel> model);
    ~PocketSphinxTranscriber() override;

    std::optional<AudioFormat> bestAudioFormat(const AudioFormat &input) override;
    Expected<void, SpeechEngineError> setContextualStrings(const QStringList &strings) override;
    Task<Expected<void, SpeechEngineError>> prepare(AudioFormat format) override;
    std::shared_ptr<TranscriptionResultStream> results() override { return m_results; }
    Expected<void, SpeechEngineError> start(std::shared_ptr<AnalyzerInputStream> input) override;
    Task<Expected<void, SpeechEngineError>> finalizeAndFinishThroughEndOfInput() override;
    Task<void> cancelAndFinishNow() override;

    // What the last session added to the vocabulary (for benchmarks).
    int addedWords() const { return m_addedWords; }

private:
    void decode(std::shared_ptr<AnalyzerInputStream> input);
    void post(TranscriptionResult result);
    void end(Expected<void, SpeechEngineError> outcome);

    Scheduler &m_scheduler;
    std::shared_ptr<PocketSphinxModel> m_model;
    std::shared_ptr<TranscriptionResultStream> m_results;
    QStringList m_contextualStrings;
    std::shared_ptr<AnalyzerInputStream> m_input;
    std::thread m_thread;
    std::atomic<bool> m_cancelled{false};
    std::atomic<int> m_addedWords{0};
    // Resolved on the main thread after the last result was pushed and the results ended.
    AsyncValue<Expected<void, SpeechEngineError>> m_ended;
};

} // namespace orv
