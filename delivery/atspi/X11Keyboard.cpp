#include "delivery/atspi/X11Keyboard.h"

#include <QStringList>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orv::atspi {

X11Keyboard::X11Keyboard() : m_display(XOpenDisplay(nullptr))
{
    if (!m_display)
        return;
    int event = 0, error = 0, major = 0, minor = 0;
    m_xtest = XTestQueryExtension(m_display.get(), &event, &error, &major, &minor);
}

X11Keyboard::~X11Keyboard() = default;

void X11Keyboard::DisplayClose::operator()(Display *display) const
{
    XCloseDisplay(display);
}

unsigned long X11Keyboard::activeWindow()
{
    if (!m_display)
        return 0;
    const Atom property = XInternAtom(m_display.get(), "_NET_ACTIVE_WINDOW", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    Window window = 0;
    if (XGetWindowProperty(m_display.get(), DefaultRootWindow(m_display.get()), property, 0, 1, False, XA_WINDOW, &type,
                           &format, &count, &after, &data) == Success &&
        data && count == 1 && format == 32)
        window = *reinterpret_cast<Window *>(data);
    if (data)
        XFree(data);
    return window;
}

std::optional<X11Keyboard::ActiveWindow> X11Keyboard::activeWindowInfo()
{
    const Window window = activeWindow();
    if (!window)
        return std::nullopt;
    const Atom property = XInternAtom(m_display.get(), "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    qint64 pid = 0;
    if (XGetWindowProperty(m_display.get(), window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && count == 1 && format == 32)
        pid = static_cast<qint64>(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    // Toolkits without accessibility (Tk) often set no _NET_WM_PID: the server knows the process of the
    // connection that made the window; failing that the window stands for its client.
    if (pid <= 0)
        pid = clientProcess(window);
    if (pid <= 0)
        pid = -static_cast<qint64>(window);
    ActiveWindow info;
    info.processID = pid;
    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(m_display.get(), window, &hint)) {
        info.windowClass = QString::fromUtf8(hint.res_class ? hint.res_class : "");
        info.instance = QString::fromUtf8(hint.res_name ? hint.res_name : "");
        if (hint.res_name)
            XFree(hint.res_name);
        if (hint.res_class)
            XFree(hint.res_class);
    }
    return info;
}

qint64 X11Keyboard::clientProcess(unsigned long window)
{
    int event = 0, error = 0;
    if (!XResQueryExtension(m_display.get(), &event, &error))
        return 0;
    XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue *values = nullptr;
    if (XResQueryClientIds(m_display.get(), 1, &spec, &count, &values) != Success)
        return 0;
    qint64 pid = 0;
    for (long i = 0; i < count && pid <= 0; ++i)
        pid = XResGetClientPid(&values[i]);
    XResClientIdsDestroy(count, values);
    return pid;
}

bool X11Keyboard::isTerminal(const QString &windowClass, const QString &instance)
{
    static const QStringList terminals{QStringLiteral("xterm"),
                                       QStringLiteral("uxterm"),
                                       QStringLiteral("urxvt"),
                                       QStringLiteral("rxvt"),
                                       QStringLiteral("gnome-terminal"),
                                       QStringLiteral("konsole"),
                                       QStringLiteral("xfce4-terminal"),
                                       QStringLiteral("terminator"),
                                       QStringLiteral("tilix"),
                                       QStringLiteral("alacritty"),
                                       QStringLiteral("kitty"),
                                       QStringLiteral("st"),
                                       QStringLiteral("lxterminal"),
                                       QStringLiteral("mate-terminal"),
                                       QStringLiteral("qterminal"),
                                       QStringLiteral("foot"),
                                       QStringLiteral("wezterm"),
                                       QStringLiteral("sakura"),
                                       QStringLiteral("terminology"),
                                       QStringLiteral("guake"),
                                       QStringLiteral("tilda"),
                                       QStringLiteral("kgx"),
                                       QStringLiteral("org.gnome.console"),
                                       QStringLiteral("org.gnome.terminal")};
    for (const QString &name : {windowClass.toLower(), instance.toLower()}) {
        for (const QString &terminal : terminals)
            if (name == terminal || name.startsWith(terminal + u'-') || name.endsWith(u'.' + terminal))
                return true;
    }
    return false;
}

bool X11Keyboard::keysHeld()
{
    if (!m_display)
        return false;
    char keys[32];
    XQueryKeymap(m_display.get(), keys);
    for (const char byte : keys)
        if (byte)
            return true;
    return false;
}

bool X11Keyboard::pastesPrimary(const QString &windowClass, const QString &instance)
{
    for (const QString &name : {windowClass.toLower(), instance.toLower()})
        if (name == QLatin1String("xterm") || name == QLatin1String("uxterm"))
            return true;
    return false;
}

bool X11Keyboard::postPaste(PasteKeys keys)
{
    if (!m_display || !m_xtest)
        return false;
    const KeyCode control = XKeysymToKeycode(m_display.get(), XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(m_display.get(), XK_Shift_L);
    const KeyCode key = XKeysymToKeycode(m_display.get(), keys == PasteKeys::shiftInsert ? XK_Insert : XK_v);
    QList<KeyCode> chord;
    if (keys != PasteKeys::shiftInsert)
        chord.append(control);
    if (keys != PasteKeys::ctrlV)
        chord.append(shift);
    chord.append(key);
    bool sent = true;
    for (const KeyCode code : std::as_const(chord))
        sent = code && XTestFakeKeyEvent(m_display.get(), code, True, CurrentTime) && sent;
    for (qsizetype i = chord.size() - 1; i >= 0; --i)
        sent = chord.at(i) && XTestFakeKeyEvent(m_display.get(), chord.at(i), False, CurrentTime) && sent;
    XFlush(m_display.get());
    return sent;
}

} // namespace orv::atspi
