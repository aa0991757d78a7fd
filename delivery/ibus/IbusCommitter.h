#pragma once

#include "base/Scheduler.h"
#include "base/Task.h"

#include <QString>

#include <functional>
#include <memory>
#include <thread>

namespace orv::ibus {

// Puts text into the focused field through the session's IBus daemon, as an input method would: Orvanta's
// own engine becomes the global engine for a moment, commits the text, and the user's engine comes back.
// libibus runs on a thread of its own with a private GLib context, so neither the Qt event loop nor the
// accessibility thread ever waits on the daemon (and the daemon, which calls back into our engine
// factory while it switches engines, never waits on a thread that is waiting on it).
class IbusCommitter
{
public:
    enum class Outcome
    {
        committed,   // sent to the focused input context; only a read-back tells whether it arrived
        unavailable, // no daemon, or no input context has focus: nothing was sent
    };

    explicit IbusCommitter(Scheduler &scheduler);
    ~IbusCommitter();
    IbusCommitter(const IbusCommitter &) = delete;
    IbusCommitter &operator=(const IbusCommitter &) = delete;

    // A daemon that has not answered within commitWait may have committed: that counts as committed.
    Task<Outcome> commit(QString text);

    static constexpr Duration commitWait = std::chrono::milliseconds(1500);
    static constexpr int callTimeoutMs = 1000;
    // Our engine's name, and the name its factory holds on the IBus bus.
    static constexpr const char *engineName = "orvanta-dictation";
    static constexpr const char *componentName = "io.orvanta.Orvanta.Dictation";

    struct State; // the thread's side

private:
    Scheduler &m_scheduler;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace orv::ibus
