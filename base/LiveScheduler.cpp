#include "base/LiveScheduler.h"

#include "base/ThreadSanitizer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

namespace orv {

namespace {

// A function posted from any thread. The event is the hand-off: the scheduler's thread runs it and
// deletes it, so the function's captures end there too.
class PostedCall final : public QEvent
{
public:
    explicit PostedCall(std::function<void()> fn) : QEvent(kind()), m_fn(std::move(fn)) {}
    // Also reached unrun, when the scheduler drops its pending events.
    ~PostedCall() override { sanitizer::takeOver(this); }

    static Type kind()
    {
        static const Type type = Type(registerEventType());
        return type;
    }
    void run() { m_fn(); }

private:
    std::function<void()> m_fn;
};

} // namespace

bool LiveScheduler::Context::event(QEvent *event)
{
    sanitizer::takeOver(event); // before reading it; a no-op for events nobody handed over
    if (event->type() != PostedCall::kind())
        return QObject::event(event);
    static_cast<PostedCall *>(event)->run();
    return true;
}

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
    auto *call = new PostedCall(std::move(fn));
    sanitizer::handOver(call);
    QCoreApplication::postEvent(&m_context, call);
}

} // namespace orv
