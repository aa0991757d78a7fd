#pragma once

#include "desktop/LoginItemController.h"

#include <QString>
#include <QStringList>

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

    // The Exec value that starts program with arguments, by the desktop-entry rules: an argument with a
    // reserved character is quoted, with " ` $ \ escaped inside the quotes; % is doubled; then the value's
    // own escapes apply (\\, \n, \t, \r).
    static QString execValue(const QString &program, const QStringList &arguments);
    // The command line an Exec value stands for (the reverse of execValue, also for unquoted values).
    static QStringList execArguments(const QString &value);

private:
    QString m_entryPath;
    QString m_programPath;
};

} // namespace orv
