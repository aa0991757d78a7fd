#pragma once

#include "shortcuts/FnHoldState.h"
#include "shortcuts/GlobalShortcut.h"
#include "shortcuts/ShortcutSettings.h"
#include "tests/support/ScriptedAnswers.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

namespace orv::test {

// Fixed key choices for tests.
class FixedShortcutSettings final : public ShortcutSettings
{
public:
    QString hold = QStringLiteral("Right Ctrl");
    QString toggleName = QStringLiteral("Ctrl+Alt+Space");

    QString holdKey() const override { return hold; }
    QString toggle() const override { return toggleName; }
};

// Callbacks that log each key event by name ("toggle", "cancel", "fn begin", "fn finish", "fn cancel") and
// hand each status sentence to onStatus.
inline GlobalShortcut::Callbacks loggingCallbacks(QStringList &log, std::function<void(const QString &)> onStatus)
{
    return {[&log] { log << QStringLiteral("toggle"); },    [&log] { log << QStringLiteral("cancel"); },
            [&log] { log << QStringLiteral("fn begin"); },  [&log] { log << QStringLiteral("fn finish"); },
            [&log] { log << QStringLiteral("fn cancel"); }, std::move(onStatus)};
}

// Scripts the platform side of GlobalShortcut (tap, key state, trust, secure input, hot keys, session
// notices) and records what the service did with it.
class FakeShortcutPlatform
{
public:
    // What the platform answers.
    bool tapCreation = true;
    bool trusted = true;
    bool secureInput = false;
    bool wayland = false;
    std::uint64_t hardwareFlags = 0;
    std::int32_t handlerStatus = 0;
    std::map<GlobalShortcut::HotKey, std::int32_t> hotKeyStatus;
    // Toggle combinations another program holds, refused when `keys` names one of them.
    QStringList heldByOthers;
    const ShortcutSettings *keys = nullptr;

    // What the service did.
    QStringList calls;
    bool tapExists = false;
    bool tapEnabled = false;
    bool handlerInstalled = false;
    std::map<GlobalShortcut::HotKey, int> registered; // registrations alive per key
    QString registeredToggle;                         // the combination of the last toggle registered
    int sessionObservers = 0;

    GlobalShortcut::Operations operations();

    // The platform's side: key events into the live tap (nullopt when no tap receives them), the tap
    // being switched off, hot keys pressed (nullopt when none is registered), session notices.
    std::optional<bool> sendEvent(std::uint32_t type, std::int64_t keyCode, std::uint64_t flags);
    std::optional<bool> holdKeyDown(std::uint64_t otherFlags = 0) { return fnKey(FnHoldState::fnFlag | otherFlags); }
    std::optional<bool> holdKeyUp(std::uint64_t otherFlags = 0) { return fnKey(otherFlags); }
    std::optional<bool> letterDown() { return sendEvent(FnHoldState::keyDownType, 0x100 + 38, hardwareFlags); }
    void disableTap(GlobalShortcut::TapDisabled why);
    std::optional<bool> pressHotKey(GlobalShortcut::HotKey key);
    void suspend() { callIfSet(m_onSuspend); }
    void resume() { callIfSet(m_onResume); }

    int count(const QString &call) const { return static_cast<int>(calls.count(call)); }

private:
    std::optional<bool> fnKey(std::uint64_t flags);

    std::function<bool(const GlobalShortcut::TapEvent &)> m_onEvent;
    std::function<void(GlobalShortcut::TapDisabled)> m_onDisabled;
    std::function<bool(GlobalShortcut::HotKey)> m_handler;
    std::function<void()> m_onSuspend;
    std::function<void()> m_onResume;
};

} // namespace orv::test
