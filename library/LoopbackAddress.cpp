#include "library/LoopbackAddress.h"

#include "base/CleanText.h"
#include "base/PlatformText.h"
#include "base/UnixEndpoint.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

#include <sys/un.h>
#include <unistd.h>

namespace orv {

namespace {

// QUrl has already normalised the host: IPv4 in any legacy notation reads as dotted quads, IPv6 in its
// compressed form, names in lower case.
bool isLoopbackHost(const QString &host)
{
    static const QRegularExpression ipv4Loopback(QStringLiteral("^127\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}$"));
    if (host == u"localhost" || host == u"::1")
        return true;
    if (host.startsWith(QLatin1String("::ffff:"))) // IPv4 mapped into IPv6
        return ipv4Loopback.match(host.mid(7)).hasMatch();
    return ipv4Loopback.match(host).hasMatch();
}

// "unix:/path/to/socket", optionally ":/http/path": a socket in the file system, whose owner the kernel
// names. An abstract socket name is anyone's to take first; a relative path depends on where Orvanta runs.
Expected<QUrl, QString> unixServerUrl(const QString &address, const QString &server)
{
    const QString rest = address.mid(5);
    const QString shown = cleanText(address, false);
    if (rest.startsWith(QLatin1Char('@')) || rest.startsWith(QChar(0)))
        return unexpected(QStringLiteral("The %1 address %2 names an abstract socket, which any account can take; "
                                         "Orvanta uses only sockets in the file system, such as unix:/run/user/%3/"
                                         "server.sock.")
                              .arg(server, shown)
                              .arg(getuid()));
    if (!rest.startsWith(QLatin1Char('/')))
        return unexpected(QStringLiteral("The %1 address %2 names no absolute socket path: write it as "
                                         "unix:/path/to/socket, optionally followed by the HTTP path, as in "
                                         "unix:/path/to/socket:/inference.")
                              .arg(server, shown));
    const bool plain = std::none_of(rest.begin(), rest.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c == u'?' || c == u'#' || c == u'%' || c == u'\\';
    });
    const QString socket = rest.section(QLatin1Char(':'), 0, 0);
    const QString httpPath = rest.mid(socket.size() + 1);
    if (!plain || (rest.size() > socket.size() && !httpPath.startsWith(QLatin1Char('/'))))
        return unexpected(QStringLiteral("The %1 address “%2” is not a valid socket address: write it as "
                                         "unix:/path/to/socket, optionally followed by the HTTP path, as in "
                                         "unix:/path/to/socket:/inference.")
                              .arg(server, shown));
    if (QDir::cleanPath(socket) != socket || socket == u"/")
        return unexpected(QStringLiteral("The %1 address %2 is no plain socket path: write it without “.” or “..” "
                                         "parts, doubled or trailing slashes.")
                              .arg(server, shown));
    if (socket.toLocal8Bit().size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
        return unexpected(QStringLiteral("The socket path of the %1 address %2 is longer than a Unix socket's "
                                         "address can be (%3 bytes).")
                              .arg(server, shown)
                              .arg(sizeof(sockaddr_un::sun_path) - 1));
    return unixendpoint::make(socket, httpPath);
}

} // namespace

Expected<QUrl, QString> loopbackServerUrl(const QString &address, const QString &server)
{
    const QString trimmed = address.trimmed();
    if (trimmed.startsWith(QLatin1String("unix:"), Qt::CaseInsensitive))
        return unixServerUrl(trimmed, server);
    const QUrl url(trimmed, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return unexpected(QStringLiteral("The %1 address “%2” is not a valid http address.").arg(server, trimmed));
    if (!isLoopbackHost(url.host().toLower()))
        return unexpected(QStringLiteral("The %1 address %2 is not on %3. Dictations never leave %4, so Orvanta does "
                                         "not use it.")
                              .arg(server, url.toString(), platform::thisComputer(), platform::yourComputer()));
    return url;
}

} // namespace orv
