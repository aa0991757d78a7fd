#include "delivery/wayland/DataControlPasteboard.h"

#include <QProcess>
#include <QStringList>

namespace orv::wayland {

namespace {

// Runs a wl-clipboard tool to its end; nothing when it failed.
std::optional<QByteArray> run(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(DataControlPasteboard::toolTimeoutMs))
        return std::nullopt;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(DataControlPasteboard::toolTimeoutMs)) {
        process.kill();
        process.waitForFinished(DataControlPasteboard::toolTimeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

const QString wlCopy = QStringLiteral("wl-copy");
const QString wlPaste = QStringLiteral("wl-paste");

// The format a restored clipboard keeps: text where there is any, else the first offered.
int preferred(const Pasteboard::Item &item)
{
    for (int i = 0; i < item.size(); ++i)
        if (item.at(i).first.startsWith(QLatin1String("text/plain")))
            return i;
    return item.isEmpty() ? -1 : 0;
}

} // namespace

QList<Pasteboard::Item> DataControlPasteboard::items() const
{
    const auto types = run(wlPaste, {QStringLiteral("--list-types")});
    if (!types)
        return {};
    Item item;
    qint64 total = 0;
    for (const QByteArray &line : types->split('\n')) {
        const QString type = QString::fromUtf8(line).trimmed();
        // Upper-case names are X11 selection targets that XWayland offers besides the MIME types.
        if (type.isEmpty() || !type.contains(QLatin1Char('/')))
            continue;
        const auto data = run(wlPaste, {QStringLiteral("--no-newline"), QStringLiteral("--type"), type});
        if (!data || total + data->size() > largestSnapshot)
            continue;
        total += data->size();
        item.append({type, *data});
    }
    if (item.isEmpty())
        return {};
    return {item};
}

void DataControlPasteboard::clearContents()
{
    if (run(wlCopy, {QStringLiteral("--clear")}))
        ++m_changeCount;
}

bool DataControlPasteboard::setString(const QString &text)
{
    return copy(QStringLiteral("text/plain;charset=utf-8"), text.toUtf8());
}

bool DataControlPasteboard::writeItems(const QList<Item> &items)
{
    for (const Item &item : items) {
        const int index = preferred(item);
        if (index >= 0)
            return copy(item.at(index).first, item.at(index).second);
    }
    return false;
}

// wl-copy stays behind in the background to serve the data until someone else takes the clipboard.
bool DataControlPasteboard::copy(const QString &type, const QByteArray &data)
{
    if (!run(wlCopy, {QStringLiteral("--type"), type}, data))
        return false;
    ++m_changeCount;
    return true;
}

} // namespace orv::wayland
