#pragma once

#include "shortcuts/GlobalShortcut.h"
#include "shortcuts/ShortcutKeys.h"
#include "shortcuts/x11/X11KeyTranslator.h"

#include <QObject>

#include <memory>
#include <vector>

class QSocketNotifier;
typedef struct _XDisplay Display;

namespace orv {

class SessionMonitor;
class ShortcutSettings;

// The live operations of GlobalShortcut on an X11 display, on the main thread.
//
// The tap is XInput2 raw key events selected on the root window of our own X connection, read through a
// QSocketNotifier. Raw events report every key of every client but cannot be removed from the stream:
// X11 removes key events only through a passive grab (XGrabKey), and a grab of the hold key would turn
// into an active keyboard grab while the key is down, stealing the keys the user presses meanwhile
// (which must reach the focused application). So the hold key's own events always pass, and the swallow
// answer is not acted on; that is why the default hold key is Right Ctrl, whose press alone does nothing
// in other applications. The toggle and Escape are passive grabs on the root window: their events are
// removed, which is what a hot key needs.
//
// Trust is an X display with XInput2 (2.2) and XTest. Secure keyboard input: X11 offers no query (a
// password prompt's keyboard grab does not stop raw events and cannot be told apart from a menu's), so it
// reads as off. The hardware state for resets and the watchdog is the server's key map (XQueryKeymap)
// read through the XKB key classes.
//
// Wayland: X11 sees only the keys sent to X clients there, so this backend reports the session as
// unsupported; a Wayland session is composed with shortcuts/portal/ and shortcuts/evdev/ instead.
class X11ShortcutBackend : public QObject
{
    Q_OBJECT

public:
    // displayName null: $DISPLAY.
    explicit X11ShortcutBackend(const ShortcutSettings &settings, const char *displayName = nullptr);
    ~X11ShortcutBackend() override;

    // A table bound to this backend; it keeps the backend alive through its owner.
    static GlobalShortcut::Operations operations(std::shared_ptr<X11ShortcutBackend> backend);

    bool hasDisplay() const { return m_display != nullptr; }
    bool isTrusted() const;
    static bool isWaylandSession();

    bool createTap(std::function<bool(const GlobalShortcut::TapEvent &)> onEvent,
                   std::function<void(GlobalShortcut::TapDisabled)> onDisabled);
    void enableTap(bool enabled);
    void removeTap();
    std::uint64_t modifierFlags();
    std::int32_t installHotKeyHandler(std::function<bool(GlobalShortcut::HotKey)> handler);
    void removeHotKeyHandler();
    std::int32_t registerHotKey(GlobalShortcut::HotKey key);
    void unregisterHotKey(GlobalShortcut::HotKey key);
    void observeSession(std::function<void()> onSuspend, std::function<void()> onResume);
    void stopObservingSession();

    // Reads whatever the X connection has for us; also runs from the socket notifier.
    void processEvents();

private:
    struct Grab
    {
        GlobalShortcut::HotKey key;
        unsigned keycode = 0;
        unsigned modifiers = 0;
        std::vector<unsigned> masks; // exactly what was grabbed: modifiers with each lock-key variant
        bool pressed = false;
    };

    void loadKeyKindes();
    unsigned findHoldKeycode() const;
    unsigned modifierMaskOf(unsigned long keysym, unsigned fallback) const;
    std::vector<unsigned> lockVariants() const;
    // The key and modifiers of a hot key under the current key map; status BadValue when it has no key.
    std::int32_t resolveHotKey(GlobalShortcut::HotKey key, unsigned &keycode, unsigned &modifiers) const;
    std::int32_t grab(GlobalShortcut::HotKey key);
    void ungrab(const Grab &grab);
    // After a change of the key map or the modifiers: every hot key grabbed again where it now is.
    void regrabAll();
    void handleHotKeyEvent(unsigned keycode, unsigned state, bool press);
    void scheduleDrain();

    const ShortcutSettings &m_settings;
    struct DisplayClose
    {
        void operator()(Display *display) const;
    };
    std::unique_ptr<Display, DisplayClose> m_display;
    unsigned long m_root = 0;
    int m_xiOpcode = -1;
    bool m_hasXInput2 = false;
    bool m_hasXTest = false;
    std::unique_ptr<QSocketNotifier> m_notifier;

    X11KeyTranslator m_translator;
    unsigned m_holdKeycode = 0;
    std::function<bool(const GlobalShortcut::TapEvent &)> m_onTapEvent;
    bool m_tapCreated = false;
    bool m_tapEnabled = false;

    std::function<bool(GlobalShortcut::HotKey)> m_hotKeyHandler;
    std::vector<Grab> m_grabs;
    bool m_drainQueued = false;

    std::unique_ptr<SessionMonitor> m_session;
};

} // namespace orv
