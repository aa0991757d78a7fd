#pragma once

#include "speech/AbstractTranscriber.h"
#include "speech/whisper/WhisperModel.h"

#include <functional>
#include <memory>
#include <vector>

namespace orv {

class RepeatingTimer;

// A session decoded by Whisper with a live recognizer beside it. The live recognizer (PocketSphinx)
// hears the same audio and keeps showing the words as they come; each utterance its voice activity
// detection closes goes to Whisper at once, on the model's thread, while the user goes on speaking, and
// Whisper's text replaces the live recognizer's for that stretch. At the end only the open utterance is
// left to decode. The dictation is never lost: where Whisper cannot load, fails, or is still busy when
// finalTimeLimit has passed, the live recognizer's text stands for those utterances and onNotice says so.
class WhisperTranscriber final : public AbstractTranscriber, public std::enable_shared_from_this<WhisperTranscriber>
{
public:
    using LiveFactory = std::function<std::shared_ptr<AbstractTranscriber>()>;
    // The model, asked for when the session prepares (after its assets were installed); nullptr: none.
    using ModelSource = std::function<std::shared_ptr<WhisperModel>()>;

    static constexpr Duration pollInterval = std::chrono::milliseconds(100);
    // From the release; leaves a third of the engine's 12 s bound on finalization to end with the live
    // recognizer's text.
    static constexpr Duration finalTimeLimit = std::chrono::seconds(8);
    // Audio kept around an utterance's ends, which the detector cuts close to the words.
    static constexpr Duration margin = std::chrono::milliseconds(300);
    static constexpr qsizetype maxSamples = qsizetype(600) * WhisperModel::sampleRate;

    // liveName names the live recognizer in the notices ("PocketSphinx"). A missing model's notice
    // carries missingModel (why the download failed, say) when given.
    WhisperTranscriber(
        Scheduler &scheduler, ModelSource model, QString language, LiveFactory makeLive, QString liveName);
    ~WhisperTranscriber() override;

    std::optional<AudioFormat> bestAudioFormat(const AudioFormat &input) override;
    Expected<void, SpeechEngineError> setContextualStrings(const QStringList &strings) override;
    void setRecentContext(const QStringList &strings) override;
    Task<Expected<void, SpeechEngineError>> prepare(AudioFormat format) override;
    std::shared_ptr<TranscriptionResultStream> results() override { return m_results; }
    Expected<void, SpeechEngineError> start(std::shared_ptr<AnalyzerInputStream> input) override;
    Task<Expected<void, SpeechEngineError>> finalizeAndFinishThroughEndOfInput() override;
    Task<void> cancelAndFinishNow() override;

    const QString &prompt() const { return m_prompt; }
    std::function<QString()> missingModel;
    // Utterances Whisper decoded in this session, and those left with the live recognizer's text.
    int whisperUtterances() const { return m_decoded; }
    int liveUtterances() const { return m_keptLive; }

private:
    using Outcome = Expected<void, SpeechEngineError>;
    using Weak = std::weak_ptr<WhisperTranscriber>;
    struct Utterance
    {
        Duration start{};
        Duration end{};
        QString liveText;
        bool done = false; // its final result is out
        std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
    };

    void drain();
    void onLive(const TranscriptionResult &result);
    void submit(std::size_t index);
    static Task<> awaitAnswer(Weak weak, std::size_t index, AsyncValue<WhisperModel::Answer> answer);
    static Task<> forwardLive(Weak weak, std::shared_ptr<TranscriptionResultStream> live);
    void keepLive(Utterance &utterance);
    void checkFinished();
    void finishResults();
    void notify(const QString &text);
    qsizetype sampleAt(Duration time) const;

    Scheduler &m_scheduler;
    ModelSource m_modelSource;
    std::shared_ptr<WhisperModel> m_model;
    QString m_language;
    LiveFactory m_makeLive;
    QString m_liveName;
    QStringList m_contextualStrings;
    QString m_prompt;
    std::shared_ptr<TranscriptionResultStream> m_results;
    std::shared_ptr<AbstractTranscriber> m_live;
    bool m_whisperReady = false; // false: the live recognizer's results are the session's
    std::shared_ptr<AnalyzerInputStream> m_input;
    std::shared_ptr<AnalyzerInputStream> m_liveInput;
    std::unique_ptr<RepeatingTimer> m_poll;
    std::vector<qint16> m_audio;
    std::vector<Utterance> m_utterances;
    Task<> m_forward;
    std::vector<Task<>> m_answers;
    bool m_liveEnded = false;
    bool m_finalizing = false;
    bool m_cancelled = false;
    bool m_overdue = false; // the time limit passed: the live text ends the dictation
    bool m_failedNoticeSent = false;
    std::optional<SpeechEngineError> m_liveFailure;
    AsyncValue<bool> m_allAnswered; // resolved once every utterance's final result is out
    int m_decoded = 0;
    int m_keptLive = 0;
};

} // namespace orv
