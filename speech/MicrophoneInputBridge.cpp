#include "speech/MicrophoneInputBridge.h"

#include <algorithm>
#include <cmath>

namespace orv {

MicrophoneInputBridge::MicrophoneInputBridge(Scheduler &clock,
                                             std::unique_ptr<AbstractAudioConverter> converter,
                                             std::shared_ptr<AnalyzerInputStream> stream,
                                             std::function<void(float)> onLevel,
                                             std::function<void(const SpeechEngineError &)> onFailure)
    : m_clock(clock), m_converter(std::move(converter)), m_stream(std::move(stream)), m_onLevel(std::move(onLevel)),
      m_onFailure(std::move(onFailure))
{}

void MicrophoneInputBridge::handleBuffer(const AudioBuffer &buffer, Duration time)
{
    Expected<std::optional<float>, SpeechEngineError> outcome = std::optional<float>();
    {
        std::lock_guard guard(m_lock);
        outcome = process(buffer, time);
    }
    if (!outcome) {
        close();
        if (m_onFailure)
            m_onFailure(outcome.error());
        return;
    }
    if (outcome.value() && m_onLevel)
        m_onLevel(*outcome.value());
}

Expected<std::optional<float>, SpeechEngineError> MicrophoneInputBridge::process(const AudioBuffer &buffer,
                                                                                 Duration time)
{
    if (m_finished || buffer.frameCount < 1)
        return std::optional<float>();
    auto converted = m_converter->convert(buffer, time);
    if (!converted)
        return unexpected(converted.error());
    for (auto &input : converted.value())
        m_stream->yield(std::move(input));

    const TimePoint now = m_clock.now();
    if (m_lastLevelTime && now - *m_lastLevelTime < levelInterval)
        return std::optional<float>();
    m_lastLevelTime = now;
    return std::optional<float>(levelOf(buffer));
}

float MicrophoneInputBridge::levelOf(const AudioBuffer &buffer)
{
    if (!buffer.hasFloatData() || buffer.frameCount < 1)
        return 0;
    const qint64 stride = std::max(buffer.format.channels, 1);
    const qint64 frames = std::min<qint64>(buffer.frameCount, qint64(buffer.floatSamples.size()) / stride);
    if (frames < 1)
        return 0;
    float sum = 0;
    for (qint64 i = 0; i < frames; ++i) {
        const float sample = buffer.floatSamples[std::size_t(i * stride)];
        sum += sample * sample;
    }
    // Decibels, as the ear hears them: a quiet microphone moves the meter as a loud one does, while room noise
    // (below -50 dBFS) leaves it still and full scale fills it.
    const float rms = std::sqrt(sum / float(frames));
    if (rms <= 0)
        return 0;
    return std::clamp((20.0f * std::log10(rms) + 50.0f) / 50.0f, 0.0f, 1.0f);
}

Expected<void, SpeechEngineError> MicrophoneInputBridge::flush()
{
    if (m_finished)
        return {};
    m_finished = true;
    auto rest = m_converter->flush();
    if (!rest) {
        m_stream->finish();
        return unexpected(rest.error());
    }
    for (auto &input : rest.value())
        m_stream->yield(std::move(input));
    m_stream->finish();
    return {};
}

void MicrophoneInputBridge::close()
{
    std::lock_guard guard(m_lock);
    if (m_finished)
        return;
    m_finished = true;
    m_stream->finish();
}

} // namespace orv
