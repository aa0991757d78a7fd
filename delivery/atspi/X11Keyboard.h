#pragma once

#include "delivery/AbstractTextDelivery.h"

#include <optional>

typedef struct _XDisplay Display;

namespace orv::atspi {

// The X11 side of delivery on its own connection: the active window's application and the
// synthesized paste keystroke (XTest). None of these calls waits on another client.
class X11Keyboard
{
public:
    X11Keyboard();
    ~X11Keyboard();
    X11Keyboard(const X11Keyboard &) = delete;
    X11Keyboard &operator=(const X11Keyboard &) = delete;

    bool isOpen() const { return m_display != nullptr; }
    bool hasXTest() const { return m_xtest; }
    // _NET_ACTIVE_WINDOW's _NET_WM_PID, named after its WM_CLASS ("your app" without one).
    std::optional<ApplicationInfo> activeApplication();
    bool activeWindowIsTerminal();
    // Whether Shift, Ctrl, Alt, Super or AltGr is down now.
    bool modifiersHeld();
    // Ctrl+V, or Ctrl+Shift+V; false when the events could not be sent.
    bool postPaste(bool terminal);

private:
    unsigned long activeWindow();
    QByteArray windowClass(unsigned long window);

    Display *m_display = nullptr;
    bool m_xtest = false;
};

} // namespace orv::atspi
