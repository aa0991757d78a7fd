#pragma once

#include "base/LiveScheduler.h"
#include "delivery/TextDelivery.h"
#include "tests/support/DictationDesktop.h"
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

// Waits until the delivery sees processID's window in front.
bool waitFront(const TextDelivery &delivery, qint64 processID, int timeoutMs = 15000);

// Captures the focused field as a dictation does until one is found: a program that just started may
// publish it a moment after its window appears.
bool captureField(TextDelivery &delivery, int timeoutMs = 10000);

} // namespace orv::test
