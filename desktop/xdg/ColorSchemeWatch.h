#pragma once

#include "desktop/ColorScheme.h"

#include <QDBusVariant>
#include <QObject>

#include <functional>

namespace orv {

// Reads the desktop's light/dark preference (the settings portal, GNOME's and KDE's own settings, GTK_THEME)
// and reports when the portal says it changed.
class ColorSchemeWatch final : public QObject
{
    Q_OBJECT

public:
    explicit ColorSchemeWatch(QObject *parent = nullptr);

    ColorSchemeAnswers read() const;
    bool prefersDark() const { return orv::prefersDark(read()); }

    // With the new preference, after the portal announced a change of color-scheme.
    std::function<void(bool dark)> onChange;

private Q_SLOTS:
    void settingChanged(const QString &group, const QString &key, const QDBusVariant &value);
};

} // namespace orv
