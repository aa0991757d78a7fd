#include "app/SessionKeys.h"

#include "desktop/gnome/GnomeCustomShortcut.h"
#include "library/LinuxSettings.h"
#include "shortcuts/ShortcutKeys.h"
#include "shortcuts/dbus/SessionMonitor.h"
#include "shortcuts/evdev/EvdevHoldKey.h"
#include "shortcuts/portal/PortalShortcutBackend.h"
#include "shortcuts/x11/LiveGlobalShortcut.h"

namespace orv {

namespace {

using Mechanism = SessionKeysStatus::Mechanism;

// What every Wayland table starts from: no keys of its own, the session's sleep and lock notices.
GlobalShortcut::Operations withoutKeys(std::shared_ptr<SessionMonitor> monitor)
{
    GlobalShortcut::Operations ops;
    ops.createTap = [](auto, auto) { return false; };
    ops.enableTap = [](bool) {};
    ops.removeTap = [] {};
    ops.modifierFlags = [] { return std::uint64_t{0}; };
    ops.isTrusted = [] { return false; };
    ops.isSecureInput = [] { return false; };
    ops.installHotKeyHandler = [](auto) { return 0; };
    ops.removeHotKeyHandler = [] {};
    ops.registerHotKey = [](GlobalShortcut::HotKey) { return PortalShortcutBackend::statusNotOffered; };
    ops.unregisterHotKey = [](GlobalShortcut::HotKey) {};
    SessionMonitor *session = monitor.get();
    ops.observeSession = [session](std::function<void()> onSuspend, std::function<void()> onResume) {
        session->start(std::move(onSuspend), std::move(onResume));
    };
    ops.stopObservingSession = [session] { session->stop(); };
    ops.waylandSession = true;
    ops.owner = std::move(monitor);
    return ops;
}

// The backend's table keeps the session monitor alive beside the backend.
void keepBoth(GlobalShortcut::Operations &ops, std::shared_ptr<void> first)
{
    ops.owner = std::make_shared<std::pair<std::shared_ptr<void>, std::shared_ptr<void>>>(std::move(first),
                                                                                          std::move(ops.owner));
}

void offerDesktopShortcut(SessionKeysStatus::State &state, LinuxSettings &settings)
{
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'));
    if (!desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive))
        return;
    state.desktopWithShortcuts = QStringLiteral("GNOME");
    settings.sessionKeys().onAddDesktopShortcut = [&settings]() -> Expected<QString, QString> {
        const auto toggle = shortcutkeys::parseToggle(settings.toggle());
        const QString binding =
            toggle ? GnomeCustomShortcut::acceleratorOf(toggle.value().control, toggle.value().alt,
                                                        toggle.value().shift, toggle.value().super, toggle.value().key)
                   : QString();
        return GnomeCustomShortcut(GnomeCustomShortcut::live())
            .add({QStringLiteral("Orvanta: start or finish dictation"), SessionKeysStatus::toggleCommand(), binding});
    };
}

} // namespace

std::unique_ptr<GlobalShortcut> makeSessionGlobalShortcut(SessionPlatform platform,
                                                          Scheduler &scheduler,
                                                          const ShortcutSettings &keys,
                                                          GlobalShortcut::Callbacks callbacks,
                                                          LinuxSettings &settings,
                                                          QDBusConnection bus)
{
    SessionKeysStatus &status = settings.sessionKeys();
    if (platform == SessionPlatform::x11) {
        status.report({});
        return makeLiveGlobalShortcut(scheduler, keys, std::move(callbacks));
    }

    SessionKeysStatus::State state;
    state.mechanism = Mechanism::command;
    state.inputDevicesReadable = EvdevHoldKey::userInInputGroup();
    offerDesktopShortcut(state, settings);
    auto monitor = std::make_shared<SessionMonitor>();
    GlobalShortcut::Operations ops = withoutKeys(monitor);
    if (PortalShortcutBackend::offered(bus)) {
        state.mechanism = Mechanism::portal;
        auto portal = std::make_shared<PortalShortcutBackend>(bus, keys);
        PortalShortcutBackend *handle = portal.get();
        portal->onStateChange = [&status, handle, state] {
            SessionKeysStatus::State bound = state;
            bound.holdTrigger = handle->triggerOf(PortalShortcutBackend::holdId());
            bound.toggleTrigger = handle->triggerOf(PortalShortcutBackend::toggleId());
            if (handle->failed())
                bound.mechanism = Mechanism::command; // the toggle command still works
            status.report(bound);
        };
        PortalShortcutBackend::fill(ops, std::move(portal));
        keepBoth(ops, monitor);
    } else if (settings.readsInputDevices() && state.inputDevicesReadable) {
        state.mechanism = Mechanism::evdev;
        EvdevHoldKey::fill(ops, std::make_shared<EvdevHoldKey>(keys, &EvdevHoldKey::liveKeyboards));
        keepBoth(ops, monitor);
    }
    status.report(state);
    return std::make_unique<GlobalShortcut>(scheduler, std::move(ops), keys, std::move(callbacks));
}

} // namespace orv
