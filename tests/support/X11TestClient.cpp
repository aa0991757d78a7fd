#include "tests/support/X11TestClient.h"

#include <algorithm>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace orv::test {

namespace {
int grabError = 0;
int recordError(Display *, XErrorEvent *event)
{
    grabError = event->error_code;
    return 0;
}
} // namespace

X11TestClient::X11TestClient() : m_display(XOpenDisplay(nullptr)) {}

X11TestClient::~X11TestClient()
{
    if (!m_display)
        return;
    // A key left down would stay down for every later client of the server.
    for (const unsigned held : std::vector<unsigned>(m_held))
        release(held);
    restoreKeymap();
    if (m_window)
        XDestroyWindow(m_display, m_window);
    XCloseDisplay(m_display);
}

unsigned X11TestClient::keycode(const char *keysymName) const
{
    return XKeysymToKeycode(m_display, XStringToKeysym(keysymName));
}

void X11TestClient::fakeKey(unsigned keycode, bool down)
{
    XTestFakeKeyEvent(m_display, keycode, down, CurrentTime);
    XFlush(m_display);
    if (down)
        m_held.push_back(keycode);
    else
        std::erase(m_held, keycode);
}

bool X11TestClient::showFocusedWindow(int timeoutMs)
{
    const int screen = DefaultScreen(m_display);
    m_window = XCreateSimpleWindow(m_display, RootWindow(m_display, screen), 50, 50, 300, 200, 0, 0,
                                   WhitePixel(m_display, screen));
    XSelectInput(m_display, m_window, KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask);
    XStoreName(m_display, m_window, "orvanta shortcut test");
    XMapRaised(m_display, m_window);
    XFlush(m_display);
    bool mapped = false;
    return waitUntil(
        [&] {
            readEvents();
            XWindowAttributes attributes;
            if (!mapped && XGetWindowAttributes(m_display, m_window, &attributes) &&
                attributes.map_state == IsViewable) {
                mapped = true;
                XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
                XFlush(m_display);
            }
            return m_focused;
        },
        timeoutMs);
}

void X11TestClient::readEvents()
{
    XSync(m_display, False);
    while (XPending(m_display)) {
        XEvent event;
        XNextEvent(m_display, &event);
        if ((event.type == FocusIn || event.type == FocusOut) && event.xfocus.window == m_window)
            m_focused = event.type == FocusIn;
        else if (event.type == KeyPress && event.xkey.window == m_window)
            m_presses.push_back(event.xkey.keycode);
    }
}

const std::vector<unsigned> &X11TestClient::receivedPresses()
{
    readEvents();
    return m_presses;
}

int X11TestClient::grabKey(unsigned keycode, unsigned modifiers)
{
    grabError = 0;
    XErrorHandler previous = XSetErrorHandler(recordError);
    XGrabKey(m_display, keycode, modifiers, DefaultRootWindow(m_display), False, GrabModeAsync, GrabModeAsync);
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return grabError;
}

void X11TestClient::ungrabKey(unsigned keycode, unsigned modifiers)
{
    XUngrabKey(m_display, keycode, modifiers, DefaultRootWindow(m_display));
    XSync(m_display, False);
}

void X11TestClient::moveKeysym(unsigned keycode, const char *keysymName)
{
    int perCode = 0;
    KeySym *old = XGetKeyboardMapping(m_display, KeyCode(keycode), 1, &perCode);
    m_savedKeysyms.emplace_back(keycode, std::vector<unsigned long>(old, old + perCode));
    XFree(old);
    std::vector<KeySym> now(std::max(perCode, 2), NoSymbol);
    now[0] = now[1] = XStringToKeysym(keysymName);
    XChangeKeyboardMapping(m_display, int(keycode), int(now.size()), now.data(), 1);
    XSync(m_display, False);
}

void X11TestClient::setModifierOf(const char *keysymName, int modifierIndex)
{
    XModifierKeymap *map = XGetModifierMapping(m_display);
    if (!m_savedModifiers)
        m_savedModifiers = XGetModifierMapping(m_display);
    const KeyCode code = XKeysymToKeycode(m_display, XStringToKeysym(keysymName));
    std::replace(map->modifiermap, map->modifiermap + 8 * map->max_keypermod, code, KeyCode(0));
    map = XInsertModifiermapEntry(map, code, modifierIndex);
    XSetModifierMapping(m_display, map);
    XFreeModifiermap(map);
    XSync(m_display, False);
}

void X11TestClient::restoreKeymap()
{
    for (auto it = m_savedKeysyms.rbegin(); it != m_savedKeysyms.rend(); ++it)
        XChangeKeyboardMapping(m_display, int(it->first), int(it->second.size()), it->second.data(), 1);
    m_savedKeysyms.clear();
    if (m_savedModifiers) {
        auto *saved = static_cast<XModifierKeymap *>(m_savedModifiers);
        XSetModifierMapping(m_display, saved);
        XFreeModifiermap(saved);
        m_savedModifiers = nullptr;
    }
    XSync(m_display, False);
}

bool X11TestClient::isGrabbedByAnother(unsigned keycode, unsigned modifiers)
{
    XGrabServer(m_display);
    const int error = grabKey(keycode, modifiers);
    if (error == 0)
        XUngrabKey(m_display, keycode, modifiers, DefaultRootWindow(m_display));
    XUngrabServer(m_display);
    XSync(m_display, False);
    return error == BadAccess;
}

QString activeWindowTitle()
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return QString();
    const auto property = [&](Window window, const char *name, Atom type) {
        Atom actualType = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 4096, False, type, &actualType,
                           &format, &count, &after, &data);
        QByteArray value;
        if (data && format == 32 && count == 1)
            value = QByteArray::number(static_cast<qulonglong>(*reinterpret_cast<unsigned long *>(data)));
        else if (data)
            value = QByteArray(reinterpret_cast<const char *>(data), format == 32 ? 0 : static_cast<int>(count));
        XFree(data);
        return value;
    };
    QString title;
    if (const Window active = property(DefaultRootWindow(display), "_NET_ACTIVE_WINDOW", XA_WINDOW).toULongLong())
        title = QString::fromUtf8(property(active, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False)));
    XCloseDisplay(display);
    return title;
}

} // namespace orv::test
