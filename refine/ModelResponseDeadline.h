#pragma once

#include "base/Expected.h"
#include "base/Scheduler.h"
#include "base/Task.h"
#include "refine/FormatterError.h"
#include "refine/LanguageModel.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace orv {

// Bounds one model request: the first of the answer, the time limit and a cancellation resumes the
// waiting caller; the others then find nothing to resume. One instance per request, main thread only.
class ModelResponseDeadline : public std::enable_shared_from_this<ModelResponseDeadline>
{
public:
    using Result = Expected<QString, ResponseError>;

    static constexpr Duration limit = std::chrono::seconds(25);

    explicit ModelResponseDeadline(Scheduler &scheduler, Duration timeLimit = limit);
    ModelResponseDeadline(const ModelResponseDeadline &) = delete;
    ModelResponseDeadline &operator=(const ModelResponseDeadline &) = delete;

    void start(AsyncValue<Result> continuation, std::shared_ptr<LanguageModelSession> session, QString prompt);
    void finish(Result result);
    void cancel();

private:
    Scheduler &m_scheduler;
    Duration m_timeLimit;
    std::optional<AsyncValue<Result>> m_continuation;
    Task<void> m_responseTask;
    Task<void> m_timeoutTask;
};

} // namespace orv
