#include "delivery/atspi/AtspiWorker.h"

#include "base/ThreadSanitizer.h"
#include "delivery/atspi/AtspiFocusTracker.h"

#include <atspi/atspi.h>

#include <chrono>

namespace orv::atspi {

namespace {

// A job goes to the worker through the GLib context's queue, whose lock ThreadSanitizer does not see.
gboolean runJob(gpointer data)
{
    sanitizer::takeOver(data);
    (*static_cast<std::function<void()> *>(data))();
    return G_SOURCE_REMOVE;
}

void deleteJob(gpointer data)
{
    sanitizer::takeOver(data);
    delete static_cast<std::function<void()> *>(data);
}

} // namespace

std::shared_ptr<AtspiWorker> AtspiWorker::start(Scheduler &scheduler)
{
    std::shared_ptr<AtspiWorker> worker(new AtspiWorker(scheduler));
    worker->m_thread = std::thread(run, worker->m_loop);
    // atspi_init reads the bus address over D-Bus; a missing bus answers within its own timeout.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!worker->m_loop->ready.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return worker;
}

AtspiWorker::Loop::Loop()
{
    context = g_main_context_ref(g_main_context_default());
    loop = g_main_loop_new(context, FALSE);
}

AtspiWorker::Loop::~Loop()
{
    g_main_loop_unref(loop);
    g_main_context_unref(context);
}

AtspiWorker::AtspiWorker(Scheduler &scheduler) : m_scheduler(scheduler), m_loop(std::make_shared<Loop>()) {}

AtspiWorker::~AtspiWorker()
{
    {
        const std::lock_guard lock(m_loop->posting); // waits for an answer being posted
        m_loop->stopping = true;
    }
    submit([loop = m_loop->loop] { g_main_loop_quit(loop); });
    if (!m_thread.joinable())
        return;
    // A call to an application that hangs can take the bus timeout (up to 25 s); do not hold up the
    // shutdown for it. The thread keeps its own share of the loop and posts nothing once stopping.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!m_loop->finished.load() && std::chrono::steady_clock::now() < deadline &&
           m_thread.get_id() != std::this_thread::get_id())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (m_loop->finished.load() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    else
        m_thread.detach();
}

QString AtspiWorker::applicationName(qint64 processID) const
{
    // Set before `ready` and dropped only after the loop ends, which the worker's owner waits for.
    if (!m_loop->ready.load() || !m_loop->focus)
        return QString();
    return m_loop->focus->applicationName(processID);
}

void AtspiWorker::submit(std::function<void()> job)
{
    auto *owned = new std::function<void()>(std::move(job));
    sanitizer::handOver(owned);
    GSource *source = g_idle_source_new();
    g_source_set_callback(source, runJob, owned, deleteJob);
    g_source_attach(source, m_loop->context);
    g_source_unref(source);
}

void AtspiWorker::run(std::shared_ptr<Loop> loop)
{
    const int init = atspi_init();
    bool connected = init == 0 || init == 1;
    if (connected) {
        GError *error = nullptr;
        AtspiAccessible *desktop = atspi_get_desktop(0);
        connected = desktop != nullptr;
        if (desktop) {
            atspi_accessible_get_child_count(desktop, &error);
            connected = error == nullptr;
            g_clear_error(&error);
            g_object_unref(desktop);
        }
    }
    if (connected) {
        loop->focus = std::make_unique<AtspiFocusTracker>();
        loop->focus->start();
    }
    loop->connected = connected;
    loop->ready = true;
    g_main_loop_run(loop->loop);
    loop->focus.reset();
    loop->finished = true;
}

} // namespace orv::atspi
