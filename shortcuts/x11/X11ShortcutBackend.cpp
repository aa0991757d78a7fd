#include "shortcuts/x11/X11ShortcutBackend.h"

#include "shortcuts/ShortcutSettings.h"
#include "shortcuts/dbus/SessionMonitor.h"

#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstring>

namespace orv {

namespace {

// Status of a registration without an X display to register on.
constexpr std::int32_t noDisplayStatus = GlobalShortcut::RegistrationError::statusNoDisplay;
static_assert(BadAccess == GlobalShortcut::RegistrationError::statusTaken);
static_assert(BadValue == GlobalShortcut::RegistrationError::statusNoSuchKey);

// Xlib reports errors through one process-wide handler; a grab is checked by trapping the errors of our
// own display around the request and an XSync (without the handler a BadAccess is never seen).
Display *trapDisplay = nullptr;
int trappedError = 0;
XErrorHandler previousHandler = nullptr;

int trapHandler(Display *display, XErrorEvent *error)
{
    if (display == trapDisplay) {
        if (!trappedError)
            trappedError = error->error_code;
        return 0;
    }
    return previousHandler ? previousHandler(display, error) : 0;
}

class ErrorTrap
{
public:
    explicit ErrorTrap(Display *display)
    {
        trapDisplay = display;
        trappedError = 0;
        previousHandler = XSetErrorHandler(trapHandler);
    }
    ~ErrorTrap()
    {
        XSetErrorHandler(previousHandler);
        trapDisplay = nullptr;
    }
    int sync(Display *display)
    {
        XSync(display, False);
        return trappedError;
    }
};

struct HoldKeyNames
{
    const char *name;     // as the user chooses it
    const char *xkbName;  // the XKB key name: positional, independent of the layout
    unsigned long keysym; // used when the key map has no names
    unsigned long keysym2;
};

constexpr HoldKeyNames holdKeys[] = {
    {"Right Ctrl", "RCTL", XK_Control_R, NoSymbol}, {"Right Alt", "RALT", XK_Alt_R, XK_ISO_Level3_Shift},
    {"Right Shift", "RTSH", XK_Shift_R, NoSymbol},  {"Right Super", "RWIN", XK_Super_R, NoSymbol},
    {"Left Super", "LWIN", XK_Super_L, NoSymbol},   {"Menu", "COMP", XK_Menu, NoSymbol},
    {"Pause", "PAUS", XK_Pause, NoSymbol},          {"Scroll Lock", "SCLK", XK_Scroll_Lock, NoSymbol},
};

X11KeyTranslator::KeyKind classOf(KeySym keysym)
{
    using K = X11KeyTranslator::KeyKind;
    switch (keysym) {
    case XK_Shift_L:
    case XK_Shift_R:
        return K::shift;
    case XK_Control_L:
    case XK_Control_R:
        return K::control;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift:
    case XK_Mode_switch:
        return K::option;
    case XK_Super_L:
    case XK_Super_R:
    case XK_Hyper_L:
    case XK_Hyper_R:
        return K::command;
    case XK_Caps_Lock:
    case XK_Shift_Lock:
    case XK_Num_Lock:
    case XK_ISO_Level5_Shift:
        return K::lock;
    default:
        return K::ordinary;
    }
}

} // namespace

X11ShortcutBackend::X11ShortcutBackend(const ShortcutSettings &settings, const char *displayName)
    : m_settings(settings), m_session(std::make_unique<SessionMonitor>())
{
    m_display.reset(XOpenDisplay(displayName));
    if (!m_display)
        return;
    m_root = DefaultRootWindow(m_display.get());

    int event = 0, error = 0;
    if (XQueryExtension(m_display.get(), "XInputExtension", &m_xiOpcode, &event, &error)) {
        int major = 2, minor = 2;
        m_hasXInput2 = XIQueryVersion(m_display.get(), &major, &minor) == Success && major >= 2;
    }
    int major = 0, minor = 0;
    m_hasXTest = XTestQueryExtension(m_display.get(), &event, &error, &major, &minor);
    Bool detectable = False;
    // Held grabbed keys then repeat as presses without releases, which lets a repeat be ignored.
    XkbSetDetectableAutoRepeat(m_display.get(), True, &detectable);

    loadKeyKindes();
    m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(m_display.get()), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { processEvents(); });
}

X11ShortcutBackend::~X11ShortcutBackend()
{
    m_session->stop();
    if (!m_display)
        return;
    removeTap();
    for (const GlobalShortcut::HotKey key : {GlobalShortcut::HotKey::toggle, GlobalShortcut::HotKey::escape})
        unregisterHotKey(key);
    m_notifier.reset();
    m_display.reset();
}

void X11ShortcutBackend::DisplayClose::operator()(Display *display) const
{
    XCloseDisplay(display);
}

GlobalShortcut::Operations X11ShortcutBackend::operations(std::shared_ptr<X11ShortcutBackend> backend)
{
    X11ShortcutBackend *b = backend.get();
    GlobalShortcut::Operations ops;
    ops.createTap = [b](auto onEvent, auto onDisabled) {
        return b->createTap(std::move(onEvent), std::move(onDisabled));
    };
    ops.enableTap = [b](bool enabled) { b->enableTap(enabled); };
    ops.removeTap = [b] { b->removeTap(); };
    ops.modifierFlags = [b] { return b->modifierFlags(); };
    ops.isTrusted = [b] { return b->isTrusted(); };
    ops.isSecureInput = [] { return false; }; // X11 has no query; see the class comment
    ops.installHotKeyHandler = [b](auto handler) { return b->installHotKeyHandler(std::move(handler)); };
    ops.removeHotKeyHandler = [b] { b->removeHotKeyHandler(); };
    ops.registerHotKey = [b](GlobalShortcut::HotKey key) { return b->registerHotKey(key); };
    ops.unregisterHotKey = [b](GlobalShortcut::HotKey key) { b->unregisterHotKey(key); };
    ops.observeSession = [b](auto onSuspend, auto onResume) {
        b->observeSession(std::move(onSuspend), std::move(onResume));
    };
    ops.stopObservingSession = [b] { b->stopObservingSession(); };
    ops.waylandSession = isWaylandSession();
    ops.owner = std::move(backend);
    return ops;
}

bool X11ShortcutBackend::isWaylandSession()
{
    const QString type = qEnvironmentVariable("XDG_SESSION_TYPE");
    if (type == u"wayland")
        return true;
    return type != u"x11" && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool X11ShortcutBackend::isTrusted() const
{
    return m_display && m_hasXInput2 && m_hasXTest && !isWaylandSession();
}

unsigned X11ShortcutBackend::findHoldKeycode() const
{
    const QByteArray chosen = m_settings.holdKey().toUtf8();
    const HoldKeyNames *entry = nullptr;
    for (const HoldKeyNames &candidate : holdKeys) {
        if (chosen == candidate.name)
            entry = &candidate;
    }
    if (!entry)
        return 0;

    unsigned found = 0;
    if (XkbDescPtr xkb = XkbGetMap(m_display.get(), 0, XkbUseCoreKbd)) {
        if (XkbGetNames(m_display.get(), XkbKeyNamesMask, xkb) == Success && xkb->names && xkb->names->keys) {
            for (int code = xkb->min_key_code; code <= xkb->max_key_code && !found; ++code) {
                if (std::strncmp(xkb->names->keys[code].name, entry->xkbName, XkbKeyNameLength) == 0)
                    found = static_cast<unsigned>(code);
            }
        }
        XkbFreeKeyboard(xkb, 0, True);
    }
    for (unsigned long keysym : {entry->keysym, entry->keysym2}) {
        if (!found && keysym != NoSymbol)
            found = XKeysymToKeycode(m_display.get(), keysym);
    }
    return found;
}

void X11ShortcutBackend::loadKeyKindes()
{
    m_translator.clearKeyKindes();
    int minCode = 8, maxCode = 255;
    XDisplayKeycodes(m_display.get(), &minCode, &maxCode);
    for (int code = minCode; code <= maxCode; ++code) {
        const KeySym keysym = XkbKeycodeToKeysym(m_display.get(), static_cast<KeyCode>(code), 0, 0);
        m_translator.setKeyKind(static_cast<std::uint8_t>(code), classOf(keysym));
    }
    m_holdKeycode = findHoldKeycode();
    if (m_holdKeycode)
        m_translator.setKeyKind(static_cast<std::uint8_t>(m_holdKeycode), X11KeyTranslator::KeyKind::hold);
}

bool X11ShortcutBackend::createTap(std::function<bool(const GlobalShortcut::TapEvent &)> onEvent,
                                   std::function<void(GlobalShortcut::TapDisabled)>)
{
    // X11 never switches raw events off behind our back, so there is no disabled notice to report.
    if (!m_display || !m_hasXInput2)
        return false;
    loadKeyKindes();
    if (!m_holdKeycode)
        return false;
    char keys[32];
    XQueryKeymap(m_display.get(), keys);
    m_translator.setPressedKeys(keys);
    m_onTapEvent = std::move(onEvent);
    m_tapCreated = true;
    scheduleDrain();
    return true;
}

void X11ShortcutBackend::enableTap(bool enabled)
{
    if (!m_display || !m_hasXInput2 || (enabled && !m_tapCreated) || enabled == m_tapEnabled)
        return;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    if (enabled) {
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
    }
    XIEventMask mask{XIAllMasterDevices, sizeof(bits), bits};
    XISelectEvents(m_display.get(), m_root, &mask, 1);
    // Synchronous, like every change of what we receive: the server may serve other clients' requests
    // before a merely flushed one, and a key pressed just after enabling must already be seen.
    XSync(m_display.get(), False);
    m_tapEnabled = enabled;
    scheduleDrain();
}

void X11ShortcutBackend::removeTap()
{
    enableTap(false);
    m_onTapEvent = nullptr;
    m_tapCreated = false;
    m_translator.releaseAll();
}

std::uint64_t X11ShortcutBackend::modifierFlags()
{
    if (!m_display)
        return 0;
    char keys[32];
    XQueryKeymap(m_display.get(), keys);
    scheduleDrain();
    return m_translator.flagsOf(keys);
}

std::int32_t X11ShortcutBackend::installHotKeyHandler(std::function<bool(GlobalShortcut::HotKey)> handler)
{
    if (!m_display || isWaylandSession())
        return noDisplayStatus;
    m_hotKeyHandler = std::move(handler);
    return 0;
}

void X11ShortcutBackend::removeHotKeyHandler()
{
    m_hotKeyHandler = nullptr;
}

unsigned X11ShortcutBackend::modifierMaskOf(unsigned long keysym, unsigned fallback) const
{
    const KeyCode code = XKeysymToKeycode(m_display.get(), keysym);
    XModifierKeymap *map = XGetModifierMapping(m_display.get());
    unsigned mask = 0;
    if (map && code) {
        for (int mod = 0; mod < 8 && !mask; ++mod) {
            for (int k = 0; k < map->max_keypermod; ++k) {
                if (map->modifiermap[mod * map->max_keypermod + k] == code)
                    mask = 1u << mod;
            }
        }
    }
    if (map)
        XFreeModifiermap(map);
    return mask ? mask : fallback;
}

std::vector<unsigned> X11ShortcutBackend::lockVariants() const
{
    const unsigned numLock = modifierMaskOf(XK_Num_Lock, Mod2Mask);
    return {0u, LockMask, numLock, LockMask | numLock};
}

std::int32_t X11ShortcutBackend::resolveHotKey(GlobalShortcut::HotKey key, unsigned &keycode, unsigned &modifiers) const
{
    KeySym keysym = XK_Escape;
    modifiers = 0;
    if (key == GlobalShortcut::HotKey::toggle) {
        const auto toggle = shortcutkeys::parseToggle(m_settings.toggle());
        if (!toggle)
            return BadValue;
        const ToggleShortcut &t = toggle.value();
        keysym = XStringToKeysym(t.key.toLower().toLatin1().constData());
        if (keysym == NoSymbol)
            keysym = XStringToKeysym(t.key.toLatin1().constData());
        modifiers = (t.control ? ControlMask : 0) | (t.shift ? ShiftMask : 0) |
                    (t.alt ? modifierMaskOf(XK_Alt_L, Mod1Mask) : 0) |
                    (t.super ? modifierMaskOf(XK_Super_L, Mod4Mask) : 0);
    }
    keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(m_display.get(), keysym);
    return keycode ? 0 : BadValue;
}

std::int32_t X11ShortcutBackend::grab(GlobalShortcut::HotKey key)
{
    Grab grab{key, 0, 0, {}, false};
    if (const std::int32_t status = resolveHotKey(key, grab.keycode, grab.modifiers))
        return status;
    for (unsigned variant : lockVariants())
        grab.masks.push_back(grab.modifiers | variant);
    int error = 0;
    {
        ErrorTrap trap(m_display.get());
        for (unsigned mask : grab.masks)
            XGrabKey(m_display.get(), grab.keycode, mask, m_root, False, GrabModeAsync, GrabModeAsync);
        error = trap.sync(m_display.get());
        if (error) {
            // Another client holds at least one variant; release the ones we got (ungrabbing another
            // client's grab does nothing).
            for (unsigned mask : grab.masks)
                XUngrabKey(m_display.get(), grab.keycode, mask, m_root);
            trap.sync(m_display.get());
        }
    }
    if (error)
        return error;
    m_grabs.push_back(std::move(grab));
    return 0;
}

void X11ShortcutBackend::ungrab(const Grab &grab)
{
    // The masks grabbed then, not the lock variants of now: Num Lock may have moved since.
    for (unsigned mask : grab.masks)
        XUngrabKey(m_display.get(), grab.keycode, mask, m_root);
}

std::int32_t X11ShortcutBackend::registerHotKey(GlobalShortcut::HotKey key)
{
    if (!m_display)
        return noDisplayStatus;
    unregisterHotKey(key);
    const std::int32_t status = grab(key);
    scheduleDrain();
    return status;
}

void X11ShortcutBackend::unregisterHotKey(GlobalShortcut::HotKey key)
{
    if (!m_display)
        return;
    std::erase_if(m_grabs, [&](const Grab &grab) {
        if (grab.key != key)
            return false;
        ungrab(grab);
        return true;
    });
    XSync(m_display.get(), False);
    scheduleDrain();
}

void X11ShortcutBackend::regrabAll()
{
    std::vector<GlobalShortcut::HotKey> keys;
    for (const Grab &grab : m_grabs) {
        ungrab(grab);
        keys.push_back(grab.key);
    }
    m_grabs.clear();
    XSync(m_display.get(), False);
    // A key another client has taken meanwhile stays without a grab, as at a failed registration.
    for (const GlobalShortcut::HotKey key : keys)
        (void)grab(key);
}

void X11ShortcutBackend::observeSession(std::function<void()> onSuspend, std::function<void()> onResume)
{
    m_session->start(std::move(onSuspend), std::move(onResume));
}

void X11ShortcutBackend::stopObservingSession()
{
    m_session->stop();
}

void X11ShortcutBackend::handleHotKeyEvent(unsigned keycode, unsigned state, bool press)
{
    const unsigned numLock = modifierMaskOf(XK_Num_Lock, Mod2Mask);
    const unsigned modifiers = state & 0xFF & ~(LockMask | numLock);
    for (Grab &grab : m_grabs) {
        if (grab.keycode != keycode)
            continue;
        if (!press) {
            grab.pressed = false;
            continue;
        }
        if (grab.modifiers != modifiers || grab.pressed)
            continue; // another combination of the key, or a repeat of a held one
        grab.pressed = true;
        if (auto handler = m_hotKeyHandler) // a copy: the handler may unregister itself
            handler(grab.key);
        return;
    }
}

void X11ShortcutBackend::scheduleDrain()
{
    // A round trip can leave events in Xlib's queue with nothing left on the socket to wake the notifier.
    if (m_drainQueued || !m_display || XQLength(m_display.get()) == 0)
        return;
    m_drainQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_drainQueued = false;
            processEvents();
        },
        Qt::QueuedConnection);
}

void X11ShortcutBackend::processEvents()
{
    while (m_display && XPending(m_display.get())) {
        XEvent event;
        XNextEvent(m_display.get(), &event);
        if (event.type == GenericEvent && event.xcookie.extension == m_xiOpcode) {
            if (!XGetEventData(m_display.get(), &event.xcookie))
                continue;
            const int type = event.xcookie.evtype;
            if ((type == XI_RawKeyPress || type == XI_RawKeyRelease) && m_onTapEvent) {
                const auto *raw = static_cast<const XIRawEvent *>(event.xcookie.data);
                const auto tapEvent =
                    m_translator.translate(static_cast<std::uint8_t>(raw->detail), type == XI_RawKeyPress);
                if (tapEvent) {
                    auto onEvent = m_onTapEvent;
                    onEvent(*tapEvent); // the answer to swallow is not acted on: raw events cannot be removed
                }
            }
            XFreeEventData(m_display.get(), &event.xcookie);
        } else if (event.type == KeyPress || event.type == KeyRelease) {
            handleHotKeyEvent(event.xkey.keycode, event.xkey.state, event.type == KeyPress);
        } else if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            if (event.xmapping.request == MappingKeyboard || event.xmapping.request == MappingModifier) {
                loadKeyKindes();
                regrabAll(); // the hot keys' keys or the lock bits may have moved
            }
        }
    }
}

} // namespace orv
