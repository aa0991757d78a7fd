#pragma once

#include "base/Scheduler.h"

#include <atomic>

namespace orv {

// How much of the current session's audio the recognizer has consumed, shared between its thread, a
// file source that must not run ahead of it, and a progress report.
class RecognizerProgress
{
public:
    void restart() { m_consumed = 0; }
    void advance(Duration audio) { m_consumed += audio.count(); }
    Duration consumed() const { return Duration(m_consumed.load()); }

private:
    std::atomic<Duration::rep> m_consumed{0};
};

} // namespace orv
