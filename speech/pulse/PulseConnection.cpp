#include "speech/pulse/PulseConnection.h"

namespace orv {

PulseConnection::PulseConnection()
{
    m_mainloop = pa_threaded_mainloop_new();
    if (!m_mainloop)
        return;
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Orvanta");
    if (!m_context)
        return;
    pa_context_set_state_callback(
        m_context,
        [](pa_context *, void *loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0); },
        m_mainloop);
    if (pa_threaded_mainloop_start(m_mainloop) < 0)
        return;
    lock();
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state))
                break;
            pa_threaded_mainloop_wait(m_mainloop);
        }
    }
    if (pa_context_get_state(m_context) == PA_CONTEXT_READY) {
        m_state = State::connected;
        readDefaultSource();
    } else {
        m_state = pa_context_errno(m_context) == PA_ERR_ACCESS ? State::refused : State::noServer;
    }
    unlock();
}

PulseConnection::~PulseConnection()
{
    if (m_mainloop)
        pa_threaded_mainloop_stop(m_mainloop);
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_mainloop)
        pa_threaded_mainloop_free(m_mainloop);
}

void PulseConnection::readDefaultSource()
{
    struct Query
    {
        PulseConnection *self;
        bool done = false;
        QByteArray defaultSource = {};
    } query{this};

    pa_operation *serverInfo = pa_context_get_server_info(
        m_context,
        [](pa_context *, const pa_server_info *info, void *data) {
            auto *q = static_cast<Query *>(data);
            if (info && info->default_source_name)
                q->defaultSource = info->default_source_name;
            q->done = true;
            pa_threaded_mainloop_signal(q->self->m_mainloop, 0);
        },
        &query);
    if (!complete(serverInfo, [&] { return query.done; }) || query.defaultSource.isEmpty())
        return;

    query.done = false;
    pa_operation *sourceInfo = pa_context_get_source_info_by_name(
        m_context, query.defaultSource.constData(),
        [](pa_context *, const pa_source_info *info, int eol, void *data) {
            auto *q = static_cast<Query *>(data);
            if (info && info->monitor_of_sink == PA_INVALID_INDEX) {
                q->self->m_sourceSpec = info->sample_spec;
                q->self->m_sourceName = QString::fromUtf8(info->name);
            }
            if (eol || info)
                q->done = true;
            pa_threaded_mainloop_signal(q->self->m_mainloop, 0);
        },
        &query);
    complete(sourceInfo, [&] { return query.done; });
}

} // namespace orv
