#pragma once

#include "base/Expected.h"

#include <QString>

#include <functional>
#include <optional>

namespace orv {

// Adds a command to GNOME's own keyboard shortcuts (Settings → Keyboard → Custom Shortcuts), which GNOME
// keeps in GSettings: the list org.gnome.settings-daemon.plugins.media-keys custom-keybindings names one
// path per shortcut, each with a name, a command and a binding. GNOME runs the command on the key's press.
class GnomeCustomShortcut
{
public:
    static QString listSchema() { return QStringLiteral("org.gnome.settings-daemon.plugins.media-keys"); }
    static QString entrySchema()
    {
        return QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding");
    }
    static QString entryFolder()
    {
        return QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");
    }

    // GSettings values in GVariant text ("'text'", "['a', 'b']"); the schema may carry ":/path/".
    struct Access
    {
        std::function<std::optional<QString>(const QString &schema, const QString &key)> get;
        std::function<bool(const QString &schema, const QString &key, const QString &value)> set;
    };
    // The gsettings program of the session.
    static Access live();

    struct Shortcut
    {
        QString name;    // as listed in GNOME's settings
        QString command; // run as it is
        QString binding; // GTK accelerator: "<Control><Alt>space"
    };

    explicit GnomeCustomShortcut(Access access) : m_access(std::move(access)) {}

    // Adds the shortcut unless one with the same command is there already. Answers a sentence for the user
    // saying what is bound now, or why nothing could be added.
    Expected<QString, QString> add(const Shortcut &shortcut);

    // "Ctrl+Alt+Space" (Orvanta's spelling) as a GTK accelerator.
    static QString acceleratorOf(bool control, bool alt, bool shift, bool super, const QString &key);

private:
    Access m_access;
};

} // namespace orv
