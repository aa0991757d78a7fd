#include "delivery/atspi/ClipboardPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace orv::atspi {

namespace {

// Selection bookkeeping targets and Qt's private image alias are not contents.
bool isContentFormat(const QString &format)
{
    static const QStringList meta{QStringLiteral("TARGETS"),
                                  QStringLiteral("MULTIPLE"),
                                  QStringLiteral("TIMESTAMP"),
                                  QStringLiteral("SAVE_TARGETS"),
                                  QStringLiteral("DELETE"),
                                  QStringLiteral("INCR"),
                                  QStringLiteral("application/x-qt-image")};
    return !format.isEmpty() && !meta.contains(format);
}

// Text that tells its writer when it is handed out.
class ServedText final : public QMimeData
{
public:
    ServedText(std::weak_ptr<int> alive, const ClipboardPasteboard *owner) : m_alive(std::move(alive)), m_owner(owner)
    {}

protected:
    QVariant retrieveData(const QString &format, QMetaType type) const override
    {
        if (!m_alive.expired() && m_owner->onServed)
            m_owner->onServed();
        return QMimeData::retrieveData(format, type);
    }

private:
    std::weak_ptr<int> m_alive;
    const ClipboardPasteboard *m_owner;
};

} // namespace

ClipboardPasteboard::ClipboardPasteboard() : m_clipboard(QGuiApplication::clipboard())
{
    QObject::connect(m_clipboard, &QClipboard::changed, &m_context, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !m_clipboard->ownsClipboard())
            ++m_changeCount; // another client took it; our own writes are counted where they happen
    });
}

ClipboardPasteboard::~ClipboardPasteboard() = default;

QList<Pasteboard::Item> ClipboardPasteboard::items() const
{
    const QMimeData *data = m_clipboard->mimeData(QClipboard::Clipboard);
    if (!data)
        return {};
    Item item;
    const QStringList formats = data->formats();
    for (const QString &format : formats) {
        if (!isContentFormat(format))
            continue;
        const QByteArray bytes = data->data(format);
        if (!bytes.isEmpty())
            item.append({format, bytes});
    }
    if (item.isEmpty())
        return {};
    return {item};
}

void ClipboardPasteboard::clearContents()
{
    m_clipboard->clear(QClipboard::Clipboard);
    ++m_changeCount;
}

bool ClipboardPasteboard::setString(const QString &text)
{
    auto *data = new ServedText(m_life, this);
    data->setText(text);
    m_clipboard->setMimeData(data, QClipboard::Clipboard); // takes ownership
    ++m_changeCount;
    return m_clipboard->ownsClipboard();
}

bool ClipboardPasteboard::writeItems(const QList<Item> &items)
{
    auto *data = new QMimeData;
    for (const Item &item : items)
        for (const auto &pair : item)
            if (!data->hasFormat(pair.first))
                data->setData(pair.first, pair.second);
    m_clipboard->setMimeData(data, QClipboard::Clipboard);
    ++m_changeCount;
    return m_clipboard->ownsClipboard();
}

} // namespace orv::atspi
