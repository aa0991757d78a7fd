#include "shortcuts/GlobalShortcut.h"

#include "base/PlatformText.h"
#include "shortcuts/ShortcutSettings.h"

namespace orv {

QString GlobalShortcut::RegistrationError::description() const
{
    if (kind == Kind::unsupportedSession)
        return QStringLiteral("%1 cannot be taken on this Wayland desktop: bind the command “orvanta toggle” to a key "
                              "in the desktop's keyboard settings (Settings → Keys shows how).")
            .arg(toggleName);
    switch (status) {
    case statusTaken:
        return QStringLiteral("%1 is already used by another program. Choose another shortcut, or free it in that "
                              "program.")
            .arg(toggleName);
    case statusNoSuchKey:
        return QStringLiteral("%1 has no key on this keyboard layout. Choose another shortcut.").arg(toggleName);
    case statusNoDisplay:
        return QStringLiteral("%1 cannot be used: Orvanta could not reach the display's keyboard.").arg(toggleName);
    default:
        return QStringLiteral("%1 could not be set up as a shortcut. Choose another one.").arg(toggleName);
    }
}

GlobalShortcut::StatusTexts GlobalShortcut::statusTexts(const QString &key)
{
    return {
        QStringLiteral("Hold %1 to speak; release to finish.").arg(key),
        QStringLiteral("Enable Accessibility to use %1 in other apps.").arg(key),
        QStringLiteral("%1 is paused while secure keyboard input is active.").arg(key),
        QStringLiteral("%1 is unavailable. Check Accessibility access, then reopen Orvanta.").arg(key),
        QStringLiteral("%1 was interrupted. Release the key before trying again.").arg(key),
        QStringLiteral("%1 is paused while %2 is asleep or locked.").arg(key, platform::thisComputer()),
        QStringLiteral("%1 cannot be read on this Wayland desktop: start and finish with the command “orvanta "
                       "toggle” bound to a key (Settings → Keys).")
            .arg(key),
    };
}

GlobalShortcut::GlobalShortcut(Scheduler &scheduler,
                               Operations operations,
                               const ShortcutSettings &settings,
                               Callbacks callbacks)
    : m_scheduler(scheduler), m_ops(std::move(operations)), m_settings(settings), m_callbacks(std::move(callbacks))
{}

GlobalShortcut::~GlobalShortcut()
{
    stop();
}

GlobalShortcut::StatusTexts GlobalShortcut::texts() const
{
    return statusTexts(m_settings.holdKey());
}

void GlobalShortcut::setFnStatus(const QString &text)
{
    if (text == m_fnStatus)
        return;
    m_fnStatus = text;
    if (m_callbacks.onFnStatus)
        m_callbacks.onFnStatus(text);
}

Expected<void, GlobalShortcut::RegistrationError> GlobalShortcut::start()
{
    stop();
    // The hold key listens before the toggle is taken: whoever sees the toggle's grab may press the hold
    // key at once, and a press made before the listening began would be taken for a key already down.
    startFnMonitoring();
    std::int32_t status = m_ops.installHotKeyHandler([this](HotKey key) { return handleHotKey(key); });
    m_handlerInstalled = status == 0;
    if (m_handlerInstalled) {
        status = m_ops.registerHotKey(HotKey::toggle);
        m_hotKeyRegistered = status == 0;
    }
    if (status != 0) {
        const auto kind =
            m_ops.waylandSession ? RegistrationError::Kind::unsupportedSession : RegistrationError::Kind::failed;
        return unexpected(RegistrationError{kind, status, m_settings.toggle()});
    }
    return {};
}

void GlobalShortcut::startFnMonitoring()
{
    m_ops.observeSession([this] { suspendFn(); }, [this] { resumeFn(); });
    m_observingSession = true;
    m_watchdog = std::make_unique<RepeatingTimer>(m_scheduler, watchdogPeriod, [this] { checkFn(); });
    refreshFn();
}

void GlobalShortcut::stop()
{
    m_watchdog.reset();
    if (m_observingSession) {
        m_ops.stopObservingSession();
        m_observingSession = false;
    }
    removeFnTap();
    if (m_escapeRegistered)
        m_ops.unregisterHotKey(HotKey::escape);
    m_escapeRegistered = false;
    m_cancelEnabled = false;
    if (m_hotKeyRegistered)
        m_ops.unregisterHotKey(HotKey::toggle);
    if (m_handlerInstalled)
        m_ops.removeHotKeyHandler();
    m_hotKeyRegistered = false;
    m_handlerInstalled = false;
}

void GlobalShortcut::setCancelEnabled(bool enabled)
{
    if (enabled) {
        if (m_escapeRegistered || !m_handlerInstalled)
            return;
        const std::int32_t status = m_ops.registerHotKey(HotKey::escape);
        m_escapeRegistered = status == 0;
        m_cancelEnabled = status == 0;
        return;
    }
    if (m_escapeRegistered)
        m_ops.unregisterHotKey(HotKey::escape);
    m_escapeRegistered = false;
    m_cancelEnabled = false;
}

void GlobalShortcut::refreshFn()
{
    if (!m_sessionActive)
        return;
    if (!m_ops.isTrusted()) {
        if (m_tapInstalled)
            removeFnTap();
        setFnStatus(m_ops.waylandSession ? texts().wayland : texts().needsTrust);
        return;
    }
    if (m_ops.isSecureInput()) {
        if (m_tapInstalled)
            removeFnTap();
        setFnStatus(texts().secureInput);
        return;
    }
    if (m_tapInstalled)
        return;
    const bool created = m_ops.createTap([this](const TapEvent &event) { return handleTapEvent(event); },
                                         [this](TapDisabled why) { handleTapDisabled(why); });
    if (created) {
        resetFromHardware();
        m_tapInstalled = true;
        m_ops.enableTap(true);
        setFnStatus(texts().ready);
        return;
    }
    m_nextTapAttempt = m_scheduler.now() + tapRetryDelay;
    setFnStatus(texts().unavailable);
}

void GlobalShortcut::resetFromHardware()
{
    m_fnState = FnHoldState::fromHardware(m_ops.modifierFlags());
}

void GlobalShortcut::removeFnTap()
{
    ++m_generation;
    resetFromHardware();
    deliver(FnHoldState::Action::cancel);
    if (m_tapInstalled) {
        m_ops.enableTap(false);
        m_ops.removeTap();
    }
    m_tapInstalled = false;
}

void GlobalShortcut::deliver(std::optional<FnHoldState::Action> action)
{
    if (!action)
        return;
    // Never inside the tap callback: one step later on the main loop, and only for the generation
    // that queued it, so nothing queued before a reset arrives after it.
    std::weak_ptr<int> alive = m_lifetime;
    m_scheduler.post([this, alive, generation = m_generation, action = *action] {
        if (alive.expired() || generation != m_generation)
            return;
        switch (action) {
        case FnHoldState::Action::begin:
            if (m_sessionActive && m_tapInstalled && m_ops.isTrusted() && !m_ops.isSecureInput() &&
                m_callbacks.onFnBegin)
                m_callbacks.onFnBegin();
            break;
        case FnHoldState::Action::finish:
            if (m_callbacks.onFnFinish)
                m_callbacks.onFnFinish();
            break;
        case FnHoldState::Action::cancel:
            if (m_callbacks.onFnCancel)
                m_callbacks.onFnCancel();
            break;
        }
    });
}

bool GlobalShortcut::handleTapEvent(const TapEvent &event)
{
    if (!m_sessionActive || m_ops.isSecureInput())
        return false;
    const FnHoldState::Result result = m_fnState.handle(event.type, event.keyCode, event.flags);
    deliver(result.action);
    return result.swallow;
}

void GlobalShortcut::handleTapDisabled(TapDisabled why)
{
    ++m_generation;
    resetFromHardware();
    deliver(FnHoldState::Action::cancel);
    if (why == TapDisabled::byTimeout && m_sessionActive && m_ops.isTrusted() && !m_ops.isSecureInput() &&
        m_tapInstalled) {
        m_ops.enableTap(true);
        return;
    }
    removeFnTap();
    m_nextTapAttempt = m_scheduler.now() + tapRetryDelay;
    setFnStatus(texts().interrupted);
}

bool GlobalShortcut::handleHotKey(HotKey key)
{
    switch (key) {
    case HotKey::toggle:
        if (m_callbacks.onToggle)
            m_callbacks.onToggle();
        return true;
    case HotKey::escape:
        if (!m_cancelEnabled)
            return false;
        if (m_callbacks.onCancel)
            m_callbacks.onCancel();
        return true;
    }
    return false;
}

void GlobalShortcut::checkFn()
{
    if (!m_sessionActive)
        return;
    if (m_scheduler.now() >= m_nextTapAttempt)
        refreshFn();
    if (m_tapInstalled && m_fnState.isDown && !(m_ops.modifierFlags() & FnHoldState::fnFlag)) {
        const bool wasActive = m_fnState.isActive;
        m_fnState = FnHoldState{};
        if (wasActive)
            deliver(FnHoldState::Action::finish);
    }
}

void GlobalShortcut::suspendFn()
{
    m_sessionActive = false;
    removeFnTap();
    setFnStatus(texts().paused);
}

void GlobalShortcut::resumeFn()
{
    m_sessionActive = true;
    m_nextTapAttempt = TimePoint::min();
    refreshFn();
}

} // namespace orv
