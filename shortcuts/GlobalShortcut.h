#pragma once

#include "base/Expected.h"
#include "base/Scheduler.h"
#include "shortcuts/FnHoldState.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace orv {

class ShortcutSettings;

// Three system-wide controls: hold the hold key to dictate (release to finish), the toggle shortcut
// to start and finish, Escape to cancel while a dictation runs. It keeps the key watch ("tap") healthy,
// pauses it while the session sleeps or is locked, and reports everything through six callbacks. All
// platform access goes through Operations, all timing through the Scheduler.
class GlobalShortcut
{
public:
    enum class HotKey
    {
        toggle = 1,
        escape = 2
    };

    // One key event in the tap's encoding (see FnHoldState).
    struct TapEvent
    {
        std::uint32_t type = 0;
        std::int64_t keyCode = 0;
        std::uint64_t flags = 0;
    };
    enum class TapDisabled
    {
        byTimeout,
        byUserInput
    };

    struct RegistrationError
    {
        enum class Kind
        {
            failed,             // the platform refused the toggle (another client holds it); status is its code
            unsupportedSession, // no global keys in this kind of session (Wayland)
        };
        // The statuses description() tells apart; the X11 backend's are X11's own error codes.
        static constexpr std::int32_t statusTaken = 10;     // another client holds the combination
        static constexpr std::int32_t statusNoSuchKey = 2;  // the keyboard layout has no key for it
        static constexpr std::int32_t statusNoDisplay = -1; // nowhere to register

        Kind kind = Kind::failed;
        std::int32_t status = 0;
        QString toggleName; // the toggle shortcut's name as the user chose it

        QString description() const;
        bool operator==(const RegistrationError &) const = default;
    };

    // The platform side. Every member must be set.
    struct Operations
    {
        // Creates the tap and its event source on the main loop, not yet enabled. onEvent gets every
        // key-down and flags-changed event and answers whether to remove it; onDisabled reports the
        // platform switching the tap off. False when the tap or its source cannot be created.
        std::function<bool(std::function<bool(const TapEvent &)> onEvent, std::function<void(TapDisabled)> onDisabled)>
            createTap;
        std::function<void(bool enabled)> enableTap;
        std::function<void()> removeTap;
        // The hardware modifier state in the tap's flag encoding (the hold key is the Fn bit).
        std::function<std::uint64_t()> modifierFlags;
        std::function<bool()> isTrusted;
        std::function<bool()> isSecureInput;
        // The handler receiving hot-key presses; it answers whether the press was handled. 0 or a status.
        std::function<std::int32_t(std::function<bool(HotKey)> handler)> installHotKeyHandler;
        std::function<void()> removeHotKeyHandler;
        std::function<std::int32_t(HotKey)> registerHotKey; // 0 or the platform's status
        std::function<void(HotKey)> unregisterHotKey;
        // Sleep, lock and inactive-session notices.
        std::function<void(std::function<void()> onSuspend, std::function<void()> onResume)> observeSession;
        std::function<void()> stopObservingSession;
        // A session without global keys for this backend: its own status and registration error.
        bool waylandSession = false;
        // Keeps the objects the members refer to alive as long as the table.
        std::shared_ptr<void> owner;
    };

    struct Callbacks
    {
        std::function<void()> onToggle;
        std::function<void()> onCancel;
        std::function<void()> onFnBegin;
        std::function<void()> onFnFinish;
        std::function<void()> onFnCancel;
        std::function<void(const QString &)> onFnStatus;
    };

    static constexpr Duration watchdogPeriod = std::chrono::milliseconds(200);
    static constexpr Duration tapRetryDelay = std::chrono::seconds(2);

    GlobalShortcut(Scheduler &scheduler, Operations operations, const ShortcutSettings &settings, Callbacks callbacks);
    ~GlobalShortcut();
    GlobalShortcut(const GlobalShortcut &) = delete;
    GlobalShortcut &operator=(const GlobalShortcut &) = delete;

    // Tears down, installs the hot-key handler and the toggle, and starts hold-key monitoring, which
    // runs even when the toggle fails.
    Expected<void, RegistrationError> start();
    void stop();
    void setCancelEnabled(bool enabled);
    // Re-evaluates trust and secure input and installs the tap when possible.
    void refreshFn();
    void suspendFn();
    void resumeFn();
    // The watchdog's tick.
    void checkFn();

    QString fnStatus() const { return m_fnStatus; }
    bool cancelEnabled() const { return m_cancelEnabled; }
    bool tapInstalled() const { return m_tapInstalled; }
    bool sessionActive() const { return m_sessionActive; }
    std::int64_t generation() const { return m_generation; }
    const FnHoldState &fnState() const { return m_fnState; }

    // The status sentences, with the chosen key names in place of the platform words.
    struct StatusTexts
    {
        QString ready, needsTrust, secureInput, unavailable, interrupted, paused, wayland;
    };
    static StatusTexts statusTexts(const QString &holdKeyName);

private:
    void setFnStatus(const QString &text);
    void startFnMonitoring();
    void removeFnTap();
    void resetFromHardware();
    void deliver(std::optional<FnHoldState::Action> action);
    bool handleTapEvent(const TapEvent &event);
    void handleTapDisabled(TapDisabled why);
    bool handleHotKey(HotKey key);
    StatusTexts texts() const;

    Scheduler &m_scheduler;
    Operations m_ops;
    const ShortcutSettings &m_settings;
    Callbacks m_callbacks;

    bool m_hotKeyRegistered = false;
    bool m_escapeRegistered = false;
    bool m_handlerInstalled = false;
    bool m_tapInstalled = false;
    bool m_observingSession = false;
    FnHoldState m_fnState;
    std::unique_ptr<RepeatingTimer> m_watchdog;
    bool m_sessionActive = true;
    std::int64_t m_generation = 0;
    TimePoint m_nextTapAttempt = TimePoint::min();
    QString m_fnStatus;
    bool m_cancelEnabled = false;
    // Queued hand-offs hold this weakly and drop themselves once the service is gone.
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0);
};

} // namespace orv
