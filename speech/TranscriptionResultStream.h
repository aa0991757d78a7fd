#pragma once

#include "base/Expected.h"
#include "base/Task.h"
#include "speech/SpeechEngineError.h"
#include "speech/TranscriptionResult.h"

#include <coroutine>
#include <deque>
#include <memory>
#include <optional>

namespace orv {

// The recognizer's result sequence on the main thread: one consumer awaits next(), the recognizer
// pushes, then ends it (or fails it). A cancelled consumer resumes at the next turn of the loop with a
// cancellation error.
class TranscriptionResultStream : public std::enable_shared_from_this<TranscriptionResultStream>
{
public:
    // nullopt at the end of the sequence
    using Next = Expected<std::optional<TranscriptionResult>, SpeechEngineError>;

    explicit TranscriptionResultStream(Scheduler &scheduler) : m_scheduler(scheduler) {}

    void push(TranscriptionResult result);
    void finish();
    void fail(SpeechEngineError error);
    bool isEnded() const { return m_ended; }
    // Neither more results nor the end will come (the recognizer went without a word): the consumer
    // waiting for the next one ends without resuming, as does one that asks later.
    void abandon();

    class NextAwaiter
    {
    public:
        explicit NextAwaiter(std::shared_ptr<TranscriptionResultStream> stream) : m_stream(std::move(stream)) {}
        void bindCancellation(const CancelToken &token) { m_token = token; }
        bool await_ready() const;
        void await_suspend(std::coroutine_handle<> handle);
        Next await_resume();

    private:
        std::shared_ptr<TranscriptionResultStream> m_stream;
        CancelToken m_token;
    };
    NextAwaiter next() { return NextAwaiter(shared_from_this()); }

private:
    struct Waiter
    {
        std::coroutine_handle<> handle;
        CancelToken token;
        CancellationState::CallbackId link = 0;
        bool resumed = false;
        void resume();
        void abandon();
        // The one end of the wait: true the first time.
        bool release();
    };

    void wake();

    Scheduler &m_scheduler;
    std::deque<TranscriptionResult> m_queue;
    bool m_ended = false;
    bool m_abandoned = false;
    std::optional<SpeechEngineError> m_error;
    std::shared_ptr<Waiter> m_waiter;
};

} // namespace orv
