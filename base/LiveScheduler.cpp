#include "base/LiveScheduler.h"

#include <QMetaObject>
#include <QTimer>

namespace orv {

LiveScheduler::LiveScheduler() = default;

LiveScheduler::~LiveScheduler() = default;

TimePoint LiveScheduler::now() const
{
    return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
}

QDateTime LiveScheduler::wallNow() const
{
    return QDateTime::currentDateTimeUtc();
}

Scheduler::TimerId LiveScheduler::schedule(Duration delay, std::function<void()> fn)
{
    const TimerId id = m_nextId++;
    auto *timer = new QTimer(&m_context);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, &m_context, [this, id, fn = std::move(fn)] {
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            return;
        it->second->deleteLater();
        m_timers.erase(it);
        fn();
    });
    m_timers.emplace(id, timer);
    timer->start(std::chrono::duration_cast<std::chrono::milliseconds>(delay));
    return id;
}

void LiveScheduler::cancel(TimerId id)
{
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return;
    it->second->stop();
    it->second->deleteLater();
    m_timers.erase(it);
}

void LiveScheduler::post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(&m_context, std::move(fn), Qt::QueuedConnection);
}

} // namespace orv
