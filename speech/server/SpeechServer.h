#pragma once

#include "base/Expected.h"
#include "base/Scheduler.h"
#include "base/Task.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <memory>
#include <vector>

namespace orv {

class LoopbackHttpClient;

// A speech-to-text server on this computer: whisper.cpp's server (POST /inference) or one speaking the
// OpenAI-compatible POST /v1/audio/transcriptions. The endpoint's path says which. Audio goes as one
// 16 kHz mono WAV in a multipart form; the answer's "text" is the transcript.
class SpeechServer : public std::enable_shared_from_this<SpeechServer>
{
public:
    enum class Api
    {
        whisperCpp,
        openAi,
    };

    // Why a request brought no transcript, as a sentence; answered is false when nothing answered at all.
    struct Failure
    {
        QString message;
        bool answered = false;
        bool cancelled = false;
    };

    static constexpr Duration probeTimeLimit = std::chrono::seconds(1);
    // The prompt whisper conditions on is short (224 tokens); about 800 characters of spellings fill it.
    static constexpr int promptLimit = 800;
    static constexpr quint32 sampleRate = 16000;

    // Refuses addresses off this computer and paths that name no transcription API, saying why.
    // allowedAccounts: other accounts whose server the user allowed by name.
    static Expected<std::shared_ptr<SpeechServer>, QString>
    make(Scheduler &scheduler, const QString &endpoint, const QStringList &allowedAccounts = {});
    ~SpeechServer();

    Api api() const { return m_api; }
    const QUrl &endpoint() const { return m_endpoint; }
    // The model the server reported, else "Whisper server".
    QString displayName() const { return m_modelName.isEmpty() ? genericName() : m_modelName; }
    static QString genericName() { return QStringLiteral("Whisper server"); }

    // Whether anything answers HTTP at the server's address (learning the model's name where the API
    // lists models); a refused connection or no answer within probeTimeLimit is a failure.
    Task<Expected<void, Failure>> probe();
    // The transcript of count samples (16 kHz mono); cancelling the awaiting task aborts the request.
    Task<Expected<QString, Failure>> transcribe(std::shared_ptr<const std::vector<qint16>> samples,
                                                qsizetype count,
                                                QString promptText,
                                                QString language,
                                                Duration timeLimit);

    // The multipart form of one request; boundary must not occur in the parts.
    QByteArray
    form(const QByteArray &wav, const QString &promptText, const QString &language, const QByteArray &boundary) const;
    // The transcript in an answer, or why there is none.
    static Expected<QString, QString> answerText(const QByteArray &body);
    // The most characters a transcript of sampleCount samples can hold; more is not speech.
    static qsizetype longestTranscript(qsizetype sampleCount);
    // Spellings, in the order given, joined by ", " while they fit in limit characters.
    static QString prompt(const QStringList &spellings, int limit = promptLimit);
    // The ISO 639-1 code the servers take ("en" for "en-US"); empty when there is none.
    static QString languageCode(const QString &locale);

private:
    SpeechServer(Scheduler &scheduler, QUrl endpoint, Api api, const QStringList &allowedAccounts);
    QString modelField() const;

    Scheduler &m_scheduler;
    QUrl m_endpoint;
    Api m_api;
    std::unique_ptr<LoopbackHttpClient> m_client; // the server's origin; requests carry full paths
    QString m_modelName;
};

} // namespace orv
