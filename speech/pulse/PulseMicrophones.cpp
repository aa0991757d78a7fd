#include "speech/pulse/PulseMicrophones.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace orv {

struct PulseMicrophones::Listing
{
    PulseMicrophones *self;
    QByteArray defaultName = {};
    QList<Microphone> list = {};
};

PulseMicrophones::PulseMicrophones(Scheduler &scheduler, Choice choice)
    : m_scheduler(scheduler), m_choice(std::move(choice))
{
    connect();
}

PulseMicrophones::~PulseMicrophones()
{
    m_lifetime.reset();
    if (m_reconnect)
        m_scheduler.cancel(m_reconnect);
    disconnect();
}

void PulseMicrophones::post(std::function<void(PulseMicrophones &)> step)
{
    m_scheduler.post([alive = m_alive, self = this, step = std::move(step)] {
        if (!alive.expired())
            step(*self);
    });
}

void PulseMicrophones::connect()
{
    m_reconnect = 0;
    auto connection = std::make_unique<PulseConnection>();
    if (connection->state() != PulseConnection::State::connected) {
        std::weak_ptr<Lifetime> alive = m_lifetime;
        m_reconnect = m_scheduler.schedule(reconnectDelay, [alive, self = this] {
            if (!alive.expired())
                self->connect();
        });
        return;
    }
    m_connection = std::move(connection);
    m_connection->lock();
    m_connectionLost = false;
    pa_context *context = m_connection->context();
    pa_context_set_state_callback(context, &PulseMicrophones::onContextState, this);
    pa_context_set_subscribe_callback(context, &PulseMicrophones::onEvent, this);
    if (pa_operation *subscribed = pa_context_subscribe(
            context, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER), nullptr,
            nullptr))
        pa_operation_unref(subscribed);
    list();
    m_connection->unlock();
    if (m_onLevel)
        openMeter();
}

void PulseMicrophones::disconnect()
{
    if (!m_connection)
        return;
    closeMeter();
    m_connection->lock();
    pa_context_set_subscribe_callback(m_connection->context(), nullptr, nullptr);
    pa_context_set_state_callback(m_connection->context(), nullptr, nullptr);
    m_connection->unlock();
    m_connection.reset(); // stops the main loop
    m_listing.reset();
    m_listAgain = false;
}

void PulseMicrophones::onContextState(pa_context *context, void *self)
{
    auto *microphones = static_cast<PulseMicrophones *>(self);
    pa_threaded_mainloop_signal(microphones->m_connection->mainloop(), 0);
    if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) || microphones->m_connectionLost)
        return;
    microphones->m_connectionLost = true;
    microphones->post([](PulseMicrophones &self) {
        self.disconnect();
        self.publish({});
        self.connect();
    });
}

void PulseMicrophones::onEvent(pa_context *, pa_subscription_event_type_t, uint32_t, void *self)
{
    static_cast<PulseMicrophones *>(self)->list();
}

void PulseMicrophones::list()
{
    if (m_listing) { // events come in bursts: one more listing after this one sees them all
        m_listAgain = true;
        return;
    }
    m_listing = std::make_unique<Listing>(Listing{this});
    pa_operation *server = pa_context_get_server_info(
        m_connection->context(),
        [](pa_context *context, const pa_server_info *info, void *data) {
            auto *listing = static_cast<Listing *>(data);
            if (info && info->default_source_name)
                listing->defaultName = info->default_source_name;
            pa_operation *sources = pa_context_get_source_info_list(
                context,
                [](pa_context *, const pa_source_info *source, int eol, void *data) {
                    auto *listing = static_cast<Listing *>(data);
                    if (source && source->monitor_of_sink == PA_INVALID_INDEX)
                        listing->list.append(Microphone{PulseConnection::text(source->name),
                                                        PulseConnection::text(source->description),
                                                        listing->defaultName == source->name});
                    if (eol != 0)
                        listing->self->listed(eol > 0 ? listing->list : QList<Microphone>());
                },
                listing);
            if (sources)
                pa_operation_unref(sources);
            else
                listing->self->listed({});
        },
        m_listing.get());
    if (server)
        pa_operation_unref(server);
    else
        listed({});
}

void PulseMicrophones::listed(QList<Microphone> list)
{
    m_listing.reset();
    post([list](PulseMicrophones &self) { self.publish(list); });
    if (std::exchange(m_listAgain, false))
        this->list();
}

void PulseMicrophones::publish(QList<Microphone> list)
{
    const bool listed = bool(m_connection);
    if (list == m_list && listed == m_listed)
        return;
    m_list = std::move(list);
    m_listed = listed;
    if (onChanged)
        onChanged();
}

Microphone PulseMicrophones::chosen() const
{
    return m_choice.read ? m_choice.read() : Microphone{};
}

Expected<void, QString> PulseMicrophones::choose(const QString &name)
{
    if (!m_choice.write)
        return unexpected(QStringLiteral("The microphone cannot be chosen here."));
    return m_choice.write(Microphone{name, name.isEmpty() ? QString() : displayName(m_list, name)});
}

// --- the meter

void PulseMicrophones::startMeter(const QString &name, std::function<void(float)> onLevel)
{
    stopMeter();
    m_meterSource = name;
    m_onLevel = std::move(onLevel);
    openMeter();
}

void PulseMicrophones::stopMeter()
{
    closeMeter();
    m_onLevel = nullptr;
}

void PulseMicrophones::openMeter()
{
    if (!m_connection || m_meter)
        return;
    m_connection->lock();
    ++m_meterGeneration;
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, meterRate, 1};
    m_meter = pa_stream_new(m_connection->context(), "Microphone level", &spec, nullptr);
    if (m_meter) {
        pa_stream_set_read_callback(m_meter, &PulseMicrophones::onMeterReadable, this);
        pa_buffer_attr attributes{};
        attributes.maxlength = quint32(-1);
        attributes.fragsize = sizeof(float);
        const QByteArray source = m_meterSource.toUtf8();
        const auto flags = pa_stream_flags_t(PA_STREAM_PEAK_DETECT | PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(m_meter, source.isEmpty() ? nullptr : source.constData(), &attributes, flags) <
            0) {
            pa_stream_set_read_callback(m_meter, nullptr, nullptr);
            pa_stream_unref(m_meter);
            m_meter = nullptr;
        }
    }
    m_connection->unlock();
}

void PulseMicrophones::closeMeter()
{
    if (!m_meter)
        return;
    m_connection->lock();
    ++m_meterGeneration;
    pa_stream_set_read_callback(m_meter, nullptr, nullptr);
    pa_stream_disconnect(m_meter);
    pa_stream_unref(m_meter);
    m_meter = nullptr;
    m_connection->unlock();
}

void PulseMicrophones::onMeterReadable(pa_stream *stream, size_t, void *self)
{
    auto *microphones = static_cast<PulseMicrophones *>(self);
    float peak = -1;
    const void *data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0) {
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            break;
        if (data) {
            const auto *samples = static_cast<const float *>(data);
            for (size_t i = 0; i < bytes / sizeof(float); ++i)
                peak = std::max(peak, std::fabs(samples[i]));
        }
        pa_stream_drop(stream);
    }
    if (peak < 0)
        return;
    const quint64 generation = microphones->m_meterGeneration;
    const float level = std::min(peak, 1.0f);
    microphones->post([generation, level](PulseMicrophones &self) {
        if (self.m_meterGeneration == generation && self.m_onLevel)
            self.m_onLevel(level);
    });
}

} // namespace orv
