#pragma once

#include "base/LiveScheduler.h"
#include "delivery/TextDelivery.h"

namespace orv::test {

// The live scheduler and accessibility environment, one per process as in the application; null where
// there is no X display. LiveDeliveryMain.cpp's main sets them up around the tests.
struct LiveDelivery
{
    LiveScheduler scheduler;
    TextDelivery::Environment environment;
};
LiveDelivery *liveDelivery();

} // namespace orv::test
