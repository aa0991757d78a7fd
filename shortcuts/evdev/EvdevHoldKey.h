#pragma once

#include "shortcuts/GlobalShortcut.h"
#include "shortcuts/x11/X11KeyTranslator.h"

#include <QObject>

#include <linux/input.h>

#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace orv {

class ShortcutSettings;

// One keyboard's key events: a device under /dev/input, or a recorded stream in tests.
class EvdevKeyboard
{
public:
    virtual ~EvdevKeyboard() = default;
    virtual int fd() const = 0;
    // Appends the key events read now (EV_KEY only, in order); false once the device is gone.
    virtual bool read(std::vector<input_event> &events) = 0;
    // The key codes held down now.
    virtual std::vector<unsigned> keysDown() const = 0;
};

// The hold key read from the kernel's input devices, on any compositor, for users who allowed it (the
// `input` group lets every program of the user read every key pressed, passwords included, which is why
// it is only ever opt-in). Keys are positional there, below any layout: the hold key is its evdev code,
// and each event is translated as X11 does (X key codes are evdev codes plus 8), so FnHoldState sees the
// same stream. Events cannot be removed, as on X11; there is no toggle or Escape here.
class EvdevHoldKey : public QObject
{
    Q_OBJECT

public:
    using Open = std::function<std::vector<std::unique_ptr<EvdevKeyboard>>()>;
    static constexpr std::int32_t statusNotOffered = 4;

    // `open` finds the keyboards each time the tap is created; liveKeyboards() reads /dev/input.
    EvdevHoldKey(const ShortcutSettings &settings, Open open);
    ~EvdevHoldKey() override;

    // The hold-key members of a table bound to `backend` (tap and key state; no hot keys).
    static void fill(GlobalShortcut::Operations &operations, std::shared_ptr<EvdevHoldKey> backend);

    // Whether this user may read the input devices: member of the group `input` that owns them.
    static bool userInInputGroup();
    // Every readable keyboard under /dev/input, through libevdev.
    static std::vector<std::unique_ptr<EvdevKeyboard>> liveKeyboards();
    // The evdev code of a hold key name ("Right Ctrl" → KEY_RIGHTCTRL); 0 when unknown.
    static unsigned holdKeyCode(const QString &name);

    bool createTap(std::function<bool(const GlobalShortcut::TapEvent &)> onEvent,
                   std::function<void(GlobalShortcut::TapDisabled)> onDisabled);
    void enableTap(bool enabled) { m_enabled = enabled; }
    void removeTap();
    std::uint64_t modifierFlags() const;

private:
    void readFrom(std::size_t index);

    const ShortcutSettings &m_settings;
    Open m_open;
    X11KeyTranslator m_translator;
    std::vector<std::unique_ptr<EvdevKeyboard>> m_keyboards;
    std::vector<QSocketNotifier *> m_notifiers; // children; let go later, as one may be reporting now
    std::function<bool(const GlobalShortcut::TapEvent &)> m_onEvent;
    std::function<void(GlobalShortcut::TapDisabled)> m_onDisabled;
    bool m_enabled = false;
};

} // namespace orv
