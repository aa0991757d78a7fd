#pragma once

#include "delivery/TextDelivery.h"

#include <QProcessEnvironment>

#include <memory>

namespace orv {

// The desktop session Orvanta runs in, decided once at start; each gets its own key and insertion backends.
enum class SessionPlatform
{
    x11,
    wayland,
};

// Wayland when the session says so (XDG_SESSION_TYPE) or when only WAYLAND_DISPLAY is set; X11 otherwise,
// including X11 applications started inside a Wayland session through XWayland on purpose (QT_QPA_PLATFORM=xcb).
SessionPlatform sessionPlatform(const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// Text delivery's operations on a Wayland desktop: AT-SPI for the target and read-back; insertion through
// IBus where it serves the focused window, else typed keys through a virtual keyboard; the clipboard
// through data-control where offered. Each is found out at run time.
TextDelivery::Environment makeWaylandEnvironment(Scheduler &scheduler);

// The insertion backends of the session.
std::unique_ptr<TextDelivery> makeSessionTextDelivery(SessionPlatform platform, Scheduler &scheduler);

} // namespace orv
