#pragma once

#include "core/Expected.h"

#include <QString>

namespace orv {

// Where the hold key and the toggle shortcut are chosen. Reads never fail: a missing or unusable
// stored value reads as the default (and stays in the store untouched).
class ShortcutSettings
{
public:
    virtual ~ShortcutSettings() = default;

    virtual QString holdKey() const = 0;
    virtual QString toggle() const = 0;
};

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
