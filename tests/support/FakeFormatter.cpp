#include "tests/support/FakeFormatter.h"

namespace orv::test {

FakeFormatter::~FakeFormatter()
{
    for (const auto &reply : std::as_const(replies))
        reply.abandon();
    for (const auto &refresh : std::as_const(refreshes))
        refresh.abandon();
}

Task<FormattingResult> FakeFormatter::format(QString text, DictationMode mode, QList<DictionaryEntry> dictionary)
{
    calls.append(Call{text, mode, dictionary});
    if (answer)
        co_return *answer;
    if (echo)
        co_return FormattingResult{text, modelName, std::nullopt};
    AsyncValue<FormattingResult> reply;
    replies.append(reply);
    const CancelToken token = co_await currentCancellation();
    const auto link = token->onCancel([this] { ++cancellations; });
    FormattingResult result = co_await reply;
    token->removeCallback(link);
    co_return result;
}

Task<void> FakeFormatter::refreshModel()
{
    ++refreshCalls;
    if (holdRefresh)
        co_await answerOrWait<bool>(std::nullopt, refreshes);
}

} // namespace orv::test
