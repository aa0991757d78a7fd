#pragma once

#include "delivery/Pasteboard.h"

namespace orv::wayland {

// The Wayland clipboard without a focused window of ours, through wlroots' data-control protocol (by way
// of wl-clipboard's wl-copy and wl-paste). Only for a compositor that offers data-control: elsewhere those
// tools fall back to a window of their own, which takes the focus from the user's field. Restoring keeps
// the one format of each item that matters most to a paste (text first). The change count moves on our
// writes only.
class DataControlPasteboard final : public Pasteboard
{
public:
    QList<Item> items() const override;
    void clearContents() override;
    bool setString(const QString &text) override;
    bool writeItems(const QList<Item> &items) override;
    qint64 changeCount() const override { return m_changeCount; }

    static constexpr int toolTimeoutMs = 1000;
    // Formats read back beyond this size are left out of a snapshot.
    static constexpr qint64 largestSnapshot = 16 * 1024 * 1024;

private:
    bool copy(const QString &type, const QByteArray &data);
    qint64 m_changeCount = 0;
};

// A compositor without any clipboard reachable from the background (mutter): every write is refused,
// and delivery says the text stays in History.
class NoPasteboard final : public Pasteboard
{
public:
    QList<Item> items() const override { return {}; }
    void clearContents() override {}
    bool setString(const QString &) override { return false; }
    bool writeItems(const QList<Item> &) override { return false; }
    qint64 changeCount() const override { return 0; }
};

} // namespace orv::wayland
