#include "net/UnixHttpExchange.h"

#include "base/CleanText.h"
#include "base/UnixEndpoint.h"
#include "net/ServerOwner.h"

#include <sys/socket.h>

namespace orv {

namespace {

// A status line and headers longer than this are no server's answer.
constexpr qsizetype longestHead = 64 * 1024;

} // namespace

UnixHttpExchange::UnixHttpExchange(
    QUrl endpoint, QStringList allowedAccounts, QString server, QByteArray request, std::function<void(Reply)> onEnded)
    : m_endpoint(std::move(endpoint)), m_allowedAccounts(std::move(allowedAccounts)), m_server(std::move(server)),
      m_request(std::move(request)), m_onEnded(std::move(onEnded))
{
    m_socket.setReadBufferSize(64 * 1024);
    connect(&m_socket, &QLocalSocket::connected, this, &UnixHttpExchange::connected);
    connect(&m_socket, &QLocalSocket::readyRead, this, &UnixHttpExchange::take);
    connect(&m_socket, &QLocalSocket::disconnected, this, &UnixHttpExchange::closed);
    connect(&m_socket, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError error) {
        if (m_socket.state() != QLocalSocket::ConnectedState && error != QLocalSocket::PeerClosedError)
            end(Reply::Outcome::unreachable, m_socket.errorString());
        else
            closed();
    });
}

QByteArray
UnixHttpExchange::request(const QString &path, const std::optional<QByteArray> &body, const QByteArray &contentType)
{
    QByteArray bytes = (body ? "POST " : "GET ") + QUrl::toPercentEncoding(path, "/:@!$&'()*+,;=?") +
                       " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n";
    if (!body)
        return bytes + "\r\n";
    return bytes + "Content-Type: " + contentType + "\r\nContent-Length: " + QByteArray::number(body->size()) +
           "\r\n\r\n" + *body;
}

void UnixHttpExchange::start()
{
    m_socket.connectToServer(unixendpoint::socketPath(m_endpoint));
}

void UnixHttpExchange::stop()
{
    m_ended = true;
    m_socket.abort();
    deleteLater();
}

void UnixHttpExchange::connected()
{
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(int(m_socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        end(Reply::Outcome::unreachable, QStringLiteral("The socket does not say who listens."));
        return;
    }
    if (auto trusted = ServerOwner::trust(peer.uid, m_endpoint, m_allowedAccounts, m_server); !trusted) {
        end(Reply::Outcome::refused, trusted.error());
        return;
    }
    m_socket.write(m_request);
    m_request.clear();
}

void UnixHttpExchange::take()
{
    if (m_ended)
        return;
    m_buffer += m_socket.readAll();
    if (parse())
        end(Reply::Outcome::answered);
}

void UnixHttpExchange::closed()
{
    if (m_ended)
        return;
    m_buffer += m_socket.readAll();
    if (parse() || (m_stage == Stage::body && m_left < 0))
        end(Reply::Outcome::answered);
    else if (m_stage == Stage::head && m_status == 0)
        end(Reply::Outcome::unreachable, QStringLiteral("The server closed the connection without answering."));
    else
        end(Reply::Outcome::interrupted, QStringLiteral("The server closed the connection before the whole answer."));
}

bool UnixHttpExchange::parse()
{
    while (!m_ended) {
        switch (m_stage) {
        case Stage::head: {
            const qsizetype end = m_buffer.indexOf("\r\n\r\n");
            if (end < 0 || end > longestHead) {
                if (m_buffer.size() > longestHead)
                    this->end(Reply::Outcome::interrupted, QStringLiteral("The server's answer has no end of head."));
                return false;
            }
            const QByteArray head = m_buffer.left(end);
            m_buffer.remove(0, end + 4);
            if (!parseHead(head))
                return false;
            break;
        }
        case Stage::body: {
            const QByteArray bytes = m_left < 0 ? m_buffer : m_buffer.left(m_left);
            m_buffer.remove(0, bytes.size());
            if (!append(bytes) || m_left != 0)
                return false;
            m_stage = Stage::done;
            break;
        }
        case Stage::chunkSize: {
            const qsizetype end = m_buffer.indexOf("\r\n");
            if (end < 0) {
                if (m_buffer.size() > 1024)
                    this->end(Reply::Outcome::interrupted, QStringLiteral("The server sent a broken chunk."));
                return false;
            }
            bool number = false;
            m_left = m_buffer.left(end).split(';').value(0).trimmed().toLongLong(&number, 16);
            m_buffer.remove(0, end + 2);
            if (!number || m_left < 0) {
                this->end(Reply::Outcome::interrupted, QStringLiteral("The server sent a broken chunk."));
                return false;
            }
            // The last chunk's trailers, if any, are not waited for: the body is whole.
            m_stage = m_left == 0 ? Stage::done : Stage::chunkData;
            break;
        }
        case Stage::chunkData: {
            const QByteArray bytes = m_buffer.left(m_left);
            m_buffer.remove(0, bytes.size());
            if (!append(bytes))
                return false;
            if (m_left > 0)
                return false;
            m_stage = Stage::chunkEnd;
            break;
        }
        case Stage::chunkEnd:
            if (m_buffer.size() < 2)
                return false;
            m_buffer.remove(0, 2);
            m_stage = Stage::chunkSize;
            break;
        case Stage::done:
            return true;
        }
    }
    return false;
}

bool UnixHttpExchange::parseHead(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
    bool number = false;
    const int status = statusLine.value(1).toInt(&number);
    if (!statusLine.value(0).startsWith("HTTP/1.") || !number || status < 100 || status > 999) {
        end(Reply::Outcome::unreachable, QStringLiteral("The server did not answer in HTTP."));
        return false;
    }
    if (status < 200) // an interim answer: the real one follows
        return true;
    m_status = status;
    bool chunked = false;
    qint64 length = -1;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed().toLower();
        if (name == "transfer-encoding")
            chunked = value.endsWith("chunked");
        else if (name == "content-length")
            length = value.toLongLong(&number);
        if (name == "content-length" && (!number || length < 0)) {
            end(Reply::Outcome::interrupted, QStringLiteral("The server sent a broken Content-Length."));
            return false;
        }
    }
    if (length > LoopbackHttpClient::largestAnswer && !chunked) {
        end(Reply::Outcome::tooLarge);
        return false;
    }
    m_stage = chunked ? Stage::chunkSize : Stage::body;
    m_left = chunked ? 0 : length;
    return true;
}

bool UnixHttpExchange::append(QByteArray bytes)
{
    m_body += bytes;
    if (m_left > 0)
        m_left -= bytes.size();
    if (m_body.size() > LoopbackHttpClient::largestAnswer) {
        end(Reply::Outcome::tooLarge);
        return false;
    }
    return true;
}

void UnixHttpExchange::end(Reply::Outcome outcome, QString errorText)
{
    if (m_ended)
        return;
    m_ended = true;
    m_socket.abort();
    Reply reply;
    reply.outcome = outcome;
    reply.errorText = cleanText(errorText, false);
    if (outcome == Reply::Outcome::answered) {
        reply.status = m_status;
        reply.body = std::move(m_body);
    }
    deleteLater();
    const auto onEnded = std::move(m_onEnded);
    onEnded(std::move(reply));
}

} // namespace orv
