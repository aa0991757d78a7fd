#include "speech/server/SpeechServer.h"

#include "base/CleanText.h"
#include "base/UnixEndpoint.h"
#include "library/LinuxSettings.h"
#include "net/LoopbackHttpClient.h"
#include "speech/wav/WavFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QUuid>

namespace orv {

namespace {

using Reply = LoopbackHttpClient::Reply;

QString trimmedPath(const QUrl &url)
{
    QString path = unixendpoint::httpPath(url);
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

void appendField(QByteArray &form, const QByteArray &boundary, const char *name, const QByteArray &value)
{
    form += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

} // namespace

Expected<std::shared_ptr<SpeechServer>, QString>
SpeechServer::make(Scheduler &scheduler, const QString &endpoint, const QStringList &allowedAccounts)
{
    const Expected<QUrl, QString> url = LinuxSettings::speechServerUrl(endpoint);
    if (!url)
        return unexpected(url.error());
    const Api api = trimmedPath(url.value()).endsWith(QLatin1String("/inference")) ? Api::whisperCpp : Api::openAi;
    return std::shared_ptr<SpeechServer>(new SpeechServer(scheduler, url.value(), api, allowedAccounts));
}

SpeechServer::SpeechServer(Scheduler &scheduler, QUrl endpoint, Api api, const QStringList &allowedAccounts)
    : m_scheduler(scheduler), m_endpoint(std::move(endpoint)), m_api(api)
{
    m_client = std::make_unique<LoopbackHttpClient>(m_scheduler, unixendpoint::origin(m_endpoint), allowedAccounts,
                                                    QStringLiteral("speech server"));
}

SpeechServer::~SpeechServer() = default;

Task<Expected<void, SpeechServer::Failure>> SpeechServer::probe()
{
    std::shared_ptr<SpeechServer> self = shared_from_this(); // a settings change may let go of it meanwhile
    QString path = QStringLiteral("/");
    if (m_api == Api::openAi) {
        path = trimmedPath(m_endpoint);
        path.chop(int(QStringLiteral("/audio/transcriptions").size()));
        path += QStringLiteral("/models");
    }
    const Reply reply = co_await self->m_client->send(std::move(path), std::nullopt, probeTimeLimit);
    switch (reply.outcome) {
    case Reply::Outcome::cancelled:
        co_return unexpected(Failure{{}, false, true});
    case Reply::Outcome::unreachable:
    case Reply::Outcome::timedOut:
        co_return unexpected(
            Failure{QStringLiteral("No speech server answers at %1.").arg(self->m_endpoint.toString()), false, false});
    case Reply::Outcome::refused:
        co_return unexpected(Failure{reply.errorText, false, false});
    case Reply::Outcome::interrupted:
    case Reply::Outcome::tooLarge:
    case Reply::Outcome::answered:
        break;
    }
    // Any answer means a server is there; a model list, where the API has one, names the model.
    const QJsonArray models = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("data")).toArray();
    const QString id = cleanText(models.at(0).toObject().value(QStringLiteral("id")).toString(), false).trimmed();
    if (reply.status == 200 && !id.isEmpty())
        self->m_modelName = id;
    co_return Expected<void, Failure>();
}

Task<Expected<QString, SpeechServer::Failure>>
SpeechServer::transcribe(std::shared_ptr<const std::vector<qint16>> samples,
                         qsizetype count,
                         QString promptText,
                         QString language,
                         Duration timeLimit)
{
    std::shared_ptr<SpeechServer> self = shared_from_this();
    const QByteArray boundary = "orvanta-" + QUuid::createUuid().toByteArray(QUuid::Id128);
    QByteArray body =
        form(WavFile::encodeMono16(samples->data(), std::min<qsizetype>(count, qsizetype(samples->size())), sampleRate),
             promptText, language, boundary);
    samples.reset(); // the form holds its own copy
    const QString where = m_endpoint.toString();
    const Reply reply = co_await self->m_client->post(trimmedPath(m_endpoint), std::move(body),
                                                      "multipart/form-data; boundary=" + boundary, timeLimit);
    switch (reply.outcome) {
    case Reply::Outcome::cancelled:
        co_return unexpected(Failure{{}, false, true});
    case Reply::Outcome::unreachable:
        co_return unexpected(Failure{QStringLiteral("No speech server answers at %1.").arg(where), false, false});
    case Reply::Outcome::refused:
        co_return unexpected(Failure{reply.errorText, false, false});
    case Reply::Outcome::timedOut:
        co_return unexpected(
            Failure{QStringLiteral("The speech server at %1 did not answer in time.").arg(where), false, false});
    case Reply::Outcome::interrupted:
        co_return unexpected(
            Failure{QStringLiteral("The speech server at %1 broke off its answer.").arg(where), true, false});
    case Reply::Outcome::tooLarge:
        co_return unexpected(
            Failure{QStringLiteral("The speech server at %1 sent an answer too long to be a transcript.").arg(where),
                    true, false});
    case Reply::Outcome::answered:
        break;
    }
    Expected<QString, QString> text = answerText(reply.body);
    if (reply.status != 200) {
        // The server's own words, when it gave any.
        const QString said =
            !text && text.error().startsWith(QLatin1String("reported: ")) ? text.error().mid(10) : QString();
        co_return unexpected(Failure{QStringLiteral("The speech server at %1 answered with error %2%3")
                                         .arg(where, QString::number(reply.status),
                                              said.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + said),
                                     true, false});
    }
    if (!text)
        co_return unexpected(
            Failure{QStringLiteral("The speech server at %1 %2").arg(where, text.error()), true, false});
    if (text.value().size() > longestTranscript(count))
        co_return unexpected(
            Failure{QStringLiteral("The speech server at %1 sent more text than the recording can hold.").arg(where),
                    true, false});
    co_return text.value();
}

qsizetype SpeechServer::longestTranscript(qsizetype sampleCount)
{
    // Even fast speech stays under 8 syllables a second; 40 characters a second is far beyond any speaker,
    // and a short clip may still hold a word or two.
    return 200 + 40 * (sampleCount / qsizetype(sampleRate) + 1);
}

QString SpeechServer::modelField() const
{
    // OpenAI-compatible servers want a model; the one they listed, else the name they all accept.
    return m_modelName.isEmpty() ? QStringLiteral("whisper-1") : m_modelName;
}

QByteArray SpeechServer::form(const QByteArray &wav,
                              const QString &promptText,
                              const QString &language,
                              const QByteArray &boundary) const
{
    QByteArray form;
    form.reserve(wav.size() + 1024 + promptText.size() * 3);
    form += "--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"dictation.wav\"\r\n"
            "Content-Type: audio/wav\r\n\r\n";
    form += wav;
    form += "\r\n";
    if (m_api == Api::openAi)
        appendField(form, boundary, "model", modelField().toUtf8());
    else
        appendField(form, boundary, "temperature", "0");
    appendField(form, boundary, "response_format", "json");
    if (!language.isEmpty())
        appendField(form, boundary, "language", language.toUtf8());
    if (!promptText.isEmpty())
        appendField(form, boundary, "prompt", promptText.toUtf8());
    form += "--" + boundary + "--\r\n";
    return form;
}

Expected<QString, QString> SpeechServer::answerText(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return unexpected(QStringLiteral("sent an answer Orvanta cannot read."));
    const QJsonObject object = document.object();
    const QJsonValue text = object.value(QStringLiteral("text"));
    if (text.isString())
        return cleanText(text.toString(), false).trimmed();
    QJsonValue message = object.value(QStringLiteral("error"));
    if (message.isObject())
        message = message.toObject().value(QStringLiteral("message"));
    if (message.isString() && !message.toString().trimmed().isEmpty()) {
        QString said = cleanText(message.toString(), false).trimmed();
        if (!said.endsWith(QLatin1Char('.')))
            said += QLatin1Char('.');
        return unexpected(QStringLiteral("reported: ") + said);
    }
    return unexpected(QStringLiteral("sent an answer without a transcript."));
}

QString SpeechServer::prompt(const QStringList &spellings, int limit)
{
    QString joined;
    for (const QString &spelling : spellings) {
        const qsizetype added = (joined.isEmpty() ? 0 : 2) + spelling.size();
        if (joined.size() + added > limit)
            break; // the older ones give way
        if (!joined.isEmpty())
            joined += QStringLiteral(", ");
        joined += spelling;
    }
    return joined;
}

QString SpeechServer::languageCode(const QString &locale)
{
    const QLocale parsed(locale);
    if (parsed.language() == QLocale::C || parsed.language() == QLocale::AnyLanguage)
        return {};
    return QLocale::languageToCode(parsed.language(), QLocale::ISO639Part1);
}

} // namespace orv
