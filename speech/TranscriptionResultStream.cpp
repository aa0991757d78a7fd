#include "speech/TranscriptionResultStream.h"

namespace orv {

void TranscriptionResultStream::push(TranscriptionResult result)
{
    if (m_ended)
        return;
    m_queue.push_back(std::move(result));
    wake();
}

void TranscriptionResultStream::finish()
{
    m_ended = true;
    wake();
}

void TranscriptionResultStream::fail(SpeechEngineError error)
{
    if (m_ended)
        return;
    m_error = std::move(error);
    m_ended = true;
    wake();
}

void TranscriptionResultStream::abandon()
{
    if (m_ended)
        return;
    m_abandoned = true;
    if (auto waiter = std::move(m_waiter))
        waiter->abandon();
}

void TranscriptionResultStream::wake()
{
    if (auto waiter = std::move(m_waiter))
        waiter->resume();
}

bool TranscriptionResultStream::Waiter::release()
{
    if (resumed)
        return false;
    resumed = true;
    if (token && link)
        token->removeCallback(link);
    token.reset();
    return true;
}

void TranscriptionResultStream::Waiter::resume()
{
    if (release())
        handle.resume();
}

void TranscriptionResultStream::Waiter::abandon()
{
    if (release())
        handle.destroy();
}

bool TranscriptionResultStream::NextAwaiter::await_ready() const
{
    return (m_token && m_token->isCancelled()) || !m_stream->m_queue.empty() || m_stream->m_ended;
}

void TranscriptionResultStream::NextAwaiter::await_suspend(std::coroutine_handle<> handle)
{
    if (m_stream->m_abandoned) {
        handle.destroy(); // this awaiter lived in that frame
        return;
    }
    auto waiter = std::make_shared<Waiter>();
    waiter->handle = handle;
    m_stream->m_waiter = waiter;
    if (m_token) {
        waiter->token = m_token;
        Scheduler *scheduler = &m_stream->m_scheduler;
        std::weak_ptr<TranscriptionResultStream> stream = m_stream;
        waiter->link = m_token->onCancel([waiter, scheduler, stream] {
            scheduler->post([waiter, stream] {
                if (auto alive = stream.lock(); alive && alive->m_waiter == waiter)
                    alive->m_waiter.reset();
                waiter->resume();
            });
        });
    }
}

TranscriptionResultStream::Next TranscriptionResultStream::NextAwaiter::await_resume()
{
    if (m_token && m_token->isCancelled())
        return unexpected(SpeechEngineError{SpeechEngineError::Kind::cancelled, {}});
    if (!m_stream->m_queue.empty()) {
        TranscriptionResult result = std::move(m_stream->m_queue.front());
        m_stream->m_queue.pop_front();
        return std::optional<TranscriptionResult>(std::move(result));
    }
    if (m_stream->m_error)
        return unexpected(*m_stream->m_error);
    return std::optional<TranscriptionResult>();
}

} // namespace orv
