#include "tests/support/ScriptedHttpServer.h"

#include <QLocalSocket>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace orv::test {

ScriptedHttpServer::ScriptedHttpServer()
{
    const auto accept = [this](auto &server) {
        return [this, &server] {
            while (auto *socket = server.nextPendingConnection())
                serve(socket);
        };
    };
    QObject::connect(&m_server, &QTcpServer::newConnection, this, accept(m_server));
    QObject::connect(&m_local, &QLocalServer::newConnection, this, accept(m_local));
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
        const auto header = [&](const QByteArray &name) {
            for (const QByteArray &line : lines)
                if (line.toLower().startsWith(name))
                    return line.mid(name.size()).trimmed();
            return QByteArray();
        };
        const qsizetype length = header("content-length:").toLongLong();
        const QByteArray contentType = header("content-type:");
        const QByteArray range = header("range: bytes=");
        const qint64 rangeStart = range.isNull() ? -1 : range.split('-').value(0).toLongLong();
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
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
        if (!response.location.isEmpty())
            head += "Location: " + response.location + "\r\n";
        head += "Content-Type: application/json\r\nConnection: close\r\n";
        if (response.endless) { // never answered in full: the client's close counts as giving up
            guarded->write(head + "\r\n{\"content\": \"");
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
        auto reply = [guarded, response, answered, head] {
            if (!guarded || guarded->state() != Socket::ConnectedState)
                return;
            *answered = true;
            QByteArray out = head;
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
                return guarded->close(); // after what is written
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
