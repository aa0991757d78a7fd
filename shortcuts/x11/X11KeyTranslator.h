#pragma once

#include "shortcuts/GlobalShortcut.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>

namespace orv {

// Turns X key presses and releases (key codes 8-255) into the tap events FnHoldState reads. The hold
// key becomes key code 63 and its down state the Fn bit; modifier keys become flags-changed events with
// Shift/Control/Option/Command bits (Alt and AltGr are Option, Super and Hyper are Command); other keys
// become key-down events on press, and nothing on release. Other keys' codes are shifted past 255 so that
// no X key code can pass for the hold key. Free of Xlib calls: the backend fills in the key classes.
class X11KeyTranslator
{
public:
    enum class KeyKind : std::uint8_t
    {
        ordinary,
        shift,
        control,
        option,
        command,
        lock,
        hold
    };

    static constexpr std::int64_t keyCodeOffset = 0x100;

    void setKeyKind(std::uint8_t keycode, KeyKind keyKind) { m_classes[keycode] = keyKind; }
    KeyKind keyKind(std::uint8_t keycode) const { return m_classes[keycode]; }
    void clearKeyKindes() { m_classes.fill(KeyKind::ordinary); }

    // Seeds which keys are down (for example from XQueryKeymap's 32-byte vector).
    void setPressedKeys(const char keymap[32]);
    void releaseAll();

    std::optional<GlobalShortcut::TapEvent> translate(std::uint8_t keycode, bool press);
    // The flags of the keys down now, in the tap's encoding.
    std::uint64_t flags() const;
    // The flags a key map (XQueryKeymap's vector) shows, without changing what this translator tracks.
    std::uint64_t flagsOf(const char keymap[32]) const;

private:
    static std::uint64_t flagOf(KeyKind keyKind);

    std::array<KeyKind, 256> m_classes{};
    std::bitset<256> m_down;
    std::uint64_t m_flags = 0;
    std::array<std::uint16_t, 7> m_downPerClass{};
};

} // namespace orv
