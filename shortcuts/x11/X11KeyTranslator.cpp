#include "shortcuts/x11/X11KeyTranslator.h"

namespace orv {

std::uint64_t X11KeyTranslator::flagOf(KeyKind keyKind)
{
    switch (keyKind) {
    case KeyKind::shift:
        return FnHoldState::shiftFlag;
    case KeyKind::control:
        return FnHoldState::controlFlag;
    case KeyKind::option:
        return FnHoldState::optionFlag;
    case KeyKind::command:
        return FnHoldState::commandFlag;
    case KeyKind::hold:
        return FnHoldState::fnFlag;
    case KeyKind::ordinary:
    case KeyKind::lock:
        break;
    }
    return 0;
}

void X11KeyTranslator::releaseAll()
{
    m_down.reset();
    m_downPerClass.fill(0);
    m_flags = 0;
}

void X11KeyTranslator::setPressedKeys(const char keymap[32])
{
    releaseAll();
    for (int code = 0; code < 256; ++code) {
        if (keymap[code / 8] & (1 << (code % 8)))
            translate(static_cast<std::uint8_t>(code), true);
    }
}

std::uint64_t X11KeyTranslator::flagsOf(const char keymap[32]) const
{
    std::uint64_t result = 0;
    for (int code = 0; code < 256; ++code) {
        if (keymap[code / 8] & (1 << (code % 8)))
            result |= flagOf(m_classes[code]);
    }
    return result;
}

std::uint64_t X11KeyTranslator::flags() const
{
    return m_flags;
}

std::optional<GlobalShortcut::TapEvent> X11KeyTranslator::translate(std::uint8_t keycode, bool press)
{
    const KeyKind keyKind = m_classes[keycode];
    const auto index = static_cast<std::size_t>(keyKind);
    const bool wasDown = m_down.test(keycode);
    if (!press && !wasDown)
        return std::nullopt; // a release seen twice (XI2 raw events do that) or of a key never seen going down
    if (press != wasDown) {
        m_down.set(keycode, press);
        m_downPerClass[index] += press ? 1 : -1;
        const std::uint64_t bit = flagOf(keyKind);
        if (bit)
            m_flags = m_downPerClass[index] ? (m_flags | bit) : (m_flags & ~bit);
    }

    switch (keyKind) {
    case KeyKind::hold:
        return GlobalShortcut::TapEvent{FnHoldState::flagsChangedType, FnHoldState::fnKeyCode, m_flags};
    case KeyKind::ordinary:
        if (!press)
            return std::nullopt; // the tap sees key-down, never key-up
        return GlobalShortcut::TapEvent{FnHoldState::keyDownType, keyCodeOffset + keycode, m_flags};
    default:
        return GlobalShortcut::TapEvent{FnHoldState::flagsChangedType, keyCodeOffset + keycode, m_flags};
    }
}

} // namespace orv
