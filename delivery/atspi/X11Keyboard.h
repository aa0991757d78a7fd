#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
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
    struct ActiveWindow
    {
        qint64 processID = 0;
        QString windowClass; // WM_CLASS: class, then instance
        QString instance;
    };
    // _NET_ACTIVE_WINDOW with its process and WM_CLASS; nothing without a window. The process is the
    // window's _NET_WM_PID, else the one the X server reports for the window's client, else the window's
    // negated id (no process of its own, but one per window).
    std::optional<ActiveWindow> activeWindowInfo();
    // Whether a window of this class belongs to a terminal emulator (pastes with Ctrl+Shift+V).
    static bool isTerminal(const QString &windowClass, const QString &instance);
    // xterm binds no key to the clipboard: Shift+Insert pastes the primary selection.
    static bool pastesPrimary(const QString &windowClass, const QString &instance);
    // Whether any key is down now (Caps Lock and Num Lock being on does not count).
    bool keysHeld();
    enum class PasteKeys
    {
        ctrlV,
        ctrlShiftV,
        shiftInsert
    };
    // False when the events could not be sent.
    bool postPaste(PasteKeys keys);

private:
    unsigned long activeWindow();
    // The process of the client that created the window (X-Resource extension), or 0.
    qint64 clientProcess(unsigned long window);

    struct DisplayClose
    {
        void operator()(Display *display) const;
    };
    std::unique_ptr<Display, DisplayClose> m_display;
    bool m_xtest = false;
};

} // namespace orv::atspi
