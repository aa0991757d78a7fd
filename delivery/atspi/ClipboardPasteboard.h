#pragma once

#include "delivery/Pasteboard.h"

#include <QObject>

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

private:
    QClipboard *m_clipboard;
    QObject m_context;
    qint64 m_changeCount = 0;
};

} // namespace orv::atspi
