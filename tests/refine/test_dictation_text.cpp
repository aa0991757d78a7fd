#include "refine/DictationText.h"
#include "tests/support/FakeFormatter.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

DictionaryEntry entry(const QString &heard, const QString &replacement, int minute, QUuid id = QUuid::createUuid())
{
    return DictionaryEntry{id, heard, replacement, 1, QDateTime(QDate(2026, 1, 1), QTime(9, minute), Qt::UTC), false};
}

} // namespace

TEST(DictationText, theRecognizerHearsEveryReplacementMostRecentlyModifiedFirst)
{
    // Stored order is not recency: an entry changed in place keeps its position.
    const QList<DictionaryEntry> dictionary{entry(u"a"_s, u"Alpha"_s, 10), entry(u"b"_s, u"Beta"_s, 30),
                                            entry(u"c"_s, u"Gamma"_s, 10), entry(u"d"_s, u"Delta"_s, 20)};
    EXPECT_EQ(DictationText::contextualStrings(dictionary),
              (QStringList{u"Beta"_s, u"Delta"_s, u"Alpha"_s, u"Gamma"_s}));
}

TEST(DictationText, aRepeatedIdKeepsItsFirstEntryAndTheOrderStays)
{
    const QUuid shared = QUuid::createUuid();
    const QList<DictionaryEntry> stored{entry(u"finance team"_s, u"Finance"_s, 1, shared),
                                        entry(u"report"_s, u"memo"_s, 2), entry(u"friday"_s, u"Monday"_s, 3, shared)};
    const QList<DictionaryEntry> used = DictationText::dictionaryInUse(stored);
    EXPECT_EQ(used, stored.first(2));
    EXPECT_EQ(DictationText::substitute(u"the report to the finance team by friday"_s, used).text,
              u"the memo to the Finance by friday"_s);
}

TEST(DictationText, theRoadTrimsSubstitutesThenFormatsAndSkipsTheFormatterWhenNothingWasSaid)
{
    // Equally long entries: the earlier one in the dictionary wins.
    const QList<DictionaryEntry> dictionary{entry(u"orvanta"_s, u"Orvanta"_s, 1), entry(u"orvanta"_s, u"ORVANTA"_s, 2)};
    FakeFormatter formatter;
    formatter.echo = false;
    formatter.answer = FormattingResult{u"Formatted."_s, u"Built-in rules"_s, {}};

    Task<DictationText::Refined> refined =
        DictationText::refine(formatter, u"  open orvanta \n"_s, DictationMode::clean, dictionary);
    ASSERT_TRUE(refined.isDone());
    EXPECT_EQ(refined.result().original, u"open orvanta"_s);
    EXPECT_EQ(refined.result().formatted.text, u"Formatted."_s);
    ASSERT_EQ(formatter.calls.size(), 1);
    EXPECT_EQ(formatter.calls[0].text, u"open Orvanta"_s);
    EXPECT_EQ(formatter.calls[0].mode, DictationMode::clean);
    EXPECT_EQ(formatter.calls[0].dictionary.size(), 2);

    Task<DictationText::Refined> silent =
        DictationText::refine(formatter, u" \t\n"_s, DictationMode::clean, dictionary);
    ASSERT_TRUE(silent.isDone());
    EXPECT_TRUE(silent.result().original.isEmpty());
    EXPECT_EQ(formatter.calls.size(), 1) << "nothing said, nothing formatted";
}
