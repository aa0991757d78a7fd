#include "desktop/xdg/LiveDesktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>

namespace orv {

namespace {

constexpr int busTimeoutMs = 500;

QDBusMessage statusCall(const QString &method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"), method);
    call << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
    return call;
}

} // namespace

std::optional<QStringList> LiveDesktop::command(const QUrl &url,
                                                const std::function<QString(const QString &)> &findExecutable)
{
    if (!url.isValid())
        return std::nullopt;
    if (url.scheme() != QStringLiteral("settings")) {
        const QString opener = findExecutable(QStringLiteral("xdg-open"));
        if (opener.isEmpty())
            return std::nullopt;
        return QStringList{opener, url.toString(QUrl::FullyEncoded)};
    }
    const QString page = url.path();
    struct Program
    {
        QString name;
        QString sound;
        QString accessibility;
    };
    const Program programs[] = {
        {QStringLiteral("gnome-control-center"), QStringLiteral("sound"), QStringLiteral("universal-access")},
        {QStringLiteral("systemsettings"), QStringLiteral("kcm_pulseaudio"), QStringLiteral("kcm_access")},
    };
    for (const Program &program : programs) {
        const QString path = findExecutable(program.name);
        if (path.isEmpty())
            continue;
        if (page == QStringLiteral("sound"))
            return QStringList{path, program.sound};
        if (page == QStringLiteral("accessibility"))
            return QStringList{path, program.accessibility};
        return std::nullopt;
    }
    return std::nullopt;
}

bool LiveDesktop::openUrl(const QUrl &url)
{
    const auto program = command(url, [](const QString &name) { return QStandardPaths::findExecutable(name); });
    if (!program)
        return false;
    return QProcess::startDetached(program->first(), program->mid(1));
}

std::optional<bool> LiveDesktop::sessionAccessibility()
{
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(statusCall(QStringLiteral("Get")), QDBus::Block, busTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

bool LiveDesktop::enableSessionAccessibility()
{
    QDBusMessage set = statusCall(QStringLiteral("Set"));
    set << QVariant::fromValue(QDBusVariant(true));
    return QDBusConnection::sessionBus().call(set, QDBus::Block, busTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

} // namespace orv
