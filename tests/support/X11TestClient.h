#pragma once

#include "tests/support/EventLoopWait.h"

#include <QString>

#include <vector>

typedef struct _XDisplay Display;

namespace orv::test {

// A second X client for desktop tests: sends keys through XTest, owns a focused test window that
// records the keys it receives, and can hold grabs of its own.
class X11TestClient
{
public:
    X11TestClient();
    ~X11TestClient();
    X11TestClient(const X11TestClient &) = delete;
    X11TestClient &operator=(const X11TestClient &) = delete;

    bool isOpen() const { return m_display != nullptr; }
    unsigned keycode(const char *keysymName) const;

    void press(unsigned keycode) { fakeKey(keycode, true); }
    void release(unsigned keycode) { fakeKey(keycode, false); }
    void tap(unsigned keycode)
    {
        press(keycode);
        release(keycode);
    }

    // Maps the test window and gives it the focus; false when that did not happen in time.
    bool showFocusedWindow(int timeoutMs = 3000);
    // Key codes the window received (presses), read from the connection without blocking.
    const std::vector<unsigned> &receivedPresses();

    // Grabs keycode+modifiers on the root window; returns the X error (0 for none).
    int grabKey(unsigned keycode, unsigned modifiers);
    void ungrabKey(unsigned keycode, unsigned modifiers);
    // Whether another client holds that grab. The server is held meanwhile, so the probe never takes the
    // grab from under a client that is about to make it.
    bool isGrabbedByAnother(unsigned keycode, unsigned modifiers);

    // Gives keycode the keysyms of another key (a layout switch moves keys like this); the server tells every
    // client. The previous keysyms come back with restoreKeymap().
    void moveKeysym(unsigned keycode, const char *keysymName);
    // Puts the modifier keys under other modifier bits (e.g. Num Lock from Mod2 to Mod3) until
    // restoreKeymap().
    void setModifierOf(const char *keysymName, int modifierIndex);
    void restoreKeymap();

private:
    void fakeKey(unsigned keycode, bool down);
    void readEvents();

    Display *m_display = nullptr;
    unsigned long m_window = 0;
    bool m_focused = false;
    std::vector<unsigned> m_presses;
    std::vector<unsigned> m_held;
    std::vector<std::pair<unsigned, std::vector<unsigned long>>> m_savedKeysyms; // unsigned long: KeySym
    void *m_savedModifiers = nullptr;                                            // XModifierKeymap
};

// The active window's title, read from the X server: how a web page under test reports its text.
QString activeWindowTitle();

} // namespace orv::test
