#pragma once

#include "delivery/Pasteboard.h"

#include <functional>

namespace orv::test {

// A clipboard with several items of several types each; records writes and can refuse them.
class FakePasteboard final : public Pasteboard
{
public:
    static QString plainType() { return QStringLiteral("text/plain"); }

    QList<Item> items() const override;
    void clearContents() override;
    bool setString(const QString &text) override;
    bool writeItems(const QList<Item> &items) override;
    qint64 changeCount() const override { return m_changeCount; }

    // What another application does: replaces everything.
    void writeFromElsewhere(const QList<Item> &items);
    // The plain text of the first item that has one, or a null string.
    QString string() const;
    const QList<Item> &contents() const { return m_items; }

    bool refuseStrings = false;
    // Types whose data cannot be read back.
    QStringList unreadableTypes;
    // Called after each successful setString.
    std::function<void()> onStringWritten;

private:
    QList<Item> m_items;
    qint64 m_changeCount = 1;
};

} // namespace orv::test
