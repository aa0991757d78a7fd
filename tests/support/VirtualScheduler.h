#pragma once

#include "base/Scheduler.h"

#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace orv::test {

// Virtual time for tests: nothing runs until the test advances the clock or drains posted work.
class VirtualScheduler final : public Scheduler
{
public:
    // Work still scheduled is dropped unrun; a task sleeping on it ends without resuming.
    ~VirtualScheduler() override;

    TimePoint now() const override { return m_now; }
    QDateTime wallNow() const override;
    TimerId schedule(Duration delay, std::function<void()> fn) override;
    void cancel(TimerId id) override;
    void post(std::function<void()> fn) override;

    // Runs posted work and timers due now, until none is left.
    void runPending();
    // Moves the clock forward, running every timer at its due time, in order.
    void advance(Duration by);
    void advanceSeconds(double seconds)
    {
        advance(std::chrono::duration_cast<Duration>(seconds * std::chrono::seconds(1)));
    }
    // Advances until no timer is pending or the limit is reached; returns whether it went idle.
    bool runUntilIdle(Duration limit = std::chrono::hours(1));
    std::size_t pendingTimers() const { return m_byId.size(); }

private:
    using Key = std::pair<TimePoint, std::uint64_t>;
    bool runOneDue();
    bool drainPosted();

    TimePoint m_now{std::chrono::hours(1000)};
    std::uint64_t m_sequence = 0;
    TimerId m_nextId = 1;
    std::map<Key, std::pair<TimerId, std::function<void()>>> m_timers;
    std::unordered_map<TimerId, Key> m_byId;
    std::mutex m_postedLock;
    std::vector<std::function<void()>> m_posted;
};

} // namespace orv::test
