#include "delivery/atspi/LiveEnvironment.h"
#include "tests/delivery/desktop/LiveDelivery.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {
std::unique_ptr<orv::test::LiveDelivery> live;
} // namespace

orv::test::LiveDelivery *orv::test::liveDelivery()
{
    return live.get();
}

bool orv::test::waitFront(const TextDelivery &delivery, qint64 processID, int timeoutMs)
{
    return spinUntil(
        [&] {
            const auto front = delivery.frontmostApplication();
            return front && front->processID == processID;
        },
        timeoutMs);
}

bool orv::test::captureField(TextDelivery &delivery, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        delivery.prepare();
        spinUntil([&] { return !delivery.isCapturing(); }, 5000);
        if (delivery.target())
            return true;
        spinUntil([] { return false; }, 100);
    }
    return false;
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QGuiApplication> application;
    if (qEnvironmentVariableIsSet("DISPLAY")) {
        orv::atspi::LiveEnvironment::configureProcess();
        application = std::make_unique<QGuiApplication>(argc, argv);
        live = std::make_unique<orv::test::LiveDelivery>();
        live->environment = orv::atspi::LiveEnvironment::create(live->scheduler);
    }
    const int status = RUN_ALL_TESTS();
    live.reset();
    return status;
}
