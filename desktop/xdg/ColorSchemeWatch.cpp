#include "desktop/xdg/ColorSchemeWatch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

namespace orv {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString colorScheme = QStringLiteral("color-scheme");
constexpr int portalTimeoutMs = 300;

std::optional<uint> portalAnswer()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    call << appearance << colorScheme;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, portalTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    // Read answers a variant holding the value's variant.
    QVariant value = reply.arguments().constFirst();
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    return ok ? std::optional<uint>(scheme) : std::nullopt;
}

std::optional<QString> kdeAnswer()
{
    const QString path = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                             .filePath(QStringLiteral("kdeglobals"));
    if (!QFile::exists(path))
        return std::nullopt;
    const QSettings kde(path, QSettings::IniFormat);
    const QString scheme = kde.value(QStringLiteral("General/ColorScheme")).toString();
    return scheme.isEmpty() ? std::nullopt : std::optional<QString>(scheme);
}

} // namespace

ColorSchemeWatch::ColorSchemeWatch(QObject *parent) : QObject(parent)
{
    QDBusConnection::sessionBus().connect(portalService, portalPath, settingsInterface,
                                          QStringLiteral("SettingChanged"), this,
                                          SLOT(settingChanged(QString, QString, QDBusVariant)));
    // GNOME without the portal: its own key, asked once without waiting for the answer.
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty() || portalAnswer())
        return;
    auto *process = new QProcess(this);
    connect(process, &QProcess::finished, this, [this, process](int exitCode) {
        process->deleteLater();
        if (exitCode != 0)
            return;
        ColorSchemeAnswers answers = read();
        answers.gnome = QString::fromUtf8(process->readAllStandardOutput());
        if (onChange && orv::prefersDark(answers) != orv::prefersDark(read()))
            onChange(orv::prefersDark(answers));
    });
    process->start(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"), colorScheme});
}

ColorSchemeAnswers ColorSchemeWatch::read() const
{
    return {portalAnswer(), std::nullopt, kdeAnswer(), qEnvironmentVariable("GTK_THEME")};
}

void ColorSchemeWatch::settingChanged(const QString &group, const QString &key, const QDBusVariant &value)
{
    if (group != appearance || key != colorScheme || !onChange)
        return;
    ColorSchemeAnswers answers = read();
    answers.portal = value.variant().toUInt();
    onChange(orv::prefersDark(answers));
}

} // namespace orv
