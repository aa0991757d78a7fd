#pragma once

#include "net/LoopbackHttpClient.h"

#include <QLocalSocket>

#include <functional>
#include <optional>

namespace orv {

// One HTTP/1.1 request to a server on a Unix socket, for LoopbackHttpClient: Qt's HTTP client has no such
// transport. Nothing is written before the kernel has said which account listens (SO_PEERCRED) and
// ServerOwner trusts it. The answer is read as it arrives to its end by Content-Length, by chunks or by
// the server's close, and cut off past LoopbackHttpClient::largestAnswer.
class UnixHttpExchange : public QObject
{
public:
    using Reply = LoopbackHttpClient::Reply;

    // endpoint: a unix: address (base/UnixEndpoint.h); request: the whole request, head and body.
    // onEnded gets the reply once, possibly before start() returns.
    UnixHttpExchange(QUrl endpoint,
                     QStringList allowedAccounts,
                     QString server,
                     QByteArray request,
                     std::function<void(Reply)> onEnded);

    // The request's bytes: GET of path, or POST of body when there is one; the connection closes after it.
    static QByteArray
    request(const QString &path, const std::optional<QByteArray> &body, const QByteArray &contentType);

    void start();
    // Closes the connection without calling onEnded; the exchange deletes itself later.
    void stop();

private:
    void connected();
    void take();
    void closed();
    // Parses what has arrived; false when the answer needs more bytes.
    bool parse();
    bool parseHead(const QByteArray &head);
    bool append(QByteArray bytes);
    void end(Reply::Outcome outcome, QString errorText = {});

    enum class Stage
    {
        head,
        body,
        chunkSize,
        chunkData,
        chunkEnd,
        done,
    };

    QUrl m_endpoint;
    QStringList m_allowedAccounts;
    QString m_server;
    QByteArray m_request;
    std::function<void(Reply)> m_onEnded;
    QLocalSocket m_socket;
    Stage m_stage = Stage::head;
    QByteArray m_buffer; // arrived, not yet parsed
    int m_status = 0;
    qint64 m_left = -1; // body or chunk bytes still to come; -1: up to the close
    QByteArray m_body;
    bool m_ended = false;
};

} // namespace orv
