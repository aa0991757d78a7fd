#pragma once

#include <QString>

#include <optional>

namespace orv {

// Why the windows cannot open here, as one line for the terminal; none when the session's display answers
// (an X display, or the Wayland compositor's socket on a Wayland session) or a Qt platform other than the
// session's was chosen with QT_QPA_PLATFORM.
std::optional<QString> displayProblem(bool waylandSession);

// On a Wayland session Qt is told to open its windows natively unless the user chose a platform: without
// XDG_SESSION_TYPE it would otherwise pick XWayland, whose keys and windows the compositor keeps apart.
void chooseQtPlatform(bool waylandSession);

} // namespace orv
