#include "speech/AnalyzerInputStream.h"

namespace orv {

bool AnalyzerInputStream::yield(AnalyzerInput input)
{
    {
        std::lock_guard guard(m_lock);
        if (m_finished)
            return false;
        m_queue.push_back(std::move(input));
    }
    m_changed.notify_all();
    return true;
}

void AnalyzerInputStream::finish()
{
    {
        std::lock_guard guard(m_lock);
        m_finished = true;
    }
    m_changed.notify_all();
}

bool AnalyzerInputStream::isFinished() const
{
    std::lock_guard guard(m_lock);
    return m_finished;
}

std::optional<AnalyzerInput> AnalyzerInputStream::next()
{
    std::unique_lock guard(m_lock);
    m_changed.wait(guard, [this] { return !m_queue.empty() || m_finished || m_interrupted; });
    if (m_interrupted || m_queue.empty())
        return std::nullopt;
    AnalyzerInput input = std::move(m_queue.front());
    m_queue.pop_front();
    return input;
}

std::optional<AnalyzerInput> AnalyzerInputStream::tryNext()
{
    std::lock_guard guard(m_lock);
    if (m_queue.empty())
        return std::nullopt;
    AnalyzerInput input = std::move(m_queue.front());
    m_queue.pop_front();
    return input;
}

void AnalyzerInputStream::interrupt()
{
    {
        std::lock_guard guard(m_lock);
        m_interrupted = true;
    }
    m_changed.notify_all();
}

bool AnalyzerInputStream::isInterrupted() const
{
    std::lock_guard guard(m_lock);
    return m_interrupted;
}

} // namespace orv
