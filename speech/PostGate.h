#pragma once

#include "base/Scheduler.h"

#include <functional>
#include <mutex>

namespace orv {

// How a worker thread reaches the main thread when its owner may go away first: posts pass only while
// the gate is open. The owner closes it before it lets the scheduler go, and a post racing the close
// either lands before it or not at all.
class PostGate
{
public:
    explicit PostGate(Scheduler &scheduler) : m_scheduler(&scheduler) {}

    // False once closed: fn is dropped.
    bool post(std::function<void()> fn)
    {
        std::lock_guard guard(m_lock);
        if (!m_scheduler)
            return false;
        m_scheduler->post(std::move(fn));
        return true;
    }
    void close()
    {
        std::lock_guard guard(m_lock);
        m_scheduler = nullptr;
    }

private:
    std::mutex m_lock;
    Scheduler *m_scheduler;
};

} // namespace orv
