#pragma once

#include "core/Expected.h"
#include "shortcuts/ShortcutSettings.h"

#include <QString>

namespace orv {

// The settings file $XDG_CONFIG_HOME/orvanta/orvanta.conf, keys "shortcuts/holdKey" and "shortcuts/toggle".
class ShortcutSettingsFile final : public ShortcutSettings
{
public:
    static QString holdKeyKey() { return QStringLiteral("shortcuts/holdKey"); }
    static QString toggleKey() { return QStringLiteral("shortcuts/toggle"); }
    static QString defaultPath();

    explicit ShortcutSettingsFile(QString path = defaultPath());

    QString holdKey() const override;
    QString toggle() const override;
    // Bad names are refused with a sentence saying why; the stored value stays.
    Expected<void, QString> setHoldKey(const QString &name);
    Expected<void, QString> setToggle(const QString &shortcut);

private:
    QString m_path;
};

} // namespace orv
