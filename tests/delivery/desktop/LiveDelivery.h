#pragma once

#include "base/LiveScheduler.h"
#include "delivery/TextDelivery.h"
#include "tests/support/EventLoopWait.h"

namespace orv::test {

// The live scheduler and accessibility environment, one per process as in the application; null where
// there is no X display. LiveDeliveryMain.cpp's main sets them up around the tests.
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

} // namespace orv::test
