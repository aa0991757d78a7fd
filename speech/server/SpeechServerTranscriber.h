#pragma once

#include "speech/AbstractTranscriber.h"
#include "speech/server/SpeechServer.h"

#include <functional>
#include <memory>
#include <vector>

namespace orv {

class RepeatingTimer;

// A session over a local speech server. It keeps the session's audio (at most ten minutes), sends what
// it has every two seconds of new audio for live text (volatile results; skipped while a request is under
// way) and all of it at finalization for the final result. It never loses a dictation: a server that does
// not answer when the session starts hands the whole session to the fallback recognizer, and one that
// fails or is too slow at finalization has the kept audio decoded by the fallback instead; either way
// onNotice says so.
class SpeechServerTranscriber final : public AbstractTranscriber,
                                      public std::enable_shared_from_this<SpeechServerTranscriber>
{
public:
    using FallbackFactory = std::function<std::shared_ptr<AbstractTranscriber>()>;

    static constexpr Duration pollInterval = std::chrono::milliseconds(100);
    static constexpr Duration liveInterval = std::chrono::seconds(2);
    static constexpr Duration liveTimeLimit = std::chrono::seconds(10);
    // Leaves the fallback a third of the engine's 12 s bound on finalization.
    static constexpr Duration finalTimeLimit = std::chrono::seconds(8);
    static constexpr qsizetype maxSamples = qsizetype(600) * SpeechServer::sampleRate;

    // fallbackName names the fallback recognizer in the notices ("PocketSphinx").
    SpeechServerTranscriber(Scheduler &scheduler,
                            std::shared_ptr<SpeechServer> server,
                            QString locale,
                            FallbackFactory makeFallback,
                            QString fallbackName);
    ~SpeechServerTranscriber() override;

    std::optional<AudioFormat> bestAudioFormat(const AudioFormat &input) override;
    Expected<void, SpeechEngineError> setContextualStrings(const QStringList &strings) override;
    void setRecentContext(const QStringList &strings) override;
    Task<Expected<void, SpeechEngineError>> prepare(AudioFormat format) override;
    std::shared_ptr<TranscriptionResultStream> results() override;
    Expected<void, SpeechEngineError> start(std::shared_ptr<AnalyzerInputStream> input) override;
    Task<Expected<void, SpeechEngineError>> finalizeAndFinishThroughEndOfInput() override;
    Task<void> cancelAndFinishNow() override;

    // Without live text, the audio goes to the server once, at finalization.
    void setLiveText(bool on) { m_liveText = on; }
    // Whether the session went to the fallback at its start (the server did not answer).
    bool usesFallback() const { return m_delegate != nullptr; }
    const QString &prompt() const { return m_prompt; }

private:
    using Outcome = Expected<void, SpeechEngineError>;
    using Weak = std::weak_ptr<SpeechServerTranscriber>;

    void drain();
    void sendLive();
    void freeAudio();
    void notify(const QString &text);
    Duration audioDuration(qsizetype samples) const;
    static Task<> liveRequest(Weak weak, Task<Expected<QString, SpeechServer::Failure>> request, qsizetype count);
    Task<Outcome> decodeWithFallback(QString why);

    Scheduler &m_scheduler;
    std::shared_ptr<SpeechServer> m_server;
    QString m_language;
    FallbackFactory m_makeFallback;
    QString m_fallbackName;
    QStringList m_contextualStrings;
    QString m_prompt;
    AudioFormat m_format;
    std::shared_ptr<TranscriptionResultStream> m_results;

    std::shared_ptr<AbstractTranscriber> m_delegate; // the whole session, when the server did not answer
    std::optional<QString> m_startNotice;
    std::shared_ptr<AnalyzerInputStream> m_input;
    std::unique_ptr<RepeatingTimer> m_poll;
    std::shared_ptr<std::vector<qint16>> m_audio = std::make_shared<std::vector<qint16>>();
    qsizetype m_sentForLive = 0; // samples the last live request carried
    Task<> m_live;
    Task<Expected<QString, SpeechServer::Failure>> m_final;
    std::shared_ptr<AbstractTranscriber> m_rescue; // the fallback decoding the kept audio at finalization
    bool m_liveText = true;
    bool m_finalizing = false;
    bool m_cancelled = false;
};

} // namespace orv
