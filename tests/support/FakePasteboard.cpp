#include "tests/support/FakePasteboard.h"

namespace orv::test {

QList<Pasteboard::Item> FakePasteboard::items() const
{
    QList<Item> readable;
    for (const Item &item : m_items) {
        Item entry;
        for (const auto &pair : item)
            if (!unreadableTypes.contains(pair.first))
                entry.append(pair);
        readable.append(entry);
    }
    return readable;
}

void FakePasteboard::clearContents()
{
    m_items.clear();
    ++m_changeCount;
}

bool FakePasteboard::setString(const QString &text)
{
    if (refuseStrings)
        return false;
    m_items.append(Item{{plainType(), text.toUtf8()}});
    ++m_changeCount;
    if (onStringWritten)
        onStringWritten();
    return true;
}

bool FakePasteboard::writeItems(const QList<Item> &items)
{
    m_items.append(items);
    ++m_changeCount;
    return true;
}

void FakePasteboard::writeFromElsewhere(const QList<Item> &items)
{
    m_items = items;
    m_changeCount += 2;
}

QString FakePasteboard::string() const
{
    for (const Item &item : m_items)
        for (const auto &pair : item)
            if (pair.first == plainType())
                return QString::fromUtf8(pair.second);
    return QString();
}

} // namespace orv::test
