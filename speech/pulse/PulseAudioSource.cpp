#include "speech/pulse/PulseAudioSource.h"

namespace orv {

namespace {

SpeechEngineError serverError(const QString &what, int code)
{
    return SpeechEngineError{
        SpeechEngineError::Kind::platform,
        QStringLiteral("The sound server could not %1: %2.").arg(what, QString::fromUtf8(pa_strerror(code)))};
}

} // namespace

PulseAudioSource::PulseAudioSource(const Microphone &wanted)
    : m_wanted(wanted), m_connection(std::make_unique<PulseConnection>(wanted.name.toUtf8()))
{}

QString PulseAudioSource::notice() const
{
    if (!m_connection->wantedSourceMissing() || m_connection->sourceName().isEmpty())
        return {};
    return QStringLiteral(
               "The microphone “%1” is not connected; this dictation records from the desktop default, “%2”.")
        .arg(m_wanted.description.isEmpty() ? m_wanted.name : m_wanted.description, m_connection->sourceDescription());
}

PulseAudioSource::~PulseAudioSource()
{
    stop();
    removeTap();
}

AudioFormat PulseAudioSource::inputFormat()
{
    if (m_connection->state() != PulseConnection::State::connected)
        return AudioFormat{};
    const pa_sample_spec spec = m_connection->sourceSpec();
    return AudioFormat{double(spec.rate), int(spec.channels), AudioFormat::SampleType::float32};
}

void PulseAudioSource::installTap(quint32 framesPerBuffer, const AudioFormat &, TapHandler handler)
{
    m_connection->lock();
    m_framesPerBuffer = std::max<quint32>(framesPerBuffer, 1);
    m_tap = std::move(handler);
    m_connection->unlock();
}

void PulseAudioSource::removeTap()
{
    if (m_connection->state() != PulseConnection::State::connected) {
        m_tap = nullptr;
        return;
    }
    m_connection->lock(); // waits for a running read callback
    m_tap = nullptr;
    m_connection->unlock();
}

Expected<void, SpeechEngineError> PulseAudioSource::start()
{
    if (m_connection->state() == PulseConnection::State::refused)
        return unexpected(SpeechEngineError{SpeechEngineError::Kind::microphonePermissionDenied, {}});
    const AudioFormat format = inputFormat();
    if (!format.isUsable())
        return unexpected(SpeechEngineError{SpeechEngineError::Kind::microphoneUnavailable, {}});
    if (m_stream)
        return {};

    m_connection->lock();
    pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, quint32(format.sampleRate), quint8(format.channels)};
    m_stream = pa_stream_new(m_connection->context(), "Dictation", &spec, nullptr);
    if (!m_stream) {
        const int code = pa_context_errno(m_connection->context());
        m_connection->unlock();
        return unexpected(serverError(QStringLiteral("open the microphone"), code));
    }
    pa_stream_set_state_callback(m_stream, &PulseAudioSource::onStateChanged, this);
    pa_stream_set_read_callback(m_stream, &PulseAudioSource::onReadable, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = quint32(-1);
    attributes.fragsize = quint32(m_framesPerBuffer * pa_frame_size(&spec));
    const QByteArray source = m_connection->sourceName().toUtf8();
    int result = pa_stream_connect_record(m_stream, source.isEmpty() ? nullptr : source.constData(), &attributes,
                                          pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE));
    if (result >= 0) {
        m_connection->waitFor([this] {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        });
        if (pa_stream_get_state(m_stream) != PA_STREAM_READY)
            result = -1;
    }
    if (result < 0) {
        const int code = pa_context_errno(m_connection->context());
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
        m_connection->unlock();
        if (code == PA_ERR_ACCESS)
            return unexpected(SpeechEngineError{SpeechEngineError::Kind::microphonePermissionDenied, {}});
        return unexpected(serverError(QStringLiteral("start recording"), code));
    }
    m_recording = true;
    m_connection->unlock();
    return {};
}

void PulseAudioSource::setFailureHandler(FailureHandler handler)
{
    if (m_connection->state() != PulseConnection::State::connected) {
        m_failure = std::move(handler);
        return;
    }
    m_connection->lock();
    m_failure = std::move(handler);
    m_connection->unlock();
}

void PulseAudioSource::onStateChanged(pa_stream *stream, void *self)
{
    auto *source = static_cast<PulseAudioSource *>(self);
    pa_threaded_mainloop_signal(source->m_connection->mainloop(), 0);
    // A stream that fails while recording has lost the server or its source: nothing else would tell the
    // session, since audio simply stops coming. With the server still there, the source went away.
    if (!source->m_recording || PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        return;
    source->m_recording = false;
    if (!source->m_failure)
        return;
    pa_context *context = source->m_connection->context();
    if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        source->m_failure(
            SpeechEngineError{SpeechEngineError::Kind::inputLost, source->m_connection->sourceDescription()});
    else
        source->m_failure(serverError(QStringLiteral("keep recording"), pa_context_errno(context)));
}

void PulseAudioSource::stop()
{
    if (!m_stream)
        return;
    m_connection->lock();
    m_recording = false;
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
    m_pending.clear();
    m_connection->unlock();
}

void PulseAudioSource::onReadable(pa_stream *stream, size_t, void *self)
{
    auto *source = static_cast<PulseAudioSource *>(self);
    const void *data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0) {
        if (pa_stream_peek(stream, &data, &bytes) < 0)
            return;
        if (bytes == 0)
            break;
        if (data) // a hole (null data) is skipped
            source->deliver(static_cast<const float *>(data), bytes / sizeof(float));
        pa_stream_drop(stream);
    }
}

void PulseAudioSource::deliver(const float *samples, size_t count)
{
    m_pending.insert(m_pending.end(), samples, samples + count);
    const AudioFormat format = inputFormat();
    const size_t perBuffer = size_t(m_framesPerBuffer) * size_t(format.channels);
    size_t offset = 0;
    while (m_pending.size() - offset >= perBuffer) {
        AudioBuffer buffer;
        buffer.format = format;
        buffer.frameCount = m_framesPerBuffer;
        buffer.floatSamples.assign(m_pending.begin() + std::ptrdiff_t(offset),
                                   m_pending.begin() + std::ptrdiff_t(offset + perBuffer));
        offset += perBuffer;
        const Duration time = std::chrono::duration_cast<Duration>(
            std::chrono::duration<double>(double(m_framesDelivered) / format.sampleRate));
        m_framesDelivered += m_framesPerBuffer;
        if (m_tap)
            m_tap(buffer, time);
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(offset));
}

} // namespace orv
