#pragma once

#include "app/LoginItemController.h"

#include <QString>

namespace orv {

// The XDG autostart entry that starts Orvanta at login ($XDG_CONFIG_HOME/autostart/orvanta.desktop).
// Its Exec passes --autostart, which is how a launch at login is recognized.
class XdgAutostart
{
public:
    // entryPath: the .desktop file; programPath: the absolute path of the orvanta binary to start.
    XdgAutostart(QString entryPath, QString programPath);

    static QString defaultEntryPath();
    static QString autostartArgument() { return QStringLiteral("--autostart"); }

    AbstractLoginItemController::Status readStatus() const;
    Expected<void, QString> registerEntry() const;
    Expected<void, QString> unregisterEntry() const;
    QString entryPath() const { return m_entryPath; }

    // The four operations of the login item, bound to this entry; openSettings opens the folder.
    LoginItemController::Operations operations(std::function<void(const QString &folder)> openFolder) const;

private:
    QString m_entryPath;
    QString m_programPath;
};

} // namespace orv
