#pragma once

#include "app/SessionPlatform.h"
#include "shortcuts/GlobalShortcut.h"

#include <QDBusConnection>

#include <memory>

namespace orv {

class LinuxSettings;

// The key backends of the session, chosen once at start. X11: the X display's keys. Wayland, in order of
// preference: the desktop portal's global shortcuts where the desktop offers them; otherwise the hold key
// from the input devices when the user allowed it; and always `orvanta toggle`/`cancel`, which the user
// binds in the desktop's keyboard settings. What was chosen is reported to settings.sessionKeys(), with
// GNOME's custom shortcuts offered where GNOME runs. The settings must outlive the service.
std::unique_ptr<GlobalShortcut> makeSessionGlobalShortcut(SessionPlatform platform,
                                                          Scheduler &scheduler,
                                                          const ShortcutSettings &keys,
                                                          GlobalShortcut::Callbacks callbacks,
                                                          LinuxSettings &settings,
                                                          QDBusConnection bus = QDBusConnection::sessionBus());

} // namespace orv
