#include "refine/CorrectionLearner.h"

#include <gtest/gtest.h>

using namespace orv;
using orv::CorrectionLearner::Correction;

namespace {

DictionaryEntry entry(const QString &heard, const QString &replacement)
{
    DictionaryEntry e;
    e.id = QUuid::createUuid();
    e.heard = heard;
    e.replacement = replacement;
    return e;
}

QString apply(const QList<DictionaryEntry> &dictionary, const QString &text)
{
    return CorrectionLearner::apply(dictionary, text);
}

QList<Correction> learn(const QString &before, const QString &after)
{
    return CorrectionLearner::corrections(before, after);
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
    const struct
    {
        const char *entries, *text, *expected;
    } cases[] = {
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
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        QList<DictionaryEntry> dictionary;
        for (const QString &pair : QString::fromUtf8(c.entries).split(u'|', Qt::SkipEmptyParts))
            dictionary.append(entry(pair.section(u'=', 0, 0), pair.section(u'=', 1)));
        EXPECT_EQ(apply(dictionary, QString::fromUtf8(c.text)), QString::fromUtf8(c.expected));
    }
}

TEST(Substitution, invalidUnicodeIsKept)
{
    const QList<DictionaryEntry> teh{entry(QStringLiteral("teh"), QStringLiteral("the"))};
    EXPECT_EQ(apply(teh, QStringLiteral("teh ") + loneHigh + QStringLiteral(" teh") + loneLow + QStringLiteral("teh")),
              QStringLiteral("the ") + loneHigh + QStringLiteral(" the") + loneLow + QStringLiteral("the"));
    EXPECT_EQ(apply({entry(loneHigh, QStringLiteral("x"))}, QStringLiteral("a ") + loneHigh),
              QStringLiteral("a ") + loneHigh);
}

TEST(Substitution, textOneEntryWroteIsNotRewrittenByALaterEntry)
{
    const QList<DictionaryEntry> dictionary{entry(QStringLiteral("york"), QStringLiteral("Yorkshire")),
                                            entry(QStringLiteral("new york"), QStringLiteral("New York City"))};
    EXPECT_EQ(apply(dictionary, QStringLiteral("new york and york")), QStringLiteral("New York City and Yorkshire"));
    EXPECT_EQ(apply(dictionary, QStringLiteral("York, new\nYORK, york")),
              QStringLiteral("Yorkshire, New York City, Yorkshire"));

    // The written span keeps its protection when earlier text changes length.
    const QList<DictionaryEntry> chain{entry(QStringLiteral("b c"), QStringLiteral("c")),
                                       entry(QStringLiteral("c"), QStringLiteral("dd"))};
    EXPECT_EQ(apply(chain, QStringLiteral("c b c c")), QStringLiteral("dd c dd"));
    // Thousands of written spans, each moved by the replacements before it.
    EXPECT_EQ(apply(chain, QStringLiteral("c b c c\n").repeated(5000)), QStringLiteral("dd c dd\n").repeated(5000));
}

TEST(Substitution, anEntryMatchingEverywhereInTheLongestDictationReplacesEveryMatch)
{
    const QList<DictionaryEntry> widen{entry(QStringLiteral("a"), QStringLiteral("bb"))};
    EXPECT_EQ(apply(widen, QStringLiteral("a ").repeated(40000)), QStringLiteral("bb ").repeated(40000));
    const QList<DictionaryEntry> narrow{entry(QStringLiteral("bb"), QStringLiteral("a"))};
    EXPECT_EQ(apply(narrow, QStringLiteral("bb,").repeated(40000)), QStringLiteral("a,").repeated(40000));
}

TEST(Substitution, skippingEntriesWhoseFirstWordIsAbsentNeverHidesAMatch)
{
    // Case variants outside ASCII: the Kelvin sign and the long s.
    for (const QString &text :
         {QStringLiteral("O\u212A then \u212Aelvin"), QStringLiteral("\u017Fee me"), QStringLiteral("OK kelvin SEE")}) {
        for (const QString &heard : {QStringLiteral("ok"), QStringLiteral("kelvin"), QStringLiteral("see me")}) {
            const QRegularExpression plain(
                QStringLiteral("(?<![\\p{L}\\p{M}\\p{N}_])") +
                    QRegularExpression::escape(heard).replace(QStringLiteral("\\ "), QStringLiteral("\\s+")) +
                    QStringLiteral("(?![\\p{L}\\p{M}\\p{N}_])"),
                QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
            QString expected = text;
            expected.replace(plain, QStringLiteral("X"));
            EXPECT_EQ(apply({entry(heard, QStringLiteral("X"))}, text), expected) << qPrintable(heard);
        }
    }
}

TEST(Substitution, longDictationsWithManyEntries)
{
    QList<DictionaryEntry> dictionary;
    for (int i = 0; i < 500; ++i)
        dictionary.append(entry(QStringLiteral("word%1 x").arg(i), QStringLiteral("W%1").arg(i)));
    QString text;
    while (text.size() < 20000)
        text += QStringLiteral("word7 x and word499\nX. ");
    const QString result = apply(dictionary, text);
    EXPECT_FALSE(result.contains(QStringLiteral("word7")));
    EXPECT_EQ(result.count(QStringLiteral("W7 and W499. ")), text.count(QStringLiteral("word7 x and")));
}

TEST(Learner, wordsAreLettersJoinedByApostrophes)
{
    EXPECT_EQ(
        CorrectionLearner::words(QStringLiteral("Don't tell O’Neil: 3 cats, e-mail me_now!")),
        (QStringList{QStringLiteral("Don't"), QStringLiteral("tell"), QStringLiteral("O’Neil"), QStringLiteral("cats"),
                     QStringLiteral("e"), QStringLiteral("mail"), QStringLiteral("me"), QStringLiteral("now")}));
    EXPECT_EQ(CorrectionLearner::words(QStringLiteral("café\u0301 naïve 'quoted'")),
              (QStringList{QStringLiteral("café\u0301"), QStringLiteral("naïve"), QStringLiteral("quoted")}));
    EXPECT_EQ(CorrectionLearner::words(QStringLiteral("ab") + loneHigh + QStringLiteral("cd")),
              (QStringList{QStringLiteral("ab"), QStringLiteral("cd")}));
}

TEST(Learner, editDistanceCountsUserPerceivedCharactersUpToCanonicalEquivalence)
{
    EXPECT_EQ(CorrectionLearner::editDistance(QStringLiteral("kitten"), QStringLiteral("sitting")), 3);
    EXPECT_EQ(CorrectionLearner::editDistance(QString(), QStringLiteral("abc")), 3);
    EXPECT_EQ(CorrectionLearner::editDistance(QStringLiteral("café"), QStringLiteral("cafe\u0301")), 0);
    EXPECT_EQ(CorrectionLearner::editDistance(QStringLiteral("Abc"), QStringLiteral("abc")), 1);
    EXPECT_EQ(CorrectionLearner::editDistance(QStringLiteral("👍🏽x"), QStringLiteral("x")), 1);
    EXPECT_EQ(CorrectionLearner::editDistance(loneHigh + QStringLiteral("a"), QStringLiteral("a")), 1);
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
        const QList<Correction> learnt = learn(QString::fromUtf8(before), QString::fromUtf8(after));
        EXPECT_EQ(learnt, *heard ? one(QString::fromUtf8(heard), QString::fromUtf8(replacement)) : QList<Correction>());
    }
    EXPECT_TRUE(learn(QStringLiteral("x ") + QString(61, QLatin1Char('a')),
                      QStringLiteral("x ") + QString(60, QLatin1Char('a')) + QStringLiteral("b"))
                    .isEmpty())
        << "folded forms over 60 characters";
}

TEST(Learner, longAndInvalidTextsAreHandledWithoutCrashing)
{
    QString before;
    while (before.size() < 19990)
        before += QStringLiteral("word ");
    before.truncate(19990);
    QString edited = before;
    edited.replace(10000, 4, QStringLiteral("wird"));
    before += QStringLiteral(" tail");
    edited += QStringLiteral(" tail");
    before += QString(20000 - before.size(), QLatin1Char(' '));
    edited += QString(20000 - edited.size(), QLatin1Char('\n'));
    ASSERT_EQ(before.size(), 20000);
    EXPECT_EQ(learn(before, edited), one(QStringLiteral("word"), QStringLiteral("wird")));
    EXPECT_TRUE(learn(before + QStringLiteral(" "), edited).isEmpty()) << "over 20000 UTF-16 units is refused";

    EXPECT_EQ(learn(QStringLiteral("hello ") + loneHigh + QStringLiteral(" wurld"),
                    QStringLiteral("hello ") + loneLow + QStringLiteral(" world")),
              one(QStringLiteral("wurld"), QStringLiteral("world")));
    EXPECT_TRUE(learn(loneHigh, loneLow).isEmpty());
}
