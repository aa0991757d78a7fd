#include "library/LoopbackAddress.h"

#include "base/PlatformText.h"

#include <QRegularExpression>

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

} // namespace

Expected<QUrl, QString> loopbackServerUrl(const QString &address, const QString &server)
{
    const QString trimmed = address.trimmed();
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
