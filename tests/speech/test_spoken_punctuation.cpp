#include "speech/SpeechEngine.h"
#include "speech/SpokenPunctuation.h"
#include "tests/support/FakeAssetInventory.h"
#include "tests/support/FakeAudioConverter.h"
#include "tests/support/FakeAudioSource.h"
#include "tests/support/FakePermissions.h"
#include "tests/support/FakeTranscriber.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/VirtualScheduler.h"

#include <gtest/gtest.h>

using namespace orv;

TEST(SpokenPunctuation, commandsBecomeMarksWithTheirSpacingAndCapitals)
{
    struct Case
    {
        const char *heard;
        const char *written;
    };
    const Case cases[] = {
        // Each command, as PocketSphinx hears it (lower case, its own full stop at the end).
        {"Is the meeting at noon question mark.", "Is the meeting at noon?"},
        {"Thanks new paragraph see you tomorrow exclamation mark.", "Thanks\n\nSee you tomorrow!"},
        {"Please call me back comma after lunch period.", "Please call me back, after lunch."},
        {"it ends here full stop then more", "it ends here. Then more"},
        {"wow exclamation point", "wow!"},
        {"three things colon eggs semicolon milk semi colon bread", "three things: eggs; milk; bread"},
        {"wait dash really", "wait – really"},
        {"a well hyphen known fact", "a well-known fact"},
        {"he said open quote hello close quote loudly", "he said “hello” loudly"},
        {"see open parenthesis below close parenthesis and open bracket above close bracket",
         "see (below) and (above)"},
        {"dear anna comma new line thanks", "dear anna,\nThanks"},
        // Breaks: the spaces around them go, two at most, and none at the start.
        {"one new line new line two new paragraph new paragraph three", "one\n\nTwo\n\nThree"},
        {"New paragraph hello", "Hello"},
        {"stop period open quote go close quote period then", "stop. “Go”. Then"},
        {"what question mark exclamation mark no", "what?! No"},
        // "literal" keeps the words; the capital it took goes to them.
        {"Literal comma is a word", "Comma is a word"},
        {"say literal new line and literal literal", "say new line and literal"},
        {"a literal translation", "a literal translation"},
        // A recognizer's own marks give way to the spoken ones, never doubling them.
        {"Is it noon? Question mark.", "Is it noon?"},
        {"Call me back, comma, after lunch, period.", "Call me back, after lunch."},
        {"Thanks. New paragraph. See you.", "Thanks.\n\nSee you."},
        {"the question. Mark said no", "the question. Mark said no"},
        // Case, links and words that only contain a command word.
        {"COMMA periodic commas", ", periodic commas"},
        {"visit period www.example.com", "visit. www.example.com"},
        {"x period élan", "x. Élan"},
        {"", ""},
    };
    const SpokenPunctuation &english = SpokenPunctuation::english();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.heard);
        EXPECT_EQ(english.apply(QString::fromUtf8(c.heard)), QString::fromUtf8(c.written));
    }
    EXPECT_EQ(SpokenPunctuation::forLocale(QStringLiteral("en-GB")), &english);
    EXPECT_EQ(SpokenPunctuation::forLocale(QStringLiteral("de-DE")), nullptr);
}

// The live transcript and the final one carry the marks whatever recognizer heard the words, also when a
// command is split across results; prompt-taking recognizers are told to expect the command words.
TEST(SpokenPunctuation, theEngineAppliesThemToLiveAndFinalText)
{
    test::VirtualScheduler scheduler;
    auto transcriber = std::make_shared<test::FakeTranscriber>(scheduler);
    auto audio = std::make_shared<test::FakeAudioSource::Log>();
    SpeechEngine::Platform platform;
    platform.permissions = std::make_shared<test::FakePermissions>();
    platform.assets = std::make_shared<test::FakeAssetInventory>();
    platform.makeAudioSource = [audio] { return std::make_unique<test::FakeAudioSource>(audio); };
    platform.makeConverter = [](const AudioFormat &, const AudioFormat &) {
        return std::make_unique<test::FakeAudioConverter>(std::make_shared<test::FakeAudioConverter::Log>());
    };
    platform.makeTranscriber = [transcriber](const QString &) { return transcriber; };
    SpeechEngine engine(scheduler, std::move(platform), QStringLiteral("PocketSphinx"));
    QStringList partials;
    engine.onPartial = [&](const QString &text) { partials.append(text); };

    auto started = engine.start(QStringLiteral("en-US"), {QStringLiteral("Kubernetes")});
    scheduler.runPending();
    ASSERT_TRUE(started.isDone() && started.result().hasValue());
    ASSERT_FALSE(transcriber->recentContext.isEmpty());
    EXPECT_EQ(transcriber->recentContext.front(), QStringLiteral("Kubernetes")) << "the user's words first";
    EXPECT_TRUE(transcriber->recentContext.contains(QStringLiteral("question mark")));

    transcriber->emitResult(QStringLiteral("is it noon question"), 0, 1, true);
    transcriber->emitResult(QStringLiteral("mark new"), 1, 2, false);
    EXPECT_EQ(partials.back(), QStringLiteral("is it noon? New"));
    transcriber->emitResult(QStringLiteral("mark new paragraph yes."), 1, 2.5, true);
    EXPECT_EQ(partials.back(), QStringLiteral("is it noon?\n\nYes."));

    engine.stopAudio();
    auto finished = engine.finish();
    scheduler.runPending();
    ASSERT_TRUE(finished.isDone() && finished.result().hasValue());
    EXPECT_EQ(finished.result().value(), QStringLiteral("is it noon?\n\nYes."));
}
