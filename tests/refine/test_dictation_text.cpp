#include "refine/DictationText.h"
#include "tests/support/FakeFormatter.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

DictionaryEntry entry(const QString &heard, const QString &replacement, int minute, QUuid id = QUuid::createUuid())
{
    DictionaryEntry e;
    e.id = id;
    e.heard = heard;
    e.replacement = replacement;
    e.modifiedAt = QDateTime(QDate(2026, 1, 1), QTime(9, minute), Qt::UTC);
    return e;
}

} // namespace

TEST(DictationText, theRecognizerHearsEveryReplacementMostRecentlyModifiedFirst)
{
    // Stored order is not recency: an entry changed in place keeps its position.
    const QList<DictionaryEntry> dictionary{entry(QStringLiteral("a"), QStringLiteral("Alpha"), 10),
                                            entry(QStringLiteral("b"), QStringLiteral("Beta"), 30),
                                            entry(QStringLiteral("c"), QStringLiteral("Gamma"), 10),
                                            entry(QStringLiteral("d"), QStringLiteral("Delta"), 20)};
    EXPECT_EQ(DictationText::contextualStrings(dictionary),
              (QStringList{QStringLiteral("Beta"), QStringLiteral("Delta"), QStringLiteral("Alpha"),
                           QStringLiteral("Gamma")}));
}

TEST(DictationText, aRepeatedIdKeepsItsFirstEntryAndTheOrderStays)
{
    const QUuid shared = QUuid::createUuid();
    const QList<DictionaryEntry> stored{entry(QStringLiteral("finance team"), QStringLiteral("Finance"), 1, shared),
                                        entry(QStringLiteral("report"), QStringLiteral("memo"), 2),
                                        entry(QStringLiteral("friday"), QStringLiteral("Monday"), 3, shared)};
    const QList<DictionaryEntry> used = DictationText::dictionaryInUse(stored);
    ASSERT_EQ(used.size(), 2);
    EXPECT_EQ(used[0].heard, QStringLiteral("finance team"));
    EXPECT_EQ(used[1].heard, QStringLiteral("report"));
    EXPECT_EQ(DictationText::substitute(QStringLiteral("the report to the finance team by friday"), used).text,
              QStringLiteral("the memo to the Finance by friday"));
}

TEST(DictationText, theRoadTrimsSubstitutesThenFormatsAndSkipsTheFormatterWhenNothingWasSaid)
{
    // Equally long entries: the earlier one in the dictionary wins.
    const QList<DictionaryEntry> dictionary{entry(QStringLiteral("orvanta"), QStringLiteral("Orvanta"), 1),
                                            entry(QStringLiteral("orvanta"), QStringLiteral("ORVANTA"), 2)};
    FakeFormatter formatter;
    formatter.echo = false;
    formatter.answer = FormattingResult{QStringLiteral("Formatted."), QStringLiteral("Built-in rules"), {}};

    Task<DictationText::Refined> refined =
        DictationText::refine(formatter, QStringLiteral("  open orvanta \n"), DictationMode::clean, dictionary);
    ASSERT_TRUE(refined.isDone());
    EXPECT_EQ(refined.result().original, QStringLiteral("open orvanta"));
    EXPECT_EQ(refined.result().formatted.text, QStringLiteral("Formatted."));
    ASSERT_EQ(formatter.calls.size(), 1);
    EXPECT_EQ(formatter.calls[0].text, QStringLiteral("open Orvanta"));
    EXPECT_EQ(formatter.calls[0].mode, DictationMode::clean);
    EXPECT_EQ(formatter.calls[0].dictionary.size(), 2);

    Task<DictationText::Refined> silent =
        DictationText::refine(formatter, QStringLiteral(" \t\n"), DictationMode::clean, dictionary);
    ASSERT_TRUE(silent.isDone());
    EXPECT_TRUE(silent.result().original.isEmpty());
    EXPECT_EQ(formatter.calls.size(), 1) << "nothing said, nothing formatted";
}
