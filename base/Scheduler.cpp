#include "base/Scheduler.h"

namespace orv {

double secondsBetween(TimePoint from, TimePoint to)
{
    return std::chrono::duration<double>(to - from).count();
}

RepeatingTimer::RepeatingTimer(Scheduler &scheduler, Duration period, std::function<void()> onFire)
    : m_scheduler(scheduler), m_period(period), m_onFire(std::move(onFire))
{
    arm();
}

RepeatingTimer::~RepeatingTimer()
{
    if (m_pending)
        m_scheduler.cancel(m_pending);
}

void RepeatingTimer::arm()
{
    m_pending = m_scheduler.schedule(m_period, [this] {
        m_pending = 0;
        arm(); // re-arm first: the callback may destroy this timer
        m_onFire();
    });
}

} // namespace orv
