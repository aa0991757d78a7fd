#include "app/SessionPlatform.h"

#include "delivery/atspi/LiveEnvironment.h"

namespace orv {

SessionPlatform sessionPlatform(const QProcessEnvironment &environment)
{
    const QString qpa = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
    if (qpa.startsWith(QLatin1String("xcb")))
        return SessionPlatform::x11;
    if (environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty())
        return SessionPlatform::x11;
    const QString type = environment.value(QStringLiteral("XDG_SESSION_TYPE"));
    if (type == QLatin1String("x11"))
        return SessionPlatform::x11;
    return SessionPlatform::wayland;
}

std::unique_ptr<TextDelivery> makeSessionTextDelivery(SessionPlatform platform, Scheduler &scheduler)
{
    switch (platform) {
    case SessionPlatform::x11:
    case SessionPlatform::wayland:
        break;
    }
    return atspi::LiveEnvironment::createTextDelivery(scheduler);
}

} // namespace orv
