#pragma once

#include "delivery/Pasteboard.h"

#include <QObject>

#include <functional>
#include <memory>

class QClipboard;

namespace orv::atspi {

// The CLIPBOARD selection through QClipboard. X11 has one item per clipboard, with every format the
// owner offers; a snapshot keeps each of them. The change count moves on each of our writes and
// whenever another client takes the clipboard over.
class ClipboardPasteboard final : public Pasteboard
{
public:
    ClipboardPasteboard();
    ~ClipboardPasteboard() override;

    QList<Item> items() const override;
    void clearContents() override;
    bool setString(const QString &text) override;
    bool writeItems(const QList<Item> &items) override;
    qint64 changeCount() const override { return m_changeCount; }

    // Called each time another client asks for the text we wrote (what a paste waits for).
    std::function<void()> onServed;

private:
    QClipboard *m_clipboard;
    QObject m_context;
    qint64 m_changeCount = 0;
    // The clipboard may keep our data after we are gone: it reaches onServed only while this lives.
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

} // namespace orv::atspi
