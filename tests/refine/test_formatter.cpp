#include "refine/IntelligenceFormatter.h"
#include "refine/LanguageModelSelector.h"
#include "tests/support/FakeLanguageModel.h"
#include "tests/support/VirtualScheduler.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using test::FakeLanguageModel;

namespace {

const QString engine = u"PocketSphinx"_s;
const QString kept = u" Kept your original dictation."_s;
const QString cancelledNotice = u"Formatting was cancelled."_s + kept;

// The dictation given back as it was, with why.
FormattingResult unformatted(const QString &notice, const QString &text = u"hello"_s)
{
    return FormattingResult{text, engine, notice};
}

class FormatterTest : public ::testing::Test
{
protected:
    FormatterTest()
    {
        auto model = std::make_unique<FakeLanguageModel>(scheduler);
        fake = model.get();
        formatter = std::make_unique<IntelligenceFormatter>(scheduler, std::move(model), engine);
    }

    FormattingResult formatNow(const QString &text,
                               DictationMode mode = DictationMode::clean,
                               const QList<DictionaryEntry> &dictionary = {})
    {
        auto task = formatter->format(text, mode, dictionary);
        scheduler.runUntilIdle();
        EXPECT_TRUE(task.isDone());
        return task.isDone() ? task.result() : FormattingResult{};
    }

    // Answers every request with its dictation and a full stop, after delay.
    void answerAfter(Duration delay)
    {
        fake->answer = [delay](const QString &prompt) {
            return FakeLanguageModel::Answer{delay, FakeLanguageModel::dictationOf(prompt) + u"."_s};
        };
    }

    test::VirtualScheduler scheduler;
    FakeLanguageModel *fake = nullptr;
    std::unique_ptr<IntelligenceFormatter> formatter;
};

QString dictationOf(qsizetype length)
{
    return u"lorem ipsum dolor "_s.repeated(length / 18 + 1).left(length);
}

} // namespace

TEST_F(FormatterTest, verbatimAndEmptyDictationsNeverReachTheModel)
{
    scheduler.runUntilIdle();
    ASSERT_EQ(fake->record().refreshes, 1) << "the model is asked once, at construction";
    fake->availabilityValue = ModelAvailability::unavailable(ModelAvailability::Reason::other);
    EXPECT_EQ(formatNow(u"  hello there \n"_s, DictationMode::verbatim),
              (FormattingResult{u"hello there"_s, engine, std::nullopt}));
    EXPECT_EQ(formatNow(u" \n\t "_s, DictationMode::structured), (FormattingResult{QString(), engine, std::nullopt}));
    EXPECT_EQ(fake->record().refreshes, 1);
    EXPECT_TRUE(fake->record().instructions.isEmpty()) << "no session was made";
    EXPECT_TRUE(fake->record().prompts.isEmpty());
}

// The model (a local server) is asked at construction and when the owner says so, in the background.
// Formatting waits only for the very first answer; later it uses what the last answer said, so a silent
// server's probe never delays a dictation.
TEST(FormatterModelCheck, theModelIsAskedInTheBackgroundAndFormattingWaitsOnlyForTheFirstAnswer)
{
    test::VirtualScheduler scheduler;
    auto model = std::make_unique<FakeLanguageModel>(scheduler);
    FakeLanguageModel *fake = model.get();
    fake->refreshDelay = 2s;
    fake->name = u"Not yet asked"_s;
    fake->onRefresh = [fake] { fake->name = u"qwen2.5"_s; };
    IntelligenceFormatter formatter(scheduler, std::move(model), engine);
    int changes = 0;
    formatter.onModelChange = [&changes] { ++changes; };
    EXPECT_EQ(fake->record().refreshes, 1);

    auto first = formatter.format(u"hello"_s, DictationMode::clean, {});
    scheduler.advance(1999ms);
    EXPECT_FALSE(first.isDone()) << "the first formatting waits for the first answer";
    scheduler.advance(1ms);
    ASSERT_TRUE(first.isDone());
    EXPECT_EQ(first.result().formatter, u"qwen2.5"_s);
    EXPECT_EQ(changes, 1) << "the answer is reported";

    fake->onRefresh = [fake] { fake->name = u"llama3"_s; };
    formatter.checkModel();
    formatter.checkModel(); // one question at a time
    EXPECT_EQ(fake->record().refreshes, 2);
    auto meanwhile = formatter.format(u"hello"_s, DictationMode::clean, {});
    scheduler.runPending();
    ASSERT_TRUE(meanwhile.isDone()) << "no wait for a probe in flight";
    EXPECT_EQ(meanwhile.result().formatter, u"qwen2.5"_s);
    scheduler.advance(2s);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(formatter.modelDisplayName(), u"llama3"_s);
    EXPECT_EQ(fake->record().refreshes, 2) << "formatting itself asks nothing";
}

TEST_F(FormatterTest, anUnavailableModelKeepsTheTextWithItsStatusAsNotice)
{
    fake->availabilityValue = ModelAvailability::unavailable(ModelAvailability::Reason::notEnabled);
    EXPECT_EQ(formatNow(u"hello"_s), unformatted(u"Turn on Test model in your desktop settings."_s + kept));
    EXPECT_EQ(formatter->statusText(), u"Turn on Test model in your desktop settings."_s);
    fake->availabilityValue = ModelAvailability::ready();
    EXPECT_EQ(formatter->statusText(), u"Test model · On this computer"_s);
    EXPECT_EQ(formatter->modelDisplayName(), u"Test model"_s);
}

TEST_F(FormatterTest, lengthAndTokenBudgetLimits)
{
    fake->context = 100000;
    EXPECT_EQ(formatNow(dictationOf(20000)).formatter, u"Test model"_s);
    EXPECT_EQ(formatNow(dictationOf(20001)).notice,
              u"This dictation is too long to format safely in one operation."_s + kept);

    fake->context = 4096;
    fake->countTokens = [](const QString &text) -> Expected<int, ModelError> {
        return text.startsWith(u"You edit"_s) ? 2600 : 10;
    };
    EXPECT_EQ(formatNow(u"hello"_s),
              unformatted(u"The dictionary leaves too little room for this dictation."_s + kept));

    fake->countTokens = [](const QString &text) -> Expected<int, ModelError> {
        return text.startsWith(u"You edit"_s) ? 1000 : 10;
    };
    const int before = int(fake->record().prompts.size());
    EXPECT_EQ(formatNow(dictationOf(4000)).notice, std::nullopt);
    const QStringList prompts = fake->record().prompts.mid(before);
    ASSERT_EQ(prompts.size(), 3);
    for (const QString &prompt : prompts)
        EXPECT_LE(FakeLanguageModel::dictationOf(prompt).size(), 1796);

    fake->countTokens = [](const QString &text) -> Expected<int, ModelError> {
        return text.startsWith(u"You edit"_s) ? 1000 : 1797;
    };
    EXPECT_EQ(formatNow(u"hello"_s).notice, u"This dictation exceeds Test model’s available context."_s + kept);
}

TEST_F(FormatterTest, piecesGoToFreshSessionsAndAreJoinedByMode)
{
    fake->context = 100000;
    answerAfter(1s);
    const QString dictation = dictationOf(4000).trimmed();
    const FormattingResult structured = formatNow(dictation, DictationMode::structured);
    const QStringList pieces = IntelligenceFormatter::chunks(dictation, 1800);
    ASSERT_EQ(pieces.size(), 3);
    EXPECT_EQ(structured.text, pieces.join(u".\n\n"_s) + u"."_s);
    EXPECT_EQ(fake->record().instructions.size(), 3);
    EXPECT_TRUE(fake->record().instructions.first().contains(u"Add readable paragraphs."_s));

    const FormattingResult clean = formatNow(dictation, DictationMode::clean);
    EXPECT_EQ(clean.text, pieces.join(u". "_s) + u"."_s);
}

TEST_F(FormatterTest, anAnswerThatChangesContentDiscardsEveryPiece)
{
    fake->context = 100000;
    int request = 0;
    fake->answer = [&request](const QString &prompt) {
        const QString piece = FakeLanguageModel::dictationOf(prompt);
        return FakeLanguageModel::Answer{0s, ++request == 2 ? piece + u" 42"_s : piece};
    };
    const QString dictation = dictationOf(4000).trimmed();
    EXPECT_EQ(formatNow(dictation, DictationMode::clean),
              unformatted(u"Test model changed content that should be preserved."_s + kept, dictation));
    EXPECT_EQ(request, 2) << "no request after the rejected piece";

    fake->answer = [](const QString &) { return FakeLanguageModel::Answer{0s, u"```\nhi\n```"_s}; };
    EXPECT_EQ(formatNow(u"hi"_s).notice, u"Test model changed content that should be preserved."_s + kept);
}

TEST_F(FormatterTest, modelErrorsBecomeNoticesWithTheirDescription)
{
    fake->answer = [](const QString &) {
        return FakeLanguageModel::Answer{2s, unexpected(ModelError::failure(u"The server crashed."_s))};
    };
    EXPECT_EQ(formatNow(u"hello"_s),
              unformatted(u"Test model could not format this dictation. Kept your original text. "
                          "The server crashed."_s));
    fake->countTokens = [](const QString &) -> Expected<int, ModelError> {
        return unexpected(ModelError::failure(u"No tokens."_s));
    };
    EXPECT_EQ(formatNow(u"hello"_s).notice,
              u"Test model could not format this dictation. Kept your original text. No tokens."_s);
}

TEST_F(FormatterTest, aLateAnswerTimesOutAtTwentyFiveSecondsAndIsIgnored)
{
    answerAfter(26s);
    auto task = formatter->format(u"hello"_s, DictationMode::clean, {});
    scheduler.advance(24999ms);
    EXPECT_FALSE(task.isDone());
    scheduler.advance(1ms);
    ASSERT_TRUE(task.isDone());
    EXPECT_EQ(task.result(), unformatted(u"Test model took too long to respond."_s + kept));
    scheduler.runUntilIdle();
    EXPECT_EQ(fake->record().cancelledRequests, 1) << "the timeout cancels the model request";
    EXPECT_EQ(fake->record().completedRequests, 0);
    EXPECT_EQ(scheduler.pendingTimers(), 0u);

    answerAfter(24s);
    auto inTime = formatter->format(u"hello"_s, DictationMode::clean, {});
    scheduler.advance(24s);
    ASSERT_TRUE(inTime.isDone());
    EXPECT_EQ(inTime.result().text, u"hello."_s);
    EXPECT_EQ(scheduler.pendingTimers(), 0u) << "the answer stops the timer";
}

TEST_F(FormatterTest, cancellingResumesAtOnceAndCancelsTheRequest)
{
    answerAfter(20s);
    auto task = formatter->format(u"hello"_s, DictationMode::clean, {});
    scheduler.advance(3s);
    const auto cancelledAt = scheduler.now();
    task.cancel();
    scheduler.runPending();
    ASSERT_TRUE(task.isDone());
    EXPECT_EQ(scheduler.now(), cancelledAt);
    EXPECT_EQ(task.result(), unformatted(cancelledNotice));
    EXPECT_EQ(fake->record().cancelledRequests, 1);
    EXPECT_EQ(scheduler.pendingTimers(), 0u);
}

TEST_F(FormatterTest, aRefreshThatChangesTheModelIsReportedAndAGoneFormatterIsNotTouched)
{
    int changes = 0;
    formatter->onModelChange = [&changes] { ++changes; };
    auto unchanged = formatter->refreshModel();
    EXPECT_EQ(changes, 0);
    fake->onRefresh = [this] { fake->name = u"Other model"_s; };
    auto renamed = formatter->refreshModel();
    EXPECT_EQ(changes, 1);

    fake->onRefresh = nullptr;
    answerAfter(5s);
    auto orphan = formatter->format(u"hello"_s, DictationMode::clean, {});
    formatter.reset();
    scheduler.runUntilIdle();
    ASSERT_TRUE(orphan.isDone());
    EXPECT_EQ(orphan.result(), unformatted(cancelledNotice));

    // While a formatter's first question is out, a cancelled dictation ends at once; a formatter gone
    // meanwhile touches nothing when the answer comes.
    auto slow = std::make_unique<FakeLanguageModel>(scheduler);
    slow->refreshDelay = 2s;
    slow->onRefresh = [] {};
    auto gone = std::make_unique<IntelligenceFormatter>(scheduler, std::move(slow), engine);
    gone->onModelChange = [&changes] { ++changes; };
    auto cancelled = gone->format(u"hello"_s, DictationMode::clean, {});
    cancelled.cancel();
    scheduler.runPending();
    ASSERT_TRUE(cancelled.isDone());
    EXPECT_EQ(cancelled.result().notice, cancelledNotice);
    auto waiting = gone->format(u"hello"_s, DictationMode::clean, {});
    gone.reset();
    scheduler.runUntilIdle();
    ASSERT_TRUE(waiting.isDone());
    EXPECT_EQ(waiting.result().notice, cancelledNotice);
    EXPECT_EQ(changes, 1);
}

TEST(LanguageModelSelector, usesTheBuiltinRulesWhenTheServerDoesNotAnswer)
{
    test::VirtualScheduler scheduler;
    auto server = std::make_unique<FakeLanguageModel>(scheduler);
    FakeLanguageModel *fake = server.get();
    fake->name = u"qwen2.5"_s;
    fake->availabilityValue =
        ModelAvailability::unavailable(ModelAvailability::Reason::other, u"No local model server answers."_s);
    LanguageModelSelector selector(std::move(server));
    EXPECT_EQ(selector.displayName(), u"Built-in rules"_s) << "before the first refresh";
    auto refresh = selector.refresh();
    EXPECT_FALSE(selector.usesServer());
    EXPECT_EQ(selector.serverStatus(), u"No local model server answers."_s);

    fake->availabilityValue = ModelAvailability::unavailable(ModelAvailability::Reason::modelNotReady);
    auto again = selector.refresh();
    EXPECT_TRUE(selector.usesServer()) << "a server still loading its model answers";
    EXPECT_EQ(selector.displayName(), u"qwen2.5"_s);

    IntelligenceFormatter formatter(scheduler, std::make_unique<LanguageModelSelector>(nullptr), engine);
    auto task = formatter.format(u"um i think so"_s, DictationMode::clean, {});
    scheduler.runUntilIdle();
    ASSERT_TRUE(task.isDone());
    EXPECT_EQ(task.result(), (FormattingResult{u"I think so."_s, u"Built-in rules"_s, std::nullopt}));
    EXPECT_EQ(formatter.statusText(), u"Built-in rules · On this computer"_s);

    // Long dictations with invalid UTF-16 go through every piece and check without harm.
    const QString broken = (u"um i sent 3 files to ann@example.com "_s + QChar(0xDC00) + u" ok "_s).repeated(476);
    auto longTask = formatter.format(broken, DictationMode::structured, {});
    scheduler.runUntilIdle();
    ASSERT_TRUE(longTask.isDone());
    EXPECT_EQ(longTask.result().notice, std::nullopt);
    EXPECT_EQ(longTask.result().text.count(u"ann@example.com"_s), broken.count(u"ann@"_s));
    EXPECT_FALSE(longTask.result().text.contains(u"um "_s));
}
