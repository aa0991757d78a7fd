#include "tests/support/FakeShortcutPlatform.h"

using namespace Qt::StringLiterals;

namespace orv::test {

GlobalShortcut::Operations FakeShortcutPlatform::operations()
{
    static const auto keyName = [](GlobalShortcut::HotKey key) {
        return key == GlobalShortcut::HotKey::toggle ? u"toggle"_s : u"escape"_s;
    };
    GlobalShortcut::Operations ops;
    ops.createTap = [this](auto onEvent, auto onDisabled) {
        calls << u"createTap"_s;
        if (!tapCreation)
            return false;
        tapExists = true;
        m_onEvent = std::move(onEvent);
        m_onDisabled = std::move(onDisabled);
        return true;
    };
    ops.enableTap = [this](bool enabled) {
        calls << (enabled ? u"enableTap"_s : u"disableTap"_s);
        tapEnabled = enabled;
    };
    ops.removeTap = [this] {
        calls << u"removeTap"_s;
        tapExists = tapEnabled = false;
        m_onEvent = nullptr;
        m_onDisabled = nullptr;
    };
    ops.modifierFlags = [this] { return hardwareFlags; };
    ops.isTrusted = [this] { return trusted; };
    ops.isSecureInput = [this] { return secureInput; };
    ops.installHotKeyHandler = [this](auto handler) {
        calls << u"installHandler"_s;
        if (handlerStatus != 0)
            return handlerStatus;
        handlerInstalled = true;
        m_handler = std::move(handler);
        return std::int32_t(0);
    };
    ops.removeHotKeyHandler = [this] {
        calls << u"removeHandler"_s;
        handlerInstalled = false;
        m_handler = nullptr;
    };
    ops.registerHotKey = [this](GlobalShortcut::HotKey key) {
        calls << u"register "_s + keyName(key);
        std::int32_t status = hotKeyStatus.count(key) ? hotKeyStatus[key] : 0;
        const bool toggle = key == GlobalShortcut::HotKey::toggle;
        if (toggle && keys && heldByOthers.contains(keys->toggle()))
            status = 10; // what X11 answers for another client's grab
        if (status == 0) {
            ++registered[key];
            if (toggle && keys)
                registeredToggle = keys->toggle();
        }
        return status;
    };
    ops.unregisterHotKey = [this](GlobalShortcut::HotKey key) {
        calls << u"unregister "_s + keyName(key);
        --registered[key];
    };
    ops.observeSession = [this](auto onSuspend, auto onResume) {
        ++sessionObservers;
        m_onSuspend = std::move(onSuspend);
        m_onResume = std::move(onResume);
    };
    ops.stopObservingSession = [this] {
        --sessionObservers;
        m_onSuspend = nullptr;
        m_onResume = nullptr;
    };
    ops.waylandSession = wayland;
    return ops;
}

std::optional<bool> FakeShortcutPlatform::sendEvent(std::uint32_t type, std::int64_t keyCode, std::uint64_t flags)
{
    if (!m_onEvent || !tapEnabled)
        return std::nullopt;
    return m_onEvent({type, keyCode, flags});
}

std::optional<bool> FakeShortcutPlatform::fnKey(std::uint64_t flags)
{
    hardwareFlags = flags;
    return sendEvent(FnHoldState::flagsChangedType, FnHoldState::fnKeyCode, hardwareFlags);
}

void FakeShortcutPlatform::disableTap(GlobalShortcut::TapDisabled why)
{
    tapEnabled = false;
    callIfSet(m_onDisabled, why);
}

std::optional<bool> FakeShortcutPlatform::pressHotKey(GlobalShortcut::HotKey key)
{
    if (!m_handler || registered[key] <= 0)
        return std::nullopt;
    return m_handler(key);
}

} // namespace orv::test
