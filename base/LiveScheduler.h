#pragma once

#include "base/Scheduler.h"

#include <QObject>

#include <unordered_map>

class QTimer;

namespace orv {

// The scheduler of the running application: the Qt event loop of the main thread and a steady clock.
class LiveScheduler final : public Scheduler
{
public:
    LiveScheduler();
    ~LiveScheduler() override;

    TimePoint now() const override;
    QDateTime wallNow() const override;
    TimerId schedule(Duration delay, std::function<void()> fn) override;
    void cancel(TimerId id) override;
    void post(std::function<void()> fn) override;

private:
    // Owns the timers and runs the posted functions.
    class Context : public QObject
    {
    public:
        bool event(QEvent *event) override;
    };

    TimerId m_nextId = 1;
    std::unordered_map<TimerId, QTimer *> m_timers; // owned by m_context, which goes first
    Context m_context;
};

} // namespace orv
