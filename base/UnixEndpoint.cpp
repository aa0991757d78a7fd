#include "base/UnixEndpoint.h"

namespace orv::unixendpoint {

namespace {

QString unixPath(const QUrl &url)
{
    return url.path(QUrl::FullyDecoded);
}

} // namespace

QUrl make(const QString &socket, const QString &httpPath)
{
    QUrl url;
    url.setScheme(QStringLiteral("unix"));
    url.setPath(httpPath.isEmpty() ? socket : socket + QLatin1Char(':') + httpPath, QUrl::DecodedMode);
    return url;
}

bool isUnix(const QUrl &url)
{
    return url.scheme().compare(QLatin1String("unix"), Qt::CaseInsensitive) == 0;
}

QString socketPath(const QUrl &url)
{
    return isUnix(url) ? unixPath(url).section(QLatin1Char(':'), 0, 0) : QString();
}

QString httpPath(const QUrl &url)
{
    if (!isUnix(url))
        return url.path();
    const QString path = unixPath(url);
    const qsizetype colon = path.indexOf(QLatin1Char(':'));
    return colon < 0 ? QString() : path.mid(colon + 1);
}

QUrl origin(const QUrl &url)
{
    if (isUnix(url))
        return make(socketPath(url), {});
    return url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

} // namespace orv::unixendpoint
