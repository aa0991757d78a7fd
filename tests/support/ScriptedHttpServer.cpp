#include "tests/support/ScriptedHttpServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace orv::test {

ScriptedHttpServer::ScriptedHttpServer()
{
    QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

bool ScriptedHttpServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl ScriptedHttpServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
}

void ScriptedHttpServer::serve(QTcpSocket *socket)
{
    socket->setParent(this);
    auto buffer = std::make_shared<QByteArray>();
    auto answered = std::make_shared<bool>(false);
    auto handled = std::make_shared<bool>(false);
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket, answered, handled] {
        if (*handled && !*answered)
            ++m_abandoned;
        socket->deleteLater();
    });
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer, answered, handled] {
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
        Response response = m_script.value(request.path, Response{404, QByteArrayLiteral("{}"), {}});
        if (response.ranges && rangeStart > 0 && response.status == 200) {
            response.status = 206;
            response.body = response.body.mid(rangeStart);
        }
        QPointer<QTcpSocket> guarded = socket;
        if (response.endless) { // never answered in full: the client's close counts as giving up
            guarded->write("HTTP/1.1 " + QByteArray::number(response.status) +
                           " Scripted\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n{\"content\": \"");
            const QByteArray chunk(64 * 1024, 'a');
            const auto more = [this, guarded, chunk] {
                if (guarded && guarded->state() == QAbstractSocket::ConnectedState && guarded->bytesToWrite() < 1) {
                    guarded->write(chunk);
                    m_endlessBytes += chunk.size();
                }
            };
            QObject::connect(socket, &QTcpSocket::bytesWritten, this, more);
            more();
            return;
        }
        auto reply = [guarded, response, answered] {
            if (!guarded || guarded->state() != QAbstractSocket::ConnectedState)
                return;
            *answered = true;
            QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
            if (!response.location.isEmpty())
                out += "Location: " + response.location + "\r\n";
            out += "Content-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                   QByteArray::number(response.body.size()) + "\r\n\r\n";
            if (response.closeMidAnswer) {
                guarded->write(out + response.body.left(response.body.size() / 2));
                guarded->flush();
                guarded->abort();
                return;
            }
            guarded->write(out + response.body);
            guarded->disconnectFromHost();
        };
        if (response.delay.count() > 0)
            QTimer::singleShot(response.delay, socket, reply);
        else
            reply();
    });
}

} // namespace orv::test
