#include "base/LiveScheduler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace orv {

LiveScheduler::LiveScheduler() = default;

LiveScheduler::~LiveScheduler()
{
    // Dropping a sleep's wake-up ends its task, whose locals may cancel timers here: every callback goes
    // while the table still stands, until none is left.
    for (;;) {
        m_timers.clear();
        QCoreApplication::removePostedEvents(&m_context);
        const QList<QTimer *> timers = m_context.findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
        if (timers.isEmpty())
            break;
        qDeleteAll(timers);
    }
}

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
    QTimer *timer = it->second;
    m_timers.erase(it);
    timer->stop();
    timer->deleteLater();
}

void LiveScheduler::post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(&m_context, std::move(fn), Qt::QueuedConnection);
}

} // namespace orv
