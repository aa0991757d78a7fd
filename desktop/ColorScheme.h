#pragma once

#include <QString>

#include <optional>

namespace orv {

// The desktop's light or dark preference, from what each desktop says about it, in the order they are
// trusted: the settings portal's org.freedesktop.appearance color-scheme (0 no preference, 1 dark, 2 light),
// GNOME's org.gnome.desktop.interface color-scheme ("prefer-dark", "prefer-light", "default"), KDE's colour
// scheme name (kdeglobals, [General] ColorScheme), then GTK_THEME ("Adwaita:dark"). The first that states a
// preference decides; none does: light.
struct ColorSchemeAnswers
{
    std::optional<uint> portal;
    std::optional<QString> gnome;
    std::optional<QString> kde;
    QString gtkTheme;
};

bool prefersDark(const ColorSchemeAnswers &answers);

} // namespace orv
