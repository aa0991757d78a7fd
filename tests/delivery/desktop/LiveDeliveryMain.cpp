#include "app/SessionPlatform.h"
#include "delivery/atspi/LiveEnvironment.h"
#include "tests/delivery/desktop/LiveDelivery.h"

#include <QGuiApplication>

namespace {
std::unique_ptr<orv::test::LiveDelivery> live;
} // namespace

orv::test::LiveDelivery *orv::test::liveDelivery()
{
    return live.get();
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QGuiApplication> application;
    // scripts/with-wayland.sh names its compositor; scripts/with-desktop.sh starts an X server.
    const bool wayland =
        !qEnvironmentVariableIsEmpty("ORVANTA_TEST_WAYLAND") && orv::sessionPlatform() == orv::SessionPlatform::wayland;
    if (wayland || qEnvironmentVariableIsSet("DISPLAY")) {
        orv::atspi::LiveEnvironment::configureProcess();
        application = std::make_unique<QGuiApplication>(argc, argv);
        live = std::make_unique<orv::test::LiveDelivery>();
        live->environment = wayland ? orv::makeWaylandEnvironment(live->scheduler)
                                    : orv::atspi::LiveEnvironment::create(live->scheduler);
    }
    const int status = RUN_ALL_TESTS();
    live.reset();
    return status;
}
