#pragma once

#include "base/Scheduler.h"
#include "base/Task.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace orv::atspi {

class AtspiFocusTracker;

// The one thread that talks to the accessibility bus. Every libatspi call and every AT-SPI event runs
// here, on a private GLib main context, and answers reach the main thread through the scheduler. So
// the main loop never waits on another application: a target that asks for our clipboard data while
// we read it gets its answer, where a blocking read from the main thread deadlocked both processes.
class AtspiWorker : public std::enable_shared_from_this<AtspiWorker>
{
public:
    // The worker iterates GLib's default main context, where libatspi puts its bus connections: the
    // main thread must not iterate it too (Qt without its GLib dispatcher, QT_NO_GLIB=1), or it would
    // take replies and events the worker is waiting for.
    static std::shared_ptr<AtspiWorker> start(Scheduler &scheduler);
    ~AtspiWorker();
    AtspiWorker(const AtspiWorker &) = delete;
    AtspiWorker &operator=(const AtspiWorker &) = delete;

    // Whether libatspi reached the accessibility bus.
    bool isConnected() const { return m_loop->connected.load(); }
    Scheduler &scheduler() const { return m_scheduler; }
    // The focus events seen so far (worker thread; null when not connected).
    AtspiFocusTracker *focusTracker() const { return m_loop->focus.get(); }
    // The name an application gave itself on the accessibility bus, when known; any thread.
    QString applicationName(qint64 processID) const;

    // Runs job on the worker thread.
    void submit(std::function<void()> job);

    // Runs job on the worker thread; the task finishes on the main thread with its answer.
    template <typename R>
    Task<R> call(std::function<R()> job)
    {
        AsyncValue<R> answer;
        Scheduler *scheduler = &m_scheduler;
        submit([job = std::move(job), answer, scheduler, loop = m_loop]() mutable {
            R value = job();
            // The scheduler may be gone once the worker is stopping; the owner sets that under this lock,
            // so it cannot go while we post.
            const std::lock_guard lock(loop->posting);
            if (!loop->stopping.load())
                scheduler->post([answer, value = std::move(value)]() mutable { answer.resolve(std::move(value)); });
        });
        co_return co_await answer;
    }

private:
    // What the thread uses; shared so that a thread stuck in a long call can be left behind safely.
    struct Loop
    {
        Loop();
        ~Loop();
        GMainContext *context = nullptr;
        GMainLoop *loop = nullptr;
        std::atomic<bool> connected{false};
        std::atomic<bool> ready{false};
        std::atomic<bool> stopping{false};
        std::mutex posting; // held to post an answer, and to set stopping
        std::atomic<bool> finished{false};
        std::unique_ptr<AtspiFocusTracker> focus; // made and dropped on the thread
    };

    explicit AtspiWorker(Scheduler &scheduler);
    static void run(std::shared_ptr<Loop> loop);

    Scheduler &m_scheduler;
    std::shared_ptr<Loop> m_loop;
    std::thread m_thread;
};

} // namespace orv::atspi
