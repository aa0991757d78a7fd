#pragma once

#include "speech/AudioFormat.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace orv {

// The unbounded queue from the microphone bridge (producer) to the recognizer (consumer, on its own
// thread). Ended once; nothing is queued after the end.
class AnalyzerInputStream
{
public:
    // False when the stream has already ended.
    bool yield(AnalyzerInput input);
    void finish();
    bool isFinished() const;

    // Blocks until an input or the end arrives; nullopt at the end (or when interrupted).
    std::optional<AnalyzerInput> next();
    // Takes what is queued without waiting.
    std::optional<AnalyzerInput> tryNext();
    // Wakes a consumer blocked in next() for good: a recognizer cancelled mid-stream.
    void interrupt();
    bool isInterrupted() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<AnalyzerInput> m_queue;
    bool m_finished = false;
    bool m_interrupted = false;
};

} // namespace orv
