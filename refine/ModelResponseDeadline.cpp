#include "refine/ModelResponseDeadline.h"

namespace orv {

namespace {

Task<void>
runResponse(std::weak_ptr<ModelResponseDeadline> weak, std::shared_ptr<LanguageModelSession> session, QString prompt)
{
    GenerationOptions options;
    options.greedy = true;
    options.maximumResponseTokens = 1200;
    Expected<QString, ModelError> answer = co_await session->respond(std::move(prompt), options);
    if (auto deadline = weak.lock()) {
        if (answer)
            deadline->finish(std::move(answer).value());
        else
            deadline->finish(unexpected(ResponseError(answer.error())));
    }
}

Task<void> runTimeout(std::weak_ptr<ModelResponseDeadline> weak, Scheduler &scheduler, Duration timeLimit)
{
    const bool slept = co_await sleepFor(scheduler, timeLimit);
    if (!slept)
        co_return;
    if (auto deadline = weak.lock())
        deadline->finish(unexpected(ResponseError(FormatterError::timedOut)));
}

} // namespace

ModelResponseDeadline::ModelResponseDeadline(Scheduler &scheduler, Duration timeLimit)
    : m_scheduler(scheduler), m_timeLimit(timeLimit)
{}

void ModelResponseDeadline::start(AsyncValue<Result> continuation,
                                  std::shared_ptr<LanguageModelSession> session,
                                  QString prompt)
{
    auto self = shared_from_this();
    m_continuation = std::move(continuation);
    m_responseTask = runResponse(weak_from_this(), std::move(session), std::move(prompt));
    // A model that answered at once needs no timer.
    if (m_continuation)
        m_timeoutTask = runTimeout(weak_from_this(), m_scheduler, m_timeLimit);
}

void ModelResponseDeadline::finish(Result result)
{
    if (!m_continuation)
        return;
    auto self = shared_from_this(); // resuming the caller may drop its reference to this deadline
    AsyncValue<Result> continuation = std::move(*m_continuation);
    m_continuation.reset();
    // An answer stops the timer; a timeout or cancellation abandons the model request.
    Task<void> response = std::move(m_responseTask);
    Task<void> timeout = std::move(m_timeoutTask);
    m_responseTask = {};
    m_timeoutTask = {};
    response.cancel();
    timeout.cancel();
    continuation.resolve(std::move(result));
}

void ModelResponseDeadline::cancel()
{
    finish(unexpected(ResponseError(ModelError::cancellation())));
}

} // namespace orv
