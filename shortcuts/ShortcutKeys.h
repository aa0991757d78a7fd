#pragma once

#include "base/Expected.h"

#include <QString>
#include <QStringList>

#include <array>

namespace orv {

// The user's key choices in a platform-neutral form: the hold key by name, the toggle as modifiers
// plus one key. Backends map them to their key codes.
struct ToggleShortcut
{
    bool control = false;
    bool alt = false;
    bool shift = false;
    bool super = false;
    QString key; // a key name as the user writes it: "Space", "F9", "D"

    // The canonical spelling, modifiers first: "Ctrl+Alt+Space".
    QString name() const;
    // The key as xkb names its keysym, as desktops' key bindings take it: letters and Space in lower case
    // ("d", "space"), the others as written ("F9", "Pause").
    QString keysymName() const;
    // The modifiers in the words of a desktop's configuration (for Ctrl, Alt, Shift and Super, in that
    // order), then `keyName`, joined by "+".
    QString spelled(const std::array<QString, 4> &modifierNames, const QString &keyName) const;
    bool operator==(const ToggleShortcut &) const = default;
};

namespace shortcutkeys {

// The keys that can serve as hold key, in the order a settings page offers them.
QStringList holdKeyNames();
bool isHoldKeyName(const QString &name);

// Parses "Ctrl+Alt+Space" (case-insensitive modifiers Ctrl/Control, Alt, Shift, Super/Meta/Win). A key
// other than F1-F35, Pause or Print needs Ctrl, Alt or Super; the paste keys and the console switches
// (Ctrl+Alt+F1 to F12) are refused.
Expected<ToggleShortcut, QString> parseToggle(const QString &text);

} // namespace shortcutkeys
} // namespace orv
