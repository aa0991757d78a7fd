#include "delivery/atspi/DesktopEntryNames.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStandardPaths>

namespace orv::atspi {

namespace {

struct Entry
{
    QString name;
    QString windowClass;
};

// The [Desktop Entry] group of one file: Name in the user's language where given, and StartupWMClass.
Entry readEntry(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString locale = QLocale::system().name(); // e.g. de_DE
    const QString language = locale.section(u'_', 0, 0);
    QString name, localName, languageName, windowClass;
    bool inMain = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Name"))
            name = value;
        else if (key == QStringLiteral("Name[%1]").arg(locale))
            localName = value;
        else if (key == QStringLiteral("Name[%1]").arg(language))
            languageName = value;
        else if (key == QLatin1String("StartupWMClass"))
            windowClass = value;
    }
    const QString chosen = !localName.isEmpty() ? localName : !languageName.isEmpty() ? languageName : name;
    return Entry{chosen, windowClass};
}

} // namespace

DesktopEntryNames::DesktopEntryNames(QStringList folders) : m_folders(std::move(folders))
{
    if (m_folders.isEmpty())
        m_folders = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

void DesktopEntryNames::load()
{
    m_loaded = true;
    for (const QString &folder : std::as_const(m_folders)) {
        const QDir dir(folder);
        const QStringList files = dir.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name);
        for (const QString &file : files) {
            const Entry entry = readEntry(dir.filePath(file));
            if (entry.name.isEmpty())
                continue;
            // The first folder wins, as for the desktop's own menus.
            const QString base = file.chopped(8).toLower();
            if (!m_byFile.contains(base))
                m_byFile.insert(base, entry.name);
            const QString windowClass = entry.windowClass.toLower();
            if (!windowClass.isEmpty() && !m_byClass.contains(windowClass))
                m_byClass.insert(windowClass, entry.name);
        }
    }
}

std::optional<QString> DesktopEntryNames::nameFor(const QString &windowClass, const QString &instance)
{
    if (!m_loaded)
        load();
    const QString lowerClass = windowClass.toLower();
    const QString lowerInstance = instance.toLower();
    for (const QString &key : {lowerClass, lowerInstance}) {
        if (!key.isEmpty() && m_byClass.contains(key))
            return m_byClass.value(key);
    }
    for (const QString &key : {lowerInstance, lowerClass}) {
        if (key.isEmpty())
            continue;
        if (m_byFile.contains(key))
            return m_byFile.value(key);
        // Reverse-domain entries: org.gnome.TextEditor.desktop for the class "org.gnome.TextEditor".
        for (auto it = m_byFile.constBegin(); it != m_byFile.constEnd(); ++it)
            if (it.key().endsWith(u'.' + key))
                return it.value();
    }
    return std::nullopt;
}

} // namespace orv::atspi
