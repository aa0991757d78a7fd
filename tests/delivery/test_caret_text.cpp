#include "tests/delivery/TextDeliveryFixture.h"

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

// Dictations in a row read as one text: the field holds `before` with the caret at its end (or the
// selection given), the formatter turned `dictated` into `text`.
TEST_F(TextDeliveryTest, dictationsJoinTheTextBeforeTheCaretWithSpacingAndCapitals)
{
    const std::vector<std::tuple<const char *, TextRange, const char *, const char *, const char *>> cases{
        {"by friday.", {10, 0}, "hello from the team", "Hello from the team.", "by friday. Hello from the team."},
        {"Testing this", {12, 0}, "case works", "Case works.", "Testing this case works."},
        {"", {0, 0}, "hello", "Hello.", "Hello."},
        {"Hello ", {6, 0}, "world", "World.", "Hello world."},
        {"Hello", {5, 0}, ", then more", ", then more.", "Hello, then more."},
        {"I met", {5, 0}, "Anna today", "Anna today.", "I met Anna today."},
        {"so", {2, 0}, "i agree", "I agree.", "so I agree."},
        {"and", {3, 0}, "nasa called", "NASA called.", "and NASA called."},
        {"Done!", {5, 0}, "next one", "next one", "Done! Next one"},
        {"He said \"stop.\"", {15, 0}, "then", "then", "He said \"stop.\" Then"},
        {"Dear Sam,\n", {10, 0}, "thanks", "Thanks.", "Dear Sam,\nThanks."},
        {"call (", {6, 0}, "maybe", "Maybe", "call (maybe"},
        {"hello world", {6, 5}, "there", "There", "hello there"},
        {"a word before the end", {6, 0}, "little", "Little", "a word little before the end"},
    };
    for (const auto &[before, selection, dictated, text, inField] : cases) {
        SCOPED_TRACE(before);
        const int field = focusField(QString::fromUtf8(before), selection);
        delivery.prepare();
        const DeliveryResult result =
            finish(delivery.deliver(QString::fromUtf8(text), false, QString::fromUtf8(dictated)));
        EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
        EXPECT_EQ(desktop.text(field), QString::fromUtf8(inField));
    }

    // Where the text before the caret cannot be read, the text goes in as it is (and the clipboard keeps
    // it as dictated).
    const int unreadable = focusField(u"word"_s, {4, 0});
    desktop.removeAttribute(unreadable, u"AXNumberOfCharacters"_s);
    desktop.removeAttribute(unreadable, u"AXValue"_s);
    delivery.prepare();
    EXPECT_EQ(finish(delivery.deliver(u"Next."_s, false, u"next"_s)).outcome, Outcome::sent);
    scheduler.advance(10ms);
    EXPECT_EQ(desktop.text(unreadable), u"wordNext."_s);
}

} // namespace
