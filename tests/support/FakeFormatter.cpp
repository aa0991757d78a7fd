#include "tests/support/FakeFormatter.h"

namespace orv::test {

Task<FormattingResult> FakeFormatter::format(QString text, DictationMode mode, QList<DictionaryEntry> dictionary)
{
    calls.append(Call{text, mode, dictionary});
    if (answer)
        co_return *answer;
    if (echo)
        co_return FormattingResult{text, modelName, std::nullopt};
    AsyncValue<FormattingResult> reply;
    replies.append(reply);
    co_return co_await reply;
}

Task<void> FakeFormatter::refreshModel()
{
    ++refreshCalls;
    if (!holdRefresh)
        co_return;
    AsyncValue<bool> reply;
    refreshes.append(reply);
    co_await reply;
}

} // namespace orv::test
