#pragma once

#include "speech/AbstractTranscriber.h"
#include "speech/RecognizerProgress.h"
#include "speech/pocketsphinx/PocketSphinxModel.h"

#include <atomic>

namespace orv {

// One session of the shared PocketSphinx decoder (see UtteranceDecoder), decoding on a thread the model
// runs and joins. It holds the model weakly: whoever owns the model decides when the decoding ends.
class PocketSphinxTranscriber final : public AbstractTranscriber
{
public:
    // progress, when given, follows the audio this session's decoding consumes.
    PocketSphinxTranscriber(Scheduler &scheduler,
                            std::weak_ptr<PocketSphinxModel> model,
                            std::shared_ptr<RecognizerProgress> progress = nullptr);
    ~PocketSphinxTranscriber() override;

    std::optional<AudioFormat> bestAudioFormat(const AudioFormat &input) override;
    Expected<void, SpeechEngineError> setContextualStrings(const QStringList &strings) override;
    Task<Expected<void, SpeechEngineError>> prepare(AudioFormat format) override;
    std::shared_ptr<TranscriptionResultStream> results() override { return m_results; }
    Expected<void, SpeechEngineError> start(std::shared_ptr<AnalyzerInputStream> input) override;
    Task<Expected<void, SpeechEngineError>> finalizeAndFinishThroughEndOfInput() override;
    Task<void> cancelAndFinishNow() override;

    // What the last session added to the vocabulary (for benchmarks).
    int addedWords() const { return *m_addedWords; }

private:
    using Outcome = Expected<void, SpeechEngineError>;
    // What the decoding thread uses; it outlives this object when the session is cancelled.
    struct Session
    {
        PocketSphinxModel *model = nullptr;
        std::shared_ptr<PostGate> gate;
        std::shared_ptr<AnalyzerInputStream> input;
        std::shared_ptr<TranscriptionResultStream> results;
        AsyncValue<Outcome> ended;
        QStringList contextualStrings;
        std::shared_ptr<RecognizerProgress> progress;
        std::shared_ptr<std::atomic<int>> addedWords;
        // Whether the end reached the main thread's queue (a closed gate drops it).
        std::shared_ptr<std::atomic<bool>> endPosted = std::make_shared<std::atomic<bool>>(false);
    };
    static void decode(const Session &session);
    static void end(const Session &session, Outcome outcome);
    void endHere(Outcome outcome);

    std::weak_ptr<PocketSphinxModel> m_model;
    std::shared_ptr<TranscriptionResultStream> m_results;
    std::shared_ptr<RecognizerProgress> m_progress;
    std::shared_ptr<std::atomic<int>> m_addedWords = std::make_shared<std::atomic<int>>(0);
    QStringList m_contextualStrings;
    std::shared_ptr<AnalyzerInputStream> m_input; // set once the decoding runs
    // Resolved on the main thread after the last result was pushed and the results ended.
    AsyncValue<Outcome> m_ended;
};

} // namespace orv
