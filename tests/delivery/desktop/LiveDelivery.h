#pragma once

#include "base/LiveScheduler.h"
#include "delivery/TextDelivery.h"
#include "tests/support/DictationDesktop.h"
#include "tests/support/EventLoopWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <iostream>
#include <memory>

namespace orv::test {

// The live scheduler and accessibility environment, one per process as in the application; null where
// there is no desktop. The test's main sets them up around the tests.
struct LiveDelivery
{
    LiveScheduler scheduler;
    TextDelivery::Environment environment;
};
LiveDelivery *liveDelivery();

// Answers come from the accessibility thread and the applications under test: look every 2 ms.
inline bool spinUntil(const std::function<bool()> &done, int timeoutMs = 3000)
{
    return waitUntil(done, timeoutMs, 2);
}

// A delivery of this process into the desktop's applications; skips where there is no desktop.
template <class Base = ::testing::Test>
class LiveDeliveryTest : public Base
{
protected:
    void SetUp() override
    {
        if (!liveDelivery())
            GTEST_SKIP() << "no desktop; run under scripts/with-desktop.sh or scripts/with-wayland.sh";
        delivery = std::make_unique<TextDelivery>(liveDelivery()->scheduler, liveDelivery()->environment,
                                                  QCoreApplication::applicationPid());
        ASSERT_TRUE(delivery->isTrusted()) << "no accessibility bus or no way to send keys";
    }

    void TearDown() override
    {
        if (delivery)
            delivery->stopObservation();
        delivery.reset();
    }

    // Waits until the delivery sees processID's window in front.
    bool waitFront(qint64 processID, int timeoutMs = 15000)
    {
        return spinUntil(
            [&] {
                const auto front = delivery->frontmostApplication();
                return front && front->processID == processID;
            },
            timeoutMs);
    }

    // A test field program, ready and (unless not asked) in front.
    std::unique_ptr<TestField> launch(const QString &program, const QStringList &arguments = {}, bool front = true)
    {
        auto app = std::make_unique<TestField>(program, arguments);
        EXPECT_TRUE(app->waitReady());
        EXPECT_TRUE(!front || waitFront(app->processID())) << "the window never became active";
        return app;
    }

    // One capture as a dictation makes it: the milliseconds it took, -1 when it had not ended in 5 s.
    qint64 captureNow()
    {
        QElapsedTimer clock;
        clock.start();
        delivery->prepare();
        return spinUntil([&] { return !delivery->isCapturing(); }, 5000) ? clock.elapsed() : -1;
    }

    // Captures until a text field is found: a program that just started may publish its widgets a moment
    // after its window appears.
    bool capture(int timeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            const qint64 took = captureNow();
            if (delivery->target() && delivery->target()->element) {
                std::cout << "figure: captured in " << took << " ms\n";
                return true;
            }
            spinUntil([] { return false; }, 100);
        }
        return false;
    }

    // Delivers and, where `what` names the case, prints the time from the finished text to the outcome.
    DeliveryResult deliver(const QString &text, bool observe = false, const char *what = nullptr)
    {
        QElapsedTimer clock;
        clock.start();
        auto task = delivery->deliver(text, observe);
        EXPECT_TRUE(spinUntil([&] { return task.isDone(); }, 20000)) << "the delivery never ended";
        const DeliveryResult result = task.isDone() ? task.result() : DeliveryResult{};
        if (what)
            std::cout << "figure: " << what << ": " << result.message.toStdString() << " after " << clock.elapsed()
                      << " ms\n";
        return result;
    }

    std::unique_ptr<TextDelivery> delivery;
};

} // namespace orv::test
