#include "speech/pulse/PulseConnection.h"

namespace orv {

PulseConnection::PulseConnection(const QByteArray &wantedSource)
{
    m_mainloop.reset(pa_threaded_mainloop_new());
    if (!m_mainloop)
        return;
    m_context.reset(pa_context_new(pa_threaded_mainloop_get_api(mainloop()), "Orvanta"));
    if (!m_context)
        return;
    pa_context_set_state_callback(
        context(),
        [](pa_context *, void *loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0); },
        mainloop());
    if (pa_threaded_mainloop_start(mainloop()) < 0)
        return;
    lock();
    if (pa_context_connect(context(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context());
            if (state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state))
                break;
            pa_threaded_mainloop_wait(mainloop());
        }
    }
    if (pa_context_get_state(context()) == PA_CONTEXT_READY) {
        m_state = State::connected;
        readSource(wantedSource);
    } else {
        m_state = pa_context_errno(context()) == PA_ERR_ACCESS ? State::refused : State::noServer;
    }
    unlock();
}

PulseConnection::~PulseConnection()
{
    if (m_mainloop)
        pa_threaded_mainloop_stop(mainloop());
    m_context.reset();
}

QString PulseConnection::text(const char *utf8)
{
    QString text = QString::fromUtf8(utf8 ? utf8 : "");
    for (QChar &c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    return text.simplified();
}

QByteArray PulseConnection::defaultSourceName()
{
    struct Query
    {
        PulseConnection *self;
        bool done = false;
        QByteArray name = {};
    } query{this};
    pa_operation *serverInfo = pa_context_get_server_info(
        context(),
        [](pa_context *, const pa_server_info *info, void *data) {
            auto *q = static_cast<Query *>(data);
            if (info && info->default_source_name)
                q->name = info->default_source_name;
            q->done = true;
            pa_threaded_mainloop_signal(q->self->mainloop(), 0);
        },
        &query);
    if (!complete(serverInfo, [&] { return query.done; }))
        return {};
    return query.name;
}

bool PulseConnection::useSource(const QByteArray &name)
{
    struct Query
    {
        PulseConnection *self;
        bool done = false;
        bool found = false;
    } query{this};
    pa_operation *sourceInfo = pa_context_get_source_info_by_name(
        context(), name.constData(),
        [](pa_context *, const pa_source_info *info, int eol, void *data) {
            auto *q = static_cast<Query *>(data);
            // The monitor of an output hears what the computer plays, not the user.
            if (info && info->monitor_of_sink == PA_INVALID_INDEX) {
                q->self->m_sourceSpec = info->sample_spec;
                q->self->m_sourceName = QString::fromUtf8(info->name);
                q->self->m_sourceDescription = text(info->description ? info->description : info->name);
                q->found = true;
            }
            if (eol || info)
                q->done = true;
            pa_threaded_mainloop_signal(q->self->mainloop(), 0);
        },
        &query);
    complete(sourceInfo, [&] { return query.done; });
    return query.found;
}

void PulseConnection::readSource(const QByteArray &wanted)
{
    if (!wanted.isEmpty()) {
        if (useSource(wanted))
            return;
        m_wantedSourceMissing = true;
    }
    const QByteArray fallback = defaultSourceName();
    if (!fallback.isEmpty())
        useSource(fallback);
}

} // namespace orv
