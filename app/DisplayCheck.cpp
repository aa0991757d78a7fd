#include "app/DisplayCheck.h"

#include <QDir>

#include <X11/Xlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace orv {

namespace {

// The compositor's socket: WAYLAND_DISPLAY as a path, or a name in XDG_RUNTIME_DIR.
std::optional<QString> waylandProblem()
{
    const QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    const QString path =
        QDir::isAbsolutePath(name) ? name : QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(name);
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && !QDir::isAbsolutePath(name))
        return QStringLiteral("Orvanta cannot find the Wayland compositor: XDG_RUNTIME_DIR is not set.");
    if (static_cast<std::size_t>(encoded.size()) >= sizeof address.sun_path)
        return QStringLiteral("Orvanta cannot reach the Wayland compositor: the path of its socket is too long.");
    std::copy(encoded.begin(), encoded.end(), address.sun_path);
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool reached = socket >= 0 && ::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (socket >= 0)
        ::close(socket);
    if (!reached)
        return QStringLiteral("Orvanta cannot reach the Wayland compositor \"%1\" named by WAYLAND_DISPLAY.").arg(name);
    return std::nullopt;
}

} // namespace

std::optional<QString> displayProblem(bool waylandSession)
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (waylandSession && (platform.isEmpty() || platform.startsWith("wayland")))
        return waylandProblem();
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return std::nullopt;
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("Orvanta needs a desktop session, but neither DISPLAY nor WAYLAND_DISPLAY is set; "
                              "to transcribe a recording, use: orvanta transcribe AUDIO.wav");
    Display *connection = XOpenDisplay(display.constData());
    if (!connection)
        return QStringLiteral("Orvanta cannot reach the X display \"%1\" named by DISPLAY.")
            .arg(QString::fromLocal8Bit(display));
    XCloseDisplay(connection);
    return std::nullopt;
}

void chooseQtPlatform(bool waylandSession)
{
    if (waylandSession && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "wayland");
}

} // namespace orv
