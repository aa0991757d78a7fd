#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace orv::atspi {

// The names users know applications by: the Name of the application's .desktop entry, found from its
// window class (StartupWMClass, or an entry file named after the class or instance).
class DesktopEntryNames
{
public:
    // folders: the "applications" folders to read, most important first. Empty: the XDG data folders.
    explicit DesktopEntryNames(QStringList folders = {});

    // The entry's Name (in the user's language where it has one) for a window of this class and
    // instance (WM_CLASS); nothing when no entry matches.
    std::optional<QString> nameFor(const QString &windowClass, const QString &instance);

private:
    void load();

    QStringList m_folders;
    bool m_loaded = false;
    QHash<QString, QString> m_byClass; // lower-cased StartupWMClass → name
    QHash<QString, QString> m_byFile;  // lower-cased file name without ".desktop" → name
};

} // namespace orv::atspi
