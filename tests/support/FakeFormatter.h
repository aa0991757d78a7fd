#pragma once

#include "refine/AbstractFormatter.h"
#include "tests/support/ScriptedAnswers.h"

#include <QList>

#include <optional>

namespace orv::test {

// Scripts the formatter: answers at once with `answer` when set (or with the text unchanged when
// `echo` is true), otherwise waits for the test to resolve the reply it appended. Records every call.
class FakeFormatter final : public AbstractFormatter
{
public:
    // Answers still held end their waiters, as a platform's pending answers do when it goes.
    ~FakeFormatter() override;

    struct Call
    {
        QString text;
        DictationMode mode;
        QList<DictionaryEntry> dictionary;
    };

    Task<FormattingResult> format(QString text, DictationMode mode, QList<DictionaryEntry> dictionary) override;
    QString statusText() const override { return status; }
    QString modelDisplayName() const override { return modelName; }
    void checkModel() override { ++modelChecks; }
    // Counts the call; with holdRefresh set, waits for the test to resolve the reply appended to `refreshes`.
    Task<void> refreshModel() override;

    bool echo = true;
    std::optional<FormattingResult> answer;
    QList<AsyncValue<FormattingResult>> replies;
    QList<Call> calls;
    int cancellations = 0; // formattings whose task was cancelled while they ran
    int modelChecks = 0;
    int refreshCalls = 0;
    bool holdRefresh = false;
    QList<AsyncValue<bool>> refreshes;
    QString status = QStringLiteral("Built-in rules are ready.");
    QString modelName = QStringLiteral("Built-in rules");
};

} // namespace orv::test
