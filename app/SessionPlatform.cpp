#include "app/SessionPlatform.h"

#include "delivery/atspi/LiveEnvironment.h"
#include "delivery/ibus/IbusCommitter.h"
#include "delivery/wayland/DataControlPasteboard.h"
#include "delivery/wayland/VirtualKeyboard.h"

#include <QCoreApplication>

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

namespace {

// An input method first: it reaches every toolkit that talks to it, on any compositor. A field whose
// window does not talk to IBus gets typed keys where the compositor takes a virtual keyboard.
Task<bool> typeOnWayland(std::shared_ptr<ibus::IbusCommitter> ibus,
                         std::shared_ptr<wayland::VirtualKeyboard> keyboard,
                         Scheduler *scheduler,
                         QString text)
{
    auto committing = ibus->commit(text);
    if (co_await committing == ibus::IbusCommitter::Outcome::committed)
        co_return true;
    auto typing = keyboard->type(*scheduler, text);
    co_return co_await typing;
}

} // namespace

TextDelivery::Environment makeWaylandEnvironment(Scheduler &scheduler)
{
    TextDelivery::Environment env = atspi::LiveEnvironment::createAccessibility(scheduler);
    auto ibus = std::make_shared<ibus::IbusCommitter>(scheduler);
    auto keyboard = std::make_shared<wayland::VirtualKeyboard>();
    // The clipboard only where it can be reached without a window of ours taking the focus.
    if (keyboard->offersDataControl())
        env.pasteboard = std::make_shared<wayland::DataControlPasteboard>();
    else
        env.pasteboard = std::make_shared<wayland::NoPasteboard>();
    env.typeText = [ibus, keyboard, scheduler = &scheduler](QString text) {
        return typeOnWayland(ibus, keyboard, scheduler, std::move(text));
    };
    return env;
}

std::unique_ptr<TextDelivery> makeSessionTextDelivery(SessionPlatform platform, Scheduler &scheduler)
{
    switch (platform) {
    case SessionPlatform::x11:
        return atspi::LiveEnvironment::createTextDelivery(scheduler);
    case SessionPlatform::wayland:
        break;
    }
    return std::make_unique<TextDelivery>(scheduler, makeWaylandEnvironment(scheduler),
                                          QCoreApplication::applicationPid());
}

} // namespace orv
