#include "app/DisplayCheck.h"

#include <X11/Xlib.h>

namespace orv {

std::optional<QString> displayProblem()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return std::nullopt;
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            return QStringLiteral("Orvanta needs X11 or XWayland: WAYLAND_DISPLAY is set but DISPLAY is not.");
        return QStringLiteral("Orvanta needs a desktop session, but neither DISPLAY nor WAYLAND_DISPLAY is set; "
                              "to transcribe a recording, use: orvanta transcribe AUDIO.wav");
    }
    Display *connection = XOpenDisplay(display.constData());
    if (!connection)
        return QStringLiteral("Orvanta cannot reach the X display \"%1\" named by DISPLAY.")
            .arg(QString::fromLocal8Bit(display));
    XCloseDisplay(connection);
    return std::nullopt;
}

} // namespace orv
