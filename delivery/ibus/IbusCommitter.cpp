#include "delivery/ibus/IbusCommitter.h"

#include <ibus.h>

#include <atomic>
#include <mutex>
#include <string>

namespace orv::ibus {

struct IbusCommitter::State
{
    GMainContext *context = g_main_context_new();
    GMainLoop *loop = g_main_loop_new(context, FALSE);
    Scheduler *scheduler = nullptr;
    std::mutex posting; // held to post an answer, and to set stopping
    std::atomic<bool> stopping{false};
    // Thread only:
    IBusBus *bus = nullptr;
    IBusFactory *factory = nullptr;
    IBusEngine *engine = nullptr;
    int engines = 0;

    ~State()
    {
        if (factory)
            g_object_unref(factory);
        if (bus)
            g_object_unref(bus);
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }

    void submit(std::function<void()> job)
    {
        auto *heap = new std::function<void()>(std::move(job));
        g_main_context_invoke_full(
            context, G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                (*static_cast<std::function<void()> *>(data))();
                return G_SOURCE_REMOVE;
            },
            heap, [](gpointer data) { delete static_cast<std::function<void()> *>(data); });
    }
};

namespace {

using State = IbusCommitter::State;
using Outcome = IbusCommitter::Outcome;

// One commit on its way through the daemon's asynchronous calls.
struct Request
{
    std::shared_ptr<State> state;
    std::string text;
    std::function<void(Outcome)> done;
    std::string previous;

    void finish(Outcome outcome)
    {
        done(outcome);
        delete this;
    }
};

IBusEngine *createEngine(IBusFactory *, gchar *name, gpointer data)
{
    auto *state = static_cast<State *>(data);
    const std::string path = "/org/freedesktop/IBus/Engine/Orvanta/" + std::to_string(++state->engines);
    IBusEngine *engine =
        ibus_engine_new_with_type(IBUS_TYPE_ENGINE, name, path.c_str(), ibus_bus_get_connection(state->bus));
    state->engine = engine;
    g_signal_connect(engine, "destroy", G_CALLBACK(+[](IBusEngine *gone, gpointer data) {
                         auto *state = static_cast<State *>(data);
                         if (state->engine == gone)
                             state->engine = nullptr;
                     }),
                     state);
    return engine;
}

void restored(GObject *bus, GAsyncResult *result, gpointer)
{
    GError *error = nullptr;
    ibus_bus_set_global_engine_async_finish(IBUS_BUS(bus), result, &error);
    if (error)
        g_warning("The previous input method could not be restored: %s", error->message);
    g_clear_error(&error);
}

void switched(GObject *bus, GAsyncResult *result, gpointer data)
{
    auto *request = static_cast<Request *>(data);
    GError *error = nullptr;
    const bool ok = ibus_bus_set_global_engine_async_finish(IBUS_BUS(bus), result, &error);
    g_clear_error(&error);
    State &state = *request->state;
    if (!ok || !state.engine)
        return request->finish(Outcome::unavailable);
    ibus_engine_commit_text(state.engine, ibus_text_new_from_string(request->text.c_str()));
    // The switch back goes after the commit on the same connection: the daemon handles them in order.
    if (!request->previous.empty() && request->previous != IbusCommitter::engineName)
        ibus_bus_set_global_engine_async(state.bus, request->previous.c_str(), IbusCommitter::callTimeoutMs, nullptr,
                                         restored, nullptr);
    request->finish(Outcome::committed);
}

void previousRead(GObject *bus, GAsyncResult *result, gpointer data)
{
    auto *request = static_cast<Request *>(data);
    GError *error = nullptr;
    if (IBusEngineDesc *previous = ibus_bus_get_global_engine_async_finish(IBUS_BUS(bus), result, &error))
        request->previous = ibus_engine_desc_get_name(previous);
    g_clear_error(&error);
    ibus_bus_set_global_engine_async(request->state->bus, IbusCommitter::engineName, IbusCommitter::callTimeoutMs,
                                     nullptr, switched, request);
}

void switchEngine(Request *request)
{
    ibus_bus_get_global_engine_async(request->state->bus, IbusCommitter::callTimeoutMs, nullptr, previousRead, request);
}

void named(GObject *bus, GAsyncResult *result, gpointer data)
{
    auto *request = static_cast<Request *>(data);
    GError *error = nullptr;
    const guint reply = ibus_bus_request_name_async_finish(IBUS_BUS(bus), result, &error);
    g_clear_error(&error);
    if (reply != IBUS_BUS_REQUEST_NAME_REPLY_PRIMARY_OWNER && reply != IBUS_BUS_REQUEST_NAME_REPLY_ALREADY_OWNER)
        return request->finish(Outcome::unavailable);
    switchEngine(request);
}

void registered(GObject *bus, GAsyncResult *result, gpointer data)
{
    auto *request = static_cast<Request *>(data);
    GError *error = nullptr;
    const bool ok = ibus_bus_register_component_async_finish(IBUS_BUS(bus), result, &error);
    g_clear_error(&error);
    if (!ok) {
        g_clear_object(&request->state->factory);
        return request->finish(Outcome::unavailable);
    }
    // The daemon asks the component's owner on its bus to make the engine; without one it would try to
    // start a program.
    ibus_bus_request_name_async(IBUS_BUS(bus), IbusCommitter::componentName, 0, IbusCommitter::callTimeoutMs, nullptr,
                                named, request);
}

// Our engine's factory and component, once per connection to the daemon.
void ensureEngine(Request *request)
{
    State &state = *request->state;
    if (state.factory)
        return switchEngine(request);
    state.factory = ibus_factory_new(ibus_bus_get_connection(state.bus));
    g_signal_connect(state.factory, "create-engine", G_CALLBACK(createEngine), &state);
    IBusComponent *component =
        ibus_component_new(IbusCommitter::componentName, "Orvanta dictation", "1", "", "", "", "", "orvanta");
    ibus_component_add_engine(component, ibus_engine_desc_new(IbusCommitter::engineName, "Orvanta dictation",
                                                              "Inserts dictated text", "other", "", "", "", "us"));
    ibus_bus_register_component_async(state.bus, component, IbusCommitter::callTimeoutMs, nullptr, registered, request);
}

void contextRead(GObject *bus, GAsyncResult *result, gpointer data)
{
    auto *request = static_cast<Request *>(data);
    GError *error = nullptr;
    gchar *context = ibus_bus_current_input_context_async_finish(IBUS_BUS(bus), result, &error);
    g_clear_error(&error);
    const bool focused = context && *context;
    g_free(context);
    if (!focused) // the focused window does not talk to IBus
        return request->finish(Outcome::unavailable);
    ensureEngine(request);
}

void start(Request *request)
{
    State &state = *request->state;
    if (!state.bus) {
        state.bus = ibus_bus_new();
        g_signal_connect(state.bus, "disconnected", G_CALLBACK(+[](IBusBus *, gpointer data) {
                             auto *state = static_cast<State *>(data);
                             g_clear_object(&state->factory);
                             state->engine = nullptr;
                         }),
                         &state);
    }
    if (!ibus_bus_is_connected(state.bus))
        return request->finish(Outcome::unavailable);
    ibus_bus_current_input_context_async(state.bus, IbusCommitter::callTimeoutMs, nullptr, contextRead, request);
}

} // namespace

IbusCommitter::IbusCommitter(Scheduler &scheduler) : m_scheduler(scheduler), m_state(std::make_shared<State>())
{
    m_state->scheduler = &scheduler;
    m_thread = std::thread([state = m_state] {
        g_main_context_push_thread_default(state->context);
        ibus_init();
        g_main_loop_run(state->loop);
        // The bus and factory belong to this thread's context.
        g_clear_object(&state->factory);
        g_clear_object(&state->bus);
        g_main_context_pop_thread_default(state->context);
    });
}

IbusCommitter::~IbusCommitter()
{
    {
        const std::lock_guard lock(m_state->posting);
        m_state->stopping = true;
    }
    m_state->submit([loop = m_state->loop] { g_main_loop_quit(loop); });
    m_thread.join();
}

Task<IbusCommitter::Outcome> IbusCommitter::commit(QString text)
{
    AsyncValue<Outcome> answer;
    const std::weak_ptr<State> weak = m_state;
    auto done = [answer, weak](Outcome outcome) {
        const std::shared_ptr<State> state = weak.lock();
        if (!state)
            return;
        const std::lock_guard lock(state->posting);
        if (!state->stopping.load())
            state->scheduler->post([answer, outcome] { answer.resolve(outcome); });
    };
    m_state->submit([request = new Request{m_state, text.toStdString(), done, {}}] { start(request); });
    // A daemon that hangs may still have committed: read back what is in the field.
    Scheduler &scheduler = m_scheduler;
    const Scheduler::TimerId timer = scheduler.schedule(commitWait, [answer] { answer.resolve(Outcome::committed); });
    const Outcome outcome = co_await answer;
    scheduler.cancel(timer);
    co_return outcome;
}

} // namespace orv::ibus
