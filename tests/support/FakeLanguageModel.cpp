#include "tests/support/FakeLanguageModel.h"

using namespace Qt::StringLiterals;

namespace orv::test {

namespace {

class FakeSession final : public LanguageModelSession
{
public:
    FakeSession(Scheduler &scheduler,
                std::shared_ptr<FakeLanguageModel::Record> record,
                std::function<FakeLanguageModel::Answer(const QString &)> answer)
        : m_scheduler(scheduler), m_record(std::move(record)), m_answer(std::move(answer))
    {}

    Task<Expected<QString, ModelError>> respond(QString prompt, GenerationOptions) override
    {
        m_record->prompts.append(prompt);
        const FakeLanguageModel::Answer answer = m_answer(prompt);
        if (answer.delay > Duration::zero()) {
            const bool slept = co_await sleepFor(m_scheduler, answer.delay);
            if (!slept) {
                ++m_record->cancelledRequests;
                co_return unexpected(ModelError::cancellation());
            }
        }
        ++m_record->completedRequests;
        co_return answer.result;
    }

private:
    Scheduler &m_scheduler;
    std::shared_ptr<FakeLanguageModel::Record> m_record;
    std::function<FakeLanguageModel::Answer(const QString &)> m_answer;
};

} // namespace

FakeLanguageModel::FakeLanguageModel(Scheduler &scheduler) : m_scheduler(scheduler)
{
    countTokens = [](const QString &text) -> Expected<int, ModelError> { return int(text.size() / 4); };
    answer = [](const QString &prompt) { return Answer{Duration::zero(), dictationOf(prompt)}; };
}

QString FakeLanguageModel::dictationOf(const QString &prompt)
{
    const QString open = u"<dictation>\n"_s;
    const QString close = u"\n</dictation>"_s;
    const qsizetype start = prompt.indexOf(open) + open.size();
    return prompt.mid(start, prompt.lastIndexOf(close) - start);
}

std::shared_ptr<LanguageModelSession> FakeLanguageModel::makeSession(QString instructions)
{
    m_record->instructions.append(instructions);
    return std::make_shared<FakeSession>(m_scheduler, m_record, answer);
}

Task<void> FakeLanguageModel::refresh()
{
    ++m_record->refreshes;
    // Nothing of this model is touched after the sleep: it may be gone by then.
    const std::function<void()> then = onRefresh;
    if (refreshDelay > Duration::zero())
        co_await sleepFor(m_scheduler, refreshDelay);
    if (then)
        then();
}

} // namespace orv::test
