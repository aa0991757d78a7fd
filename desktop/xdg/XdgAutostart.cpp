#include "desktop/xdg/XdgAutostart.h"

#include "base/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

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

// The program an Exec command line starts: the first word, or what env starts.
QString execProgram(const QStringList &arguments)
{
    if (arguments.size() >= 2 && QFileInfo(arguments.first()).fileName() == QLatin1String("env"))
        return arguments.at(1);
    return arguments.value(0);
}

bool isReserved(QChar c)
{
    return QStringView(u" \t\n\"'\\><~|&;$*?#()`").contains(c);
}

QString quotedArgument(const QString &argument)
{
    if (!argument.isEmpty() && std::none_of(argument.begin(), argument.end(), isReserved))
        return argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

} // namespace

QString XdgAutostart::execValue(const QString &program, const QStringList &arguments)
{
    QStringList words;
    // GLib checks that the program exists before it turns %% back into %, so a program whose path holds
    // a % is started through env, whose own path has none.
    if (program.contains(QLatin1Char('%')))
        words.append(QStringLiteral("env"));
    for (const QString &argument : QStringList{program} + arguments)
        words.append(quotedArgument(argument).replace(QLatin1Char('%'), QLatin1String("%%")));
    QString value;
    for (const QChar c : words.join(QLatin1Char(' '))) {
        if (c == QLatin1Char('\\'))
            value += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            value += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            value += QLatin1String("\\r");
        else
            value += c;
    }
    return value;
}

QStringList XdgAutostart::execArguments(const QString &value)
{
    QString text; // the value's own escapes undone
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const QChar next = i + 1 < value.size() ? value.at(i + 1) : QChar();
        if (c != QLatin1Char('\\') || next.isNull()) {
            text += c;
            continue;
        }
        const QString escapes = QStringLiteral("s\\ntr");
        const QString meanings = QStringLiteral(" \\\n\t\r");
        const qsizetype which = escapes.indexOf(next);
        text += which >= 0 ? meanings.at(which) : c;
        if (which >= 0)
            ++i;
    }

    QStringList arguments;
    QString current;
    bool inArgument = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"')) {
            inArgument = true;
            for (++i; i < text.size() && text.at(i) != QLatin1Char('"'); ++i) {
                const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
                if (text.at(i) == QLatin1Char('\\') && QStringView(u"\"`$\\").contains(next))
                    ++i;
                current += text.at(i);
            }
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.append(current);
    for (QString &argument : arguments)
        argument.replace(QLatin1String("%%"), QLatin1String("%"));
    return arguments;
}

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
    if (!programExists(execProgram(execArguments(desktopEntryValue(contents, QStringLiteral("Exec"))))))
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
                                            "Exec=%1\n"
                                            "Icon=io.orvanta.Orvanta\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(execValue(m_programPath, {autostartArgument()}));
    // Written atomically and checked: a half-written entry must never start a broken command at login.
    if (auto written = DurableFile::replace(m_entryPath, contents.toUtf8()); !written)
        return unexpected(written.error());
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
