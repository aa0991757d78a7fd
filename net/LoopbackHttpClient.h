#pragma once

#include "base/Scheduler.h"
#include "base/Task.h"

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace orv {

// HTTP to one server on this computer (the language model's, the speech server's), on loopback or on a Unix
// socket (a unix: endpoint, see base/UnixEndpoint.h): no proxy, no redirects, every request abortable by the
// awaiting task's cancellation or by a time limit on the scheduler. The endpoint is checked for loopback by
// whoever makes the client; before each request the client checks who runs the server listening there, and
// sends nothing to another account's.
class LoopbackHttpClient
{
public:
    struct Reply
    {
        enum class Outcome
        {
            answered,
            unreachable,
            timedOut,
            cancelled,
            tooLarge,    // the body grew past largestAnswer and was cut off
            interrupted, // the connection ended before the whole answer arrived
            refused,     // another account runs the server, or a unix: endpoint is a link or no socket: nothing was
                         // sent (errorText says why)
        };
        Outcome outcome = Outcome::unreachable;
        int status = 0; // HTTP status when answered
        QByteArray body;
        QString errorText; // the network error when unreachable, the sentence when refused
    };

    // A file fetched to disk.
    struct Download
    {
        enum class Outcome
        {
            complete,
            unreachable,
            refused, // an HTTP status other than 200 or 206
            stalled, // nothing arrived for the idle limit
            cancelled,
            interrupted, // the connection ended before the whole file arrived
            writeFailed,
        };
        Outcome outcome = Outcome::unreachable;
        int status = 0;
        QString errorText;
    };
    using DownloadProgress = std::function<void(qint64 received, qint64 total)>;

    // The longest body read. An answer of 1200 tokens (each at most a few dozen bytes of text, JSON escaping
    // can make a byte six) or ten minutes of transcript with the server's envelope stays far below it.
    static constexpr qint64 largestAnswer = 1024 * 1024;

    // allowedAccounts: the accounts besides this user's whose servers the user allowed, by name; server
    // names the server in the refusal ("model server").
    LoopbackHttpClient(Scheduler &scheduler,
                       QUrl endpoint,
                       QStringList allowedAccounts = {},
                       QString server = QStringLiteral("server"));

    const QUrl &endpoint() const { return m_endpoint; }

    // path is appended to the endpoint's own path. GET when body is empty, POST with a JSON body otherwise.
    // timeLimit zero: no limit of its own.
    Task<Reply> send(QString path, std::optional<QJsonObject> body, Duration timeLimit);
    // POST of a body of the given content type.
    Task<Reply> post(QString path, QByteArray body, QByteArray contentType, Duration timeLimit);

    // GET of url into the file at path, resumed from the file's size with a Range request (a server that
    // sends the whole file again starts it over). This is the one request that may leave the computer: a
    // model download the user chose, from its publisher, following redirects only to https. onProgress gets
    // the bytes in the file and the total (-1 when unknown) as they arrive.
    Task<Download> download(QUrl url, QString path, DownloadProgress onProgress, Duration idleLimit);

private:
    struct Pending;

    Task<Reply> request(QString path, std::optional<QByteArray> body, QByteArray contentType, Duration timeLimit);
    // The request to an http endpoint, through Qt's HTTP client; path is the whole HTTP path.
    void startNetworkRequest(const std::shared_ptr<Pending> &pending,
                             const QString &path,
                             std::optional<QByteArray> body,
                             const QByteArray &contentType);

    Scheduler &m_scheduler;
    QUrl m_endpoint;
    QStringList m_allowedAccounts;
    QString m_server;
    QNetworkAccessManager m_manager;
};

} // namespace orv
