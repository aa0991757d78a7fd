#include "tests/support/FakePasteboard.h"

namespace orv::test {

QList<Pasteboard::Item> FakePasteboard::items() const
{
    QList<Item> readable = m_items;
    for (Item &item : readable)
        item.removeIf([this](const auto &pair) { return unreadableTypes.contains(pair.first); });
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
