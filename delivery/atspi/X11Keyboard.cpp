#include "delivery/atspi/X11Keyboard.h"

#include <QFile>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orv::atspi {

X11Keyboard::X11Keyboard() : m_display(XOpenDisplay(nullptr))
{
    if (!m_display)
        return;
    int event = 0, error = 0, major = 0, minor = 0;
    m_xtest = XTestQueryExtension(m_display, &event, &error, &major, &minor);
}

X11Keyboard::~X11Keyboard()
{
    if (m_display)
        XCloseDisplay(m_display);
}

unsigned long X11Keyboard::activeWindow()
{
    if (!m_display)
        return 0;
    const Atom property = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    Window window = 0;
    if (XGetWindowProperty(m_display, DefaultRootWindow(m_display), property, 0, 1, False, XA_WINDOW, &type, &format,
                           &count, &after, &data) == Success &&
        data && count == 1 && format == 32)
        window = *reinterpret_cast<Window *>(data);
    if (data)
        XFree(data);
    return window;
}

QByteArray X11Keyboard::windowClass(unsigned long window)
{
    XClassHint hint{nullptr, nullptr};
    QByteArray name;
    if (window && XGetClassHint(m_display, window, &hint)) {
        name = QByteArray(hint.res_class ? hint.res_class : "");
        if (hint.res_name)
            XFree(hint.res_name);
        if (hint.res_class)
            XFree(hint.res_class);
    }
    return name;
}

std::optional<ApplicationInfo> X11Keyboard::activeApplication()
{
    const Window window = activeWindow();
    if (!window)
        return std::nullopt;
    const Atom property = XInternAtom(m_display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    qint64 pid = 0;
    if (XGetWindowProperty(m_display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && count == 1 && format == 32)
        pid = static_cast<qint64>(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    if (pid <= 0)
        return std::nullopt;
    QString name = QString::fromUtf8(windowClass(window));
    if (name.isEmpty()) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly))
            name = QString::fromUtf8(comm.readAll()).trimmed();
    }
    if (name.isEmpty())
        name = QStringLiteral("your app");
    return ApplicationInfo{pid, name};
}

bool X11Keyboard::activeWindowIsTerminal()
{
    const QByteArray name = windowClass(activeWindow()).toLower();
    static const QList<QByteArray> terminals{
        "xterm",         "uxterm",    "urxvt",     "gnome-terminal", "konsole", "xfce4-terminal",
        "terminator",    "tilix",     "alacritty", "kitty",          "st",      "lxterminal",
        "mate-terminal", "qterminal", "foot",      "wezterm",        "sakura",  "terminology"};
    for (const QByteArray &terminal : terminals)
        if (name == terminal || name.startsWith(terminal + '-') || name.endsWith('.' + terminal))
            return true;
    return false;
}

bool X11Keyboard::modifiersHeld()
{
    if (!m_display)
        return false;
    XkbStateRec state;
    if (XkbGetState(m_display, XkbUseCoreKbd, &state) != Success)
        return false;
    // Lock (Caps) and Mod2 (Num Lock) are latched states, not keys being held.
    const unsigned held = ShiftMask | ControlMask | Mod1Mask | Mod3Mask | Mod4Mask | Mod5Mask;
    return (state.base_mods & held) != 0;
}

bool X11Keyboard::postPaste(bool terminal)
{
    if (!m_display || !m_xtest)
        return false;
    const KeyCode control = XKeysymToKeycode(m_display, XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(m_display, XK_Shift_L);
    const KeyCode v = XKeysymToKeycode(m_display, XK_v);
    if (!control || !v || (terminal && !shift))
        return false;
    bool sent = XTestFakeKeyEvent(m_display, control, True, CurrentTime);
    if (terminal)
        sent = XTestFakeKeyEvent(m_display, shift, True, CurrentTime) && sent;
    sent = XTestFakeKeyEvent(m_display, v, True, CurrentTime) && sent;
    sent = XTestFakeKeyEvent(m_display, v, False, CurrentTime) && sent;
    if (terminal)
        sent = XTestFakeKeyEvent(m_display, shift, False, CurrentTime) && sent;
    sent = XTestFakeKeyEvent(m_display, control, False, CurrentTime) && sent;
    XFlush(m_display);
    return sent;
}

} // namespace orv::atspi
