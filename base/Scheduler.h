#pragma once

#include <QDateTime>

#include <chrono>
#include <cstdint>
#include <functional>

namespace orv {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

// The one seam for time: every wait, timer and clock read of the logic goes through it, so tests run
// in virtual time. All members are called on the main thread, except post(), which any thread may call.
class Scheduler
{
public:
    using TimerId = std::uint64_t;

    virtual ~Scheduler() = default;

    // Monotonic time, for elapsed times and deadlines.
    virtual TimePoint now() const = 0;
    // Wall-clock time, for timestamps stored in records.
    virtual QDateTime wallNow() const = 0;

    // Runs fn once on the main thread after delay; the id can cancel it until it ran.
    virtual TimerId schedule(Duration delay, std::function<void()> fn) = 0;
    virtual void cancel(TimerId id) = 0;
    // Runs fn on the main thread at the next turn of the loop; safe from any thread.
    virtual void post(std::function<void()> fn) = 0;
};

double secondsBetween(TimePoint from, TimePoint to);

// A repeating timer on a scheduler; stops when destroyed.
class RepeatingTimer
{
public:
    RepeatingTimer(Scheduler &scheduler, Duration period, std::function<void()> onFire);
    ~RepeatingTimer();
    RepeatingTimer(const RepeatingTimer &) = delete;
    RepeatingTimer &operator=(const RepeatingTimer &) = delete;

private:
    void arm();

    Scheduler &m_scheduler;
    Duration m_period;
    std::function<void()> m_onFire;
    Scheduler::TimerId m_pending = 0;
};

} // namespace orv
