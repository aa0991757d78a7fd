#pragma once

#include <QString>

#include <optional>

namespace orv {

// Why the windows cannot open here, as one line for the terminal; none when an X display answers (or a
// Qt platform other than X11 was chosen with QT_QPA_PLATFORM). Orvanta's keys and paste need X11, so a
// Wayland session needs XWayland's DISPLAY.
std::optional<QString> displayProblem();

} // namespace orv
