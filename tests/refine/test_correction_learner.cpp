#include "refine/CorrectionLearner.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace Qt::StringLiterals;
using namespace orv::CorrectionLearner;

namespace {

DictionaryEntry entry(const QString &heard, const QString &replacement)
{
    return DictionaryEntry{QUuid::createUuid(), heard, replacement, 1, {}, false};
}

QList<Correction> one(const QString &heard, const QString &replacement)
{
    return {Correction{heard, replacement}};
}

const QString loneHigh = QString(QChar(0xD83D));
const QString loneLow = QString(QChar(0xDE00));

} // namespace

TEST(Substitution, wholeWordsAndPhrasesMatchCaseInsensitivelyAndTheReplacementIsWrittenLiterally)
{
    // Entries are "heard=replacement" pairs separated by "|".
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"", "Teh cat", "Teh cat"},
        {"teh=the", "Teh cat", "the cat"},
        {"teh=the", "tehran teh_ 2teh", "tehran teh_ 2teh"},
        {"teh=the", "teh's teh’s end.teh 😀teh😀", "the's the’s end.the 😀the😀"},
        {"price=$1 \\1 & cost", "the price", "the $1 \\1 & cost"},
        {"a.m.=AM", "at 9 A.M. or axmx a.m.x", "at 9 AM or axmx a.m.x"},
        // Phrases span any whitespace, line breaks included; matches do not overlap.
        {" open \t ai =OpenAI", "open   AI and open\nai\u00A0!", "OpenAI and OpenAI\u00A0!"},
        {"a a=X", "a a a", "X a"},
        // A blank heard and an empty replacement are ignored; the first of equal entries wins.
        {"  \n =never|word=|abc=first|ABC=second", "word abc", "word first"},
        // Accents are matched by case only; a combining mark after the word is part of it.
        {"cafe=Café", "café CAFE cafe\u0301", "café Café cafe\u0301"},
        {"élan=Elan", "ÉLAN élans", "Elan élans"},
    };
    for (const auto &[entries, text, expected] : cases) {
        SCOPED_TRACE(text);
        QList<DictionaryEntry> dictionary;
        for (const QString &pair : QString::fromUtf8(entries).split(u'|', Qt::SkipEmptyParts))
            dictionary.append(entry(pair.section(u'=', 0, 0), pair.section(u'=', 1)));
        EXPECT_EQ(apply(dictionary, QString::fromUtf8(text)), QString::fromUtf8(expected));
    }
}

TEST(Substitution, invalidUnicodeIsKept)
{
    const QList<DictionaryEntry> teh{entry(u"teh"_s, u"the"_s)};
    EXPECT_EQ(apply(teh, u"teh "_s + loneHigh + u" teh"_s + loneLow + u"teh"_s),
              u"the "_s + loneHigh + u" the"_s + loneLow + u"the"_s);
    EXPECT_EQ(apply({entry(loneHigh, u"x"_s)}, u"a "_s + loneHigh), u"a "_s + loneHigh);
}

TEST(Substitution, textOneEntryWroteIsNotRewrittenByALaterEntry)
{
    const QList<DictionaryEntry> dictionary{entry(u"york"_s, u"Yorkshire"_s), entry(u"new york"_s, u"New York City"_s)};
    EXPECT_EQ(apply(dictionary, u"new york and york"_s), u"New York City and Yorkshire"_s);
    EXPECT_EQ(apply(dictionary, u"York, new\nYORK, york"_s), u"Yorkshire, New York City, Yorkshire"_s);

    // The written span keeps its protection when earlier text changes length.
    const QList<DictionaryEntry> chain{entry(u"b c"_s, u"c"_s), entry(u"c"_s, u"dd"_s)};
    EXPECT_EQ(apply(chain, u"c b c c"_s), u"dd c dd"_s);
    // Thousands of written spans, each moved by the replacements before it.
    EXPECT_EQ(apply(chain, u"c b c c\n"_s.repeated(5000)), u"dd c dd\n"_s.repeated(5000));
}

TEST(Substitution, anEntryMatchingEverywhereInTheLongestDictationReplacesEveryMatch)
{
    const QList<DictionaryEntry> widen{entry(u"a"_s, u"bb"_s)};
    EXPECT_EQ(apply(widen, u"a "_s.repeated(40000)), u"bb "_s.repeated(40000));
    const QList<DictionaryEntry> narrow{entry(u"bb"_s, u"a"_s)};
    EXPECT_EQ(apply(narrow, u"bb,"_s.repeated(40000)), u"a,"_s.repeated(40000));
}

TEST(Substitution, skippingEntriesWhoseFirstWordIsAbsentNeverHidesAMatch)
{
    // Case variants outside ASCII: the Kelvin sign and the long s.
    for (const QString &text : {u"O\u212A then \u212Aelvin"_s, u"\u017Fee me"_s, u"OK kelvin SEE"_s}) {
        for (const QString &heard : {u"ok"_s, u"kelvin"_s, u"see me"_s}) {
            const QRegularExpression plain(
                u"(?<![\\p{L}\\p{M}\\p{N}_])"_s + QRegularExpression::escape(heard).replace(u"\\ "_s, u"\\s+"_s) +
                    u"(?![\\p{L}\\p{M}\\p{N}_])"_s,
                QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
            QString expected = text;
            expected.replace(plain, u"X"_s);
            EXPECT_EQ(apply({entry(heard, u"X"_s)}, text), expected) << qPrintable(heard);
        }
    }
}

TEST(Substitution, longDictationsWithManyEntries)
{
    QList<DictionaryEntry> dictionary;
    for (int i = 0; i < 500; ++i)
        dictionary.append(entry(u"word%1 x"_s.arg(i), u"W%1"_s.arg(i)));
    const QString text = u"word7 x and word499\nX. "_s.repeated(870);
    const QString result = apply(dictionary, text);
    EXPECT_FALSE(result.contains(u"word7"_s));
    EXPECT_EQ(result.count(u"W7 and W499. "_s), text.count(u"word7 x and"_s));
}

TEST(Learner, wordsAreLettersJoinedByApostrophes)
{
    EXPECT_EQ(words(u"Don't tell O’Neil: 3 cats, e-mail me_now!"_s),
              (QStringList{u"Don't"_s, u"tell"_s, u"O’Neil"_s, u"cats"_s, u"e"_s, u"mail"_s, u"me"_s, u"now"_s}));
    EXPECT_EQ(words(u"café\u0301 naïve 'quoted'"_s), (QStringList{u"café\u0301"_s, u"naïve"_s, u"quoted"_s}));
    EXPECT_EQ(words(u"ab"_s + loneHigh + u"cd"_s), (QStringList{u"ab"_s, u"cd"_s}));
}

TEST(Learner, editDistanceCountsUserPerceivedCharactersUpToCanonicalEquivalence)
{
    EXPECT_EQ(editDistance(u"kitten"_s, u"sitting"_s), 3);
    EXPECT_EQ(editDistance(QString(), u"abc"_s), 3);
    EXPECT_EQ(editDistance(u"café"_s, u"cafe\u0301"_s), 0);
    EXPECT_EQ(editDistance(u"Abc"_s, u"abc"_s), 1);
    EXPECT_EQ(editDistance(u"👍🏽x"_s, u"x"_s), 1);
    EXPECT_EQ(editDistance(loneHigh + u"a"_s, u"a"_s), 1);
}

TEST(Learner, learnsSimilarShortReplacementsOnly)
{
    // Before, after, and what is learnt (nothing where the last two are empty).
    const std::tuple<const char *, const char *, const char *, const char *> cases[] = {
        {"A new ron fires.", "A neuron fires.", "new ron", "neuron"},
        {"Call Jon now.", "Call John now.", "Jon", "John"},
        {"macleod", "MacLeod", "macleod", "MacLeod"},
        {"at the cafe today", "at the café today", "cafe", "café"},
        {"mail\nto Sean O'Conner,\nplease", "mail\nto Sean O’Connor,\nplease", "O'Conner", "O’Connor"},
        // Edits that are not misheard words.
        {"same", "same", "", ""},
        {"ok", "OK", "", ""},
        {"meet them tomorrow", "meet them today", "", ""},
        {"red", "blue", "", ""},
        {"cat", "category", "", ""},
        {"a b c d e f", "a w x y z f", "", ""},
        {"send the report", "send report", "", ""},
        {"send report", "send the report", "", ""},
        {"I have 3 cats", "I have three cats", "", ""},
        {"Hello there", "Hello there.", "", ""},
        {"123", "124", "", ""},
    };
    for (const auto &[before, after, heard, replacement] : cases) {
        SCOPED_TRACE(before);
        const QList<Correction> learnt = corrections(QString::fromUtf8(before), QString::fromUtf8(after));
        EXPECT_EQ(learnt, *heard ? one(QString::fromUtf8(heard), QString::fromUtf8(replacement)) : QList<Correction>());
    }
    EXPECT_TRUE(corrections(u"x "_s + QString(61, QLatin1Char('a')), u"x "_s + QString(60, QLatin1Char('a')) + u"b"_s)
                    .isEmpty())
        << "folded forms over 60 characters";
}

TEST(Learner, longAndInvalidTextsAreHandledWithoutCrashing)
{
    QString before = u"word "_s.repeated(3998);
    QString edited = before;
    edited.replace(10000, 4, u"wird"_s);
    before += u" tail"_s;
    edited += u" tail"_s;
    before += QString(20000 - before.size(), QLatin1Char(' '));
    edited += QString(20000 - edited.size(), QLatin1Char('\n'));
    ASSERT_EQ(before.size(), 20000);
    EXPECT_EQ(corrections(before, edited), one(u"word"_s, u"wird"_s));
    EXPECT_TRUE(corrections(before + u" "_s, edited).isEmpty()) << "over 20000 UTF-16 units is refused";

    EXPECT_EQ(corrections(u"hello "_s + loneHigh + u" wurld"_s, u"hello "_s + loneLow + u" world"_s),
              one(u"wurld"_s, u"world"_s));
    EXPECT_TRUE(corrections(loneHigh, loneLow).isEmpty());
}
