#include "app/XdgAutostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace orv {

namespace {

// The value of key in the [Desktop Entry] group, or a null string.
QString desktopEntryValue(const QString &contents, const QString &key)
{
    bool inEntry = false;
    const auto lines = contents.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

// The program of an Exec line: the first word, unquoted.
QString execProgram(const QString &exec)
{
    QString trimmed = exec.trimmed();
    if (trimmed.startsWith(QLatin1Char('"'))) {
        const qsizetype end = trimmed.indexOf(QLatin1Char('"'), 1);
        return end > 0 ? trimmed.mid(1, end - 1) : trimmed.mid(1);
    }
    const qsizetype space = trimmed.indexOf(QLatin1Char(' '));
    return space < 0 ? trimmed : trimmed.left(space);
}

bool programExists(const QString &program)
{
    if (program.isEmpty())
        return false;
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo info(program);
        return info.exists() && info.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}

QString quotedExecArgument(const QString &path)
{
    QString escaped = path;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

XdgAutostart::XdgAutostart(QString entryPath, QString programPath)
    : m_entryPath(std::move(entryPath)), m_programPath(std::move(programPath))
{}

QString XdgAutostart::defaultEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1String("/autostart/orvanta.desktop");
}

AbstractLoginItemController::Status XdgAutostart::readStatus() const
{
    using Status = AbstractLoginItemController::Status;
    QFile file(m_entryPath);
    if (!file.exists())
        return Status::notRegistered;
    if (!file.open(QIODevice::ReadOnly))
        return Status::notFound;
    const QString contents = QString::fromUtf8(file.readAll());
    if (!programExists(execProgram(desktopEntryValue(contents, QStringLiteral("Exec")))))
        return Status::notFound;
    const auto isFalse = [](const QString &value) {
        return value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
    };
    const auto isTrue = [](const QString &value) {
        return value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    };
    // The desktop's own switch for an entry: Hidden, or GNOME's enabled key.
    if (isTrue(desktopEntryValue(contents, QStringLiteral("Hidden"))) ||
        isFalse(desktopEntryValue(contents, QStringLiteral("X-GNOME-Autostart-enabled"))))
        return Status::requiresApproval;
    return Status::enabled;
}

Expected<void, QString> XdgAutostart::registerEntry() const
{
    const QFileInfo info(m_entryPath);
    if (!QDir().mkpath(info.absolutePath()))
        return unexpected(QStringLiteral("The folder %1 could not be created.").arg(info.absolutePath()));
    const QString contents = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Orvanta\n"
                                            "Comment=On-device dictation\n"
                                            "Exec=%1 %2\n"
                                            "Icon=io.orvanta.Orvanta\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(quotedExecArgument(m_programPath), autostartArgument());
    // Written atomically: a half-written entry must never start a broken command at login.
    QSaveFile file(m_entryPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents.toUtf8()) < 0 || !file.commit())
        return unexpected(file.errorString());
    return {};
}

Expected<void, QString> XdgAutostart::unregisterEntry() const
{
    QFile file(m_entryPath);
    if (!file.exists())
        return {};
    if (!file.remove())
        return unexpected(file.errorString());
    return {};
}

LoginItemController::Operations XdgAutostart::operations(std::function<void(const QString &)> openFolder) const
{
    const XdgAutostart entry = *this;
    return {
        [entry] { return entry.readStatus(); },
        [entry] { return entry.registerEntry(); },
        [entry] { return entry.unregisterEntry(); },
        [entry, openFolder = std::move(openFolder)] {
            const QString folder = QFileInfo(entry.entryPath()).absolutePath();
            QDir().mkpath(folder);
            if (openFolder)
                openFolder(folder);
        },
    };
}

} // namespace orv
