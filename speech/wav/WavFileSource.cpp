#include "speech/wav/WavFileSource.h"

#include <chrono>

namespace orv {

WavFileSource::WavFileSource(std::shared_ptr<const WavAudio> audio,
                             Pace pace,
                             std::function<void()> onEnd,
                             std::shared_ptr<const RecognizerProgress> progress)
    : m_audio(std::move(audio)), m_pace(pace), m_onEnd(std::move(onEnd)), m_progress(std::move(progress))
{}

WavFileSource::~WavFileSource()
{
    stop();
}

AudioFormat WavFileSource::inputFormat()
{
    return AudioFormat{m_audio->sampleRate, m_audio->channels, AudioFormat::SampleType::float32};
}

void WavFileSource::installTap(quint32 framesPerBuffer, const AudioFormat &, TapHandler handler)
{
    std::lock_guard guard(m_tapLock);
    m_framesPerBuffer = std::max<quint32>(framesPerBuffer, 1);
    m_tap = std::move(handler);
}

void WavFileSource::removeTap()
{
    std::lock_guard guard(m_tapLock);
    m_tap = nullptr;
}

Expected<void, SpeechEngineError> WavFileSource::start()
{
    if (m_thread.joinable())
        return {};
    m_stopping = false;
    m_thread = std::thread([this] { play(); });
    return {};
}

void WavFileSource::stop()
{
    m_stopping = true;
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void WavFileSource::play()
{
    const int channels = m_audio->channels;
    const qint64 frames = m_audio->frameCount();
    const auto began = std::chrono::steady_clock::now();
    qint64 frame = 0;
    while (frame < frames && !m_stopping) {
        AudioBuffer buffer;
        {
            std::lock_guard guard(m_tapLock);
            buffer.frameCount = std::min<qint64>(m_framesPerBuffer, frames - frame);
        }
        buffer.format = inputFormat();
        // A file cut shorter while it plays ends there, as a file cut short before does.
        if (!m_audio->copyFrames(frame, buffer.frameCount, buffer.floatSamples) || buffer.floatSamples.empty())
            break;
        buffer.frameCount = qint64(buffer.floatSamples.size()) / channels;
        const Duration time =
            std::chrono::duration_cast<Duration>(std::chrono::duration<double>(double(frame) / m_audio->sampleRate));
        frame += buffer.frameCount;
        if (m_pace == Pace::realTime) {
            // A microphone hands over a buffer once it has been recorded.
            const auto due = began + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                         std::chrono::duration<double>(double(frame) / m_audio->sampleRate));
            while (!m_stopping && std::chrono::steady_clock::now() < due)
                std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                    due - std::chrono::steady_clock::now(), std::chrono::milliseconds(10)));
            if (m_stopping)
                break;
        } else if (m_pace == Pace::followRecognizer && m_progress) {
            while (!m_stopping && time - m_progress->consumed() > maxLead)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (m_stopping)
                break;
        }
        std::lock_guard guard(m_tapLock);
        if (m_tap)
            m_tap(buffer, time);
    }
    if (!m_stopping && m_onEnd)
        m_onEnd();
}

} // namespace orv
