#include "tests/support/ScriptedHttpServer.h"

#include <QLocalSocket>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <type_traits>

using namespace Qt::StringLiterals;

namespace orv::test {

namespace {

template <typename Socket>
void closeGently(Socket *socket)
{
    if constexpr (std::is_same_v<Socket, QTcpSocket>)
        socket->disconnectFromHost();
    else
        socket->disconnectFromServer();
}

} // namespace

ScriptedHttpServer::ScriptedHttpServer()
{
    QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
    QObject::connect(&m_local, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_local.nextPendingConnection())
            serve(socket);
    });
}

bool ScriptedHttpServer::listenAt(const QString &path)
{
    return m_local.listen(path);
}

bool ScriptedHttpServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl ScriptedHttpServer::url() const
{
    if (m_local.isListening())
        return QUrl(u"unix:"_s + m_local.fullServerName());
    return QUrl(u"http://127.0.0.1:%1"_s.arg(m_server.serverPort()));
}

template <typename Socket>
void ScriptedHttpServer::serve(Socket *socket)
{
    socket->setParent(this);
    auto buffer = std::make_shared<QByteArray>();
    auto answered = std::make_shared<bool>(false);
    auto handled = std::make_shared<bool>(false);
    QObject::connect(socket, &Socket::disconnected, this, [this, socket, answered, handled] {
        if (*handled && !*answered)
            ++m_abandoned;
        socket->deleteLater();
    });
    QObject::connect(socket, &Socket::readyRead, this, [this, socket, buffer, answered, handled] {
        buffer->append(socket->readAll());
        const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
        if (headerEnd < 0 || *handled)
            return;
        const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
        qsizetype length = 0;
        QByteArray contentType;
        qint64 rangeStart = -1;
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("range: bytes="))
                rangeStart = line.mid(13).trimmed().split('-').value(0).toLongLong();
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
            if (line.toLower().startsWith("content-type:"))
                contentType = line.mid(13).trimmed();
        }
        if (buffer->size() < headerEnd + 4 + length)
            return;
        *handled = true;
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        Request request{requestLine.value(0), QString::fromUtf8(requestLine.value(1)),
                        buffer->mid(headerEnd + 4, length), contentType, rangeStart};
        m_requests.append(request);
        Response response = m_script.value(request.path, Response{404, "{}"_ba, {}});
        if (response.ranges && rangeStart > 0 && response.status == 200) {
            response.status = 206;
            response.body = response.body.mid(rangeStart);
        }
        QPointer<Socket> guarded = socket;
        if (response.endless) { // never answered in full: the client's close counts as giving up
            guarded->write("HTTP/1.1 " + QByteArray::number(response.status) +
                           " Scripted\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n{\"content\": \"");
            const QByteArray chunk(64 * 1024, 'a');
            const auto more = [this, guarded, chunk] {
                if (guarded && guarded->state() == Socket::ConnectedState && guarded->bytesToWrite() < 1) {
                    guarded->write(chunk);
                    m_endlessBytes += chunk.size();
                }
            };
            QObject::connect(socket, &Socket::bytesWritten, this, more);
            more();
            return;
        }
        auto reply = [guarded, response, answered] {
            if (!guarded || guarded->state() != Socket::ConnectedState)
                return;
            *answered = true;
            QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
            if (!response.location.isEmpty())
                out += "Location: " + response.location + "\r\n";
            out += "Content-Type: application/json\r\nConnection: close\r\n";
            if (response.chunked) {
                out += "Transfer-Encoding: chunked\r\n\r\n";
                for (qsizetype at = 0; at < response.body.size(); at += 5)
                    out += QByteArray::number(qMin<qsizetype>(5, response.body.size() - at), 16) + ";x=y\r\n" +
                           response.body.mid(at, 5) + "\r\n";
                out += "0\r\n\r\n";
            } else {
                out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n\r\n";
                out += response.body.left(response.closeMidAnswer ? response.body.size() / 2 : response.body.size());
            }
            guarded->write(out);
            if (!response.closeMidAnswer || response.chunked)
                return closeGently(guarded.data());
            guarded->flush();
            guarded->abort();
        };
        if (response.delay.count() > 0)
            QTimer::singleShot(response.delay, socket, reply);
        else
            reply();
    });
}

} // namespace orv::test
