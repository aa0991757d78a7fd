#include "desktop/gnome/GnomeCustomShortcut.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace orv {

namespace {

QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

// The strings of a GVariant text list or string: "['a', 'b']", "@as []", "'a'".
QStringList stringsOf(const QString &text)
{
    QStringList strings;
    static const QRegularExpression item(QStringLiteral(R"('((?:[^'\\]|\\.)*)')"));
    for (auto match = item.globalMatch(text); match.hasNext();) {
        QString value = match.next().captured(1);
        value.replace(QStringLiteral("\\'"), QStringLiteral("'")).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        strings << value;
    }
    return strings;
}

} // namespace

GnomeCustomShortcut::Access GnomeCustomShortcut::live()
{
    const auto run = [](const QStringList &arguments) -> std::optional<QString> {
        QProcess process;
        process.start(QStringLiteral("gsettings"), arguments);
        if (!process.waitForFinished(5000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    };
    return {
        [run](const QString &schema, const QString &key) {
            return run({QStringLiteral("get"), schema, key});
        },
        [run](const QString &schema, const QString &key, const QString &value) {
            return run({QStringLiteral("set"), schema, key, value}).has_value();
        },
    };
}

QString GnomeCustomShortcut::acceleratorOf(bool control, bool alt, bool shift, bool super, const QString &key)
{
    QString accelerator;
    if (control)
        accelerator += QStringLiteral("<Control>");
    if (alt)
        accelerator += QStringLiteral("<Alt>");
    if (shift)
        accelerator += QStringLiteral("<Shift>");
    if (super)
        accelerator += QStringLiteral("<Super>");
    // GTK names letters and Space in lower case, function keys as written.
    const bool functionKey = key.size() > 1 && key.startsWith(QLatin1Char('F')) && key.mid(1).toInt() > 0;
    return accelerator + (functionKey ? key : key.toLower());
}

Expected<QString, QString> GnomeCustomShortcut::add(const Shortcut &shortcut)
{
    const QString listKey = QStringLiteral("custom-keybindings");
    const std::optional<QString> list = m_access.get(listSchema(), listKey);
    if (!list)
        return unexpected(QStringLiteral("GNOME's keyboard settings could not be read (is gsettings installed?). Add "
                                         "the shortcut in Settings → Keyboard → Custom Shortcuts instead."));
    QStringList paths = stringsOf(*list);
    for (const QString &path : paths) {
        const QString entry = entrySchema() + QLatin1Char(':') + path;
        const auto command = m_access.get(entry, QStringLiteral("command"));
        if (command && stringsOf(*command).value(0) == shortcut.command) {
            const auto binding = m_access.get(entry, QStringLiteral("binding"));
            const QString bound = binding ? stringsOf(*binding).value(0) : QString();
            return bound.isEmpty()
                       ? QStringLiteral("GNOME already has a shortcut for “%1”, without a key: choose one in "
                                        "Settings → Keyboard → Custom Shortcuts.")
                             .arg(shortcut.command)
                       : QStringLiteral("GNOME already runs “%1” on %2.").arg(shortcut.command, bound);
        }
    }
    QString path;
    for (int number = 0; path.isEmpty(); ++number) {
        const QString candidate = entryFolder() + QStringLiteral("custom%1/").arg(number);
        if (!paths.contains(candidate))
            path = candidate;
    }
    // The entry first, the list last: GNOME starts using an entry once it is listed.
    const QString entry = entrySchema() + QLatin1Char(':') + path;
    const bool written = m_access.set(entry, QStringLiteral("name"), quoted(shortcut.name)) &&
                         m_access.set(entry, QStringLiteral("command"), quoted(shortcut.command)) &&
                         m_access.set(entry, QStringLiteral("binding"), quoted(shortcut.binding));
    paths << path;
    QStringList items;
    for (const QString &each : paths)
        items << quoted(each);
    if (!written ||
        !m_access.set(listSchema(), listKey, QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']')))
        return unexpected(QStringLiteral("GNOME's keyboard settings could not be changed. Add the shortcut in "
                                         "Settings → Keyboard → Custom Shortcuts instead: the command is “%1”.")
                              .arg(shortcut.command));
    return QStringLiteral("Added to GNOME's keyboard shortcuts: %1 runs “%2”. Change the key in Settings → "
                          "Keyboard → Custom Shortcuts.")
        .arg(shortcut.binding, shortcut.command);
}

} // namespace orv
