#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <chrono>

namespace orv::test {

// A tiny HTTP/1.1 server on 127.0.0.1, or on a Unix socket, that answers each path as scripted (status,
// body, real delay) and records the requests and the connections the client gave up before the answer.
class ScriptedHttpServer : public QObject
{
public:
    struct Response
    {
        Response(int status = 200,
                 QByteArray body = {},
                 std::chrono::milliseconds delay = std::chrono::milliseconds(0),
                 bool endless = false)
            : status(status), body(std::move(body)), delay(delay), endless(endless)
        {}

        int status = 200;
        QByteArray body;
        std::chrono::milliseconds delay{0};
        bool endless = false;        // the body never ends: the server sends it as fast as the client reads
        bool closeMidAnswer = false; // half the body, then the connection drops
        bool chunked = false;        // the body in chunks of a few bytes instead of with its length
        QByteArray location;         // a Location header (for redirects)
        bool ranges = false;         // a "Range: bytes=N-" request gets 206 and the body from N
    };
    struct Request
    {
        QByteArray method;
        QString path;
        QByteArray body;
        QByteArray contentType;
        qint64 rangeStart = -1; // from a "Range: bytes=N-" header
    };

    ScriptedHttpServer();

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    // On the Unix socket at path instead; url() is then its unix: address.
    bool listenAt(const QString &path) { return m_local.listen(path); }
    QUrl url() const;
    void script(const QString &path, Response response) { m_script.insert(path, std::move(response)); }

    const QList<Request> &requests() const { return m_requests; }
    int abandonedByClient() const { return m_abandoned; }
    // Bytes of endless bodies sent before the client closed the connection (which counts as abandoned).
    qint64 endlessBytesSent() const { return m_endlessBytes; }

private:
    template <typename Socket>
    void serve(Socket *socket);

    QTcpServer m_server;
    QLocalServer m_local;
    QHash<QString, Response> m_script;
    QList<Request> m_requests;
    int m_abandoned = 0;
    qint64 m_endlessBytes = 0;
};

} // namespace orv::test
