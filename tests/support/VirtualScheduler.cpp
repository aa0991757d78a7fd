#include "tests/support/VirtualScheduler.h"

namespace orv::test {

VirtualScheduler::~VirtualScheduler()
{
    // Dropping a wake-up can end a task whose locals cancel or schedule work here: the tables stay whole
    // until nothing is left.
    for (bool more = true; more;) {
        auto timers = std::exchange(m_timers, {});
        m_byId.clear();
        std::unique_lock guard(m_postedLock);
        auto posted = std::exchange(m_posted, {});
        guard.unlock();
        more = !timers.empty() || !posted.empty();
    }
}

QDateTime VirtualScheduler::wallNow() const
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(m_now - TimePoint(std::chrono::hours(1000)));
    return QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC).addMSecs(ms.count());
}

Scheduler::TimerId VirtualScheduler::schedule(Duration delay, std::function<void()> fn)
{
    const TimerId id = m_nextId++;
    const Key key{m_now + std::max(delay, Duration::zero()), m_sequence++};
    m_timers.emplace(key, std::make_pair(id, std::move(fn)));
    m_byId.emplace(id, key);
    return id;
}

void VirtualScheduler::cancel(TimerId id)
{
    auto it = m_byId.find(id);
    if (it == m_byId.end())
        return;
    // The callback goes last: dropping it may end a sleeping task, which may cancel other timers.
    auto node = m_timers.extract(it->second);
    m_byId.erase(it);
}

void VirtualScheduler::post(std::function<void()> fn)
{
    std::lock_guard guard(m_postedLock);
    m_posted.push_back(std::move(fn));
}

bool VirtualScheduler::drainPosted()
{
    std::unique_lock guard(m_postedLock);
    auto batch = std::exchange(m_posted, {});
    guard.unlock();
    for (auto &fn : batch)
        fn();
    return !batch.empty();
}

bool VirtualScheduler::runOneDue()
{
    if (m_timers.empty() || m_timers.begin()->first.first > m_now)
        return false;
    auto node = m_timers.extract(m_timers.begin());
    m_byId.erase(node.mapped().first);
    node.mapped().second();
    return true;
}

void VirtualScheduler::runPending()
{
    while (drainPosted() || runOneDue()) {
    }
}

void VirtualScheduler::advance(Duration by)
{
    const TimePoint target = m_now + by;
    runUntilIdle(by);
    m_now = target;
    runPending();
}

bool VirtualScheduler::runUntilIdle(Duration limit)
{
    const TimePoint end = m_now + limit;
    runPending();
    while (!m_timers.empty() && m_timers.begin()->first.first <= end) {
        m_now = std::max(m_now, m_timers.begin()->first.first);
        runPending();
    }
    return m_timers.empty();
}

} // namespace orv::test
