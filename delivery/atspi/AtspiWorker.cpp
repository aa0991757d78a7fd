#include "delivery/atspi/AtspiWorker.h"

#include <atspi/atspi.h>

#include <chrono>

namespace orv::atspi {

namespace {

gboolean runJob(gpointer data)
{
    (*static_cast<std::function<void()> *>(data))();
    return G_SOURCE_REMOVE;
}

void deleteJob(gpointer data)
{
    delete static_cast<std::function<void()> *>(data);
}

} // namespace

std::shared_ptr<AtspiWorker> AtspiWorker::start(Scheduler &scheduler, bool ownDefaultContext)
{
    std::shared_ptr<AtspiWorker> worker(new AtspiWorker(scheduler, ownDefaultContext));
    auto ready = std::make_shared<std::atomic<int>>(0);
    worker->m_thread = std::thread([raw = worker.get(), ready] { raw->run(ready); });
    // atspi_init reads the bus address over D-Bus; a missing bus answers within its own timeout.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ready->load() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return worker;
}

AtspiWorker::AtspiWorker(Scheduler &scheduler, bool ownDefaultContext)
    : m_scheduler(scheduler), m_ownsDefaultContext(ownDefaultContext)
{
    m_context = ownDefaultContext ? g_main_context_ref(g_main_context_default()) : g_main_context_new();
    m_loop = g_main_loop_new(m_context, FALSE);
}

AtspiWorker::~AtspiWorker()
{
    submit([loop = m_loop] { g_main_loop_quit(loop); });
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach(); // the last reference went away on the worker itself
        else
            m_thread.join();
    }
    g_main_loop_unref(m_loop);
    g_main_context_unref(m_context);
}

void AtspiWorker::submit(std::function<void()> job)
{
    GSource *source = g_idle_source_new();
    g_source_set_callback(source, runJob, new std::function<void()>(std::move(job)), deleteJob);
    g_source_attach(source, m_context);
    g_source_unref(source);
}

void AtspiWorker::run(std::shared_ptr<std::atomic<int>> ready)
{
    if (!m_ownsDefaultContext)
        g_main_context_push_thread_default(m_context);
    const int init = atspi_init();
    // atspi_init attaches the accessibility bus to the default context; move it to ours.
    if (!m_ownsDefaultContext)
        atspi_set_main_context(m_context);
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
    m_connected = connected;
    ready->store(1);
    g_main_loop_run(m_loop);
    if (!m_ownsDefaultContext)
        g_main_context_pop_thread_default(m_context);
}

} // namespace orv::atspi
