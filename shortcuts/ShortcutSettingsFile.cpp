#include "shortcuts/ShortcutSettingsFile.h"

#include "core/PlatformText.h"
#include "shortcuts/ShortcutKeys.h"

#include <QSettings>
#include <QStandardPaths>

namespace orv {

QString ShortcutSettingsFile::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/orvanta/orvanta.conf");
}

ShortcutSettingsFile::ShortcutSettingsFile(QString path) : m_path(std::move(path)) {}

QString ShortcutSettingsFile::holdKey() const
{
    const QString stored = QSettings(m_path, QSettings::IniFormat).value(holdKeyKey()).toString();
    return shortcutkeys::isHoldKeyName(stored) ? stored : platform::defaultHoldKeyName();
}

QString ShortcutSettingsFile::toggle() const
{
    const QString stored = QSettings(m_path, QSettings::IniFormat).value(toggleKey()).toString();
    const auto parsed = shortcutkeys::parseToggle(stored);
    return parsed ? parsed.value().name() : platform::defaultToggleName();
}

Expected<void, QString> ShortcutSettingsFile::setHoldKey(const QString &name)
{
    if (!shortcutkeys::isHoldKeyName(name))
        return unexpected(QStringLiteral("“%1” cannot be the hold key. Choose one of: %2.")
                              .arg(name, shortcutkeys::holdKeyNames().join(QStringLiteral(", "))));
    QSettings settings(m_path, QSettings::IniFormat);
    settings.setValue(holdKeyKey(), name);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return unexpected(QStringLiteral("The settings file %1 could not be written.").arg(m_path));
    return {};
}

Expected<void, QString> ShortcutSettingsFile::setToggle(const QString &shortcut)
{
    const auto parsed = shortcutkeys::parseToggle(shortcut);
    if (!parsed)
        return unexpected(parsed.error());
    QSettings settings(m_path, QSettings::IniFormat);
    settings.setValue(toggleKey(), parsed.value().name());
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return unexpected(QStringLiteral("The settings file %1 could not be written.").arg(m_path));
    return {};
}

} // namespace orv
