#include "tests/support/FakeAudioSource.h"

namespace orv::test {

bool FakeAudioSource::Log::deliver(const AudioBuffer &buffer, Duration time)
{
    if (!tap)
        return false;
    tap(buffer, time);
    return true;
}

void FakeAudioSource::installTap(quint32 framesPerBuffer, const AudioFormat &, TapHandler handler)
{
    m_log->framesPerBuffer = framesPerBuffer;
    m_log->tap = std::move(handler);
}

void FakeAudioSource::removeTap()
{
    ++m_log->tapsRemoved;
    m_log->tap = nullptr;
}

Expected<void, SpeechEngineError> FakeAudioSource::start()
{
    ++m_log->starts;
    if (m_log->startError)
        return unexpected(*m_log->startError);
    m_log->running = true;
    return {};
}

void FakeAudioSource::stop()
{
    ++m_log->stops;
    m_log->running = false;
}

AudioBuffer FakeAudioSource::constantBuffer(const AudioFormat &format, qint64 frames, float value)
{
    return AudioBuffer{format, frames, std::vector<float>(std::size_t(frames * format.channels), value), {}};
}

} // namespace orv::test
