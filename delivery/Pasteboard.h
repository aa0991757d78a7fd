#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace orv {

// The system clipboard as delivery sees it: a list of items, each holding data under several types,
// and a change count that moves whenever anyone writes to it.
class Pasteboard
{
public:
    // (type, data) pairs in the order they were found.
    using Item = QList<QPair<QString, QByteArray>>;

    virtual ~Pasteboard() = default;

    // Every item with every type whose data could be read; unreadable types are left out.
    virtual QList<Item> items() const = 0;
    virtual void clearContents() = 0;
    // Writes text as plain text; false when the clipboard refused it.
    virtual bool setString(const QString &text) = 0;
    virtual bool writeItems(const QList<Item> &items) = 0;
    virtual qint64 changeCount() const = 0;
};

} // namespace orv
