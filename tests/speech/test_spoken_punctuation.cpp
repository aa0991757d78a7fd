#include "speech/SpokenPunctuation.h"
#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace Qt::StringLiterals;

TEST(SpokenPunctuation, commandsBecomeMarksWithTheirSpacingAndCapitals)
{
    const std::pair<const char *, const char *> cases[] = {
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
    for (const auto &[heard, written] : cases)
        EXPECT_EQ(english.apply(QString::fromUtf8(heard)), QString::fromUtf8(written)) << heard;
    EXPECT_EQ(SpokenPunctuation::forLocale(u"en-GB"_s), &english);
    EXPECT_EQ(SpokenPunctuation::forLocale(u"de-DE"_s), nullptr);
}
