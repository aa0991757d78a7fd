#pragma once

#include "base/Expected.h"
#include "base/Scheduler.h"
#include "speech/AbstractAudioConverter.h"
#include "speech/AnalyzerInputStream.h"
#include "speech/AudioFormat.h"
#include "speech/SpeechEngineError.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace orv {

// The one part of a dictation that runs on the audio thread: converts each captured buffer into the
// recognizer's format, queues it, and meters the level (at most every 80 ms). It ends the input
// stream exactly once: flushed on a normal finish, closed on cancel or failure.
class MicrophoneInputBridge
{
public:
    static constexpr Duration levelInterval = std::chrono::milliseconds(80);

    // The callbacks may be called from any thread, never with the lock held.
    MicrophoneInputBridge(Scheduler &clock,
                          std::unique_ptr<AbstractAudioConverter> converter,
                          std::shared_ptr<AnalyzerInputStream> stream,
                          std::function<void(float)> onLevel,
                          std::function<void(const SpeechEngineError &)> onFailure);

    // The tap handler: called by the audio source for every buffer, on its thread.
    void handleBuffer(const AudioBuffer &buffer, Duration time);
    // End of input for a normal finish; the caller holds lock().
    Expected<void, SpeechEngineError> flush();
    // Ends the stream without flushing; takes the lock itself.
    void close();
    std::mutex &lock() { return m_lock; }

    // RMS of the first channel × 6, clipped at 1; 0 without float data.
    static float levelOf(const AudioBuffer &buffer);

private:
    Expected<std::optional<float>, SpeechEngineError> process(const AudioBuffer &buffer, Duration time);

    std::mutex m_lock;
    // m_clock.now() reads a monotonic clock; both schedulers allow it from the audio thread.
    Scheduler &m_clock;
    std::unique_ptr<AbstractAudioConverter> m_converter;
    std::shared_ptr<AnalyzerInputStream> m_stream;
    std::function<void(float)> m_onLevel;
    std::function<void(const SpeechEngineError &)> m_onFailure;
    bool m_finished = false;
    std::optional<TimePoint> m_lastLevelTime; // none: the distant past
};

} // namespace orv
