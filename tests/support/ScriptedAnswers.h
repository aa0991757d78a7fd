#pragma once

#include "base/Task.h"

#include <QList>

#include <optional>
#include <utility>

namespace orv::test {

// Calls a callback the code under test may have left unset.
template <typename Callback, typename... Args>
void callIfSet(const Callback &callback, Args &&...args)
{
    if (callback)
        callback(std::forward<Args>(args)...);
}

// The scripted answer at once when there is one; otherwise a reply appended to `replies` for the test to
// resolve.
template <typename T>
Task<T> answerOrWait(std::optional<T> answer, QList<AsyncValue<T>> &replies)
{
    if (answer)
        co_return *answer;
    AsyncValue<T> reply;
    replies.append(reply);
    co_return co_await reply;
}

} // namespace orv::test
