#include "refine/IntelligenceFormatter.h"
#include "refine/builtin/BuiltinRules.h"
#include "refine/builtin/BuiltinRulesModel.h"

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace Qt::StringLiterals;
using F = IntelligenceFormatter;

namespace {

DictionaryEntry entry(const QString &heard, const QString &replacement)
{
    return DictionaryEntry{{}, heard, replacement, 1, {}, false};
}

QString words(int count, const QString &word = u"word"_s)
{
    return QStringList(count, word).join(QLatin1Char(' '));
}

const QString loneHigh = QString(QChar(0xD800));

// Whether the check accepts answer as a formatting of source.
bool accepted(const char *source, const char *answer, const QList<DictionaryEntry> &dictionary = {})
{
    return F::preservesContent(QString::fromUtf8(source), QString::fromUtf8(answer), dictionary);
}

} // namespace

TEST(PreservationCheck, numbersMustMatchExactlyInOrder)
{
    EXPECT_EQ(F::numbers(u"meet at 10:30 on 5/12, 3.5% of 1,000-2"_s),
              (QStringList{u"10:30"_s, u"5/12"_s, u"3.5"_s, u"1,000-2"_s}));
    EXPECT_FALSE(accepted("meet at 10:30 on 5/12", "Meet at 10.30 on 5/12."));
    EXPECT_TRUE(accepted("meet at 10:30 on 5/12", "Meet at 10:30 on 5/12."));
    EXPECT_FALSE(accepted("call 5 then 6", "Call 6 then 5."));
    EXPECT_FALSE(accepted("two cats", "2 cats"));
    EXPECT_EQ(F::numbers(u"٣ cats"_s), QStringList{u"٣"_s}) << "digits of any script";
}

TEST(PreservationCheck, linksAndEmailAddressesIgnoreTrailingPunctuationButNotCase)
{
    EXPECT_EQ(F::links(u"see https://example.com/a?b=1). or www.Test.org, mail Bob.Smith+x@Mail.example.co.uk!"_s),
              (QStringList{u"https://example.com/a?b=1"_s, u"www.Test.org"_s, u"Bob.Smith+x@Mail.example.co.uk"_s}));
    EXPECT_TRUE(F::links(u"example.com is a bare domain"_s).isEmpty());
    // A scheme alone is no link, with or without the full stop the rules add after it.
    EXPECT_TRUE(accepted("type https://", "Type https://."));
    EXPECT_TRUE(F::links(u"www.. and http://,"_s).isEmpty());
    EXPECT_TRUE(accepted("go to https://example.com", "Go to https://example.com."));
    EXPECT_FALSE(accepted("go to https://example.com/Path", "Go to https://example.com/path."));
    EXPECT_FALSE(accepted("write to ann@example.com", "Write to Ann."));
    EXPECT_TRUE(accepted("write to ann@example.com", "Write to ann@example.com."));
}

TEST(PreservationCheck, negationsSurviveContractionsButNotRemoval)
{
    EXPECT_EQ(F::negationMarkers(u"I don't think so"_s), QStringList{u"do not|think"_s});
    EXPECT_EQ(F::negationMarkers(u"I do not think so."_s), QStringList{u"do not|think"_s});
    EXPECT_EQ(F::negationMarkers(u"I DON’T want the um apple, never a pear, no"_s),
              (QStringList{u"do not|want"_s, u"never|pear"_s, u"no|"_s}));
    EXPECT_EQ(F::negationMarkers(u"We can't and cannot, it won't"_s),
              (QStringList{u"can not|and"_s, u"can not|it"_s, u"will not|"_s}));
    EXPECT_TRUE(F::negationMarkers(u"I think so."_s).isEmpty());
    EXPECT_FALSE(accepted("I don't think so", "I think so."));
    EXPECT_TRUE(accepted("I don't think so", "I do not think so."));
    // Filler sounds around a negation are what a formatter drops, not what it negates.
    EXPECT_TRUE(accepted("I do um not hmm know", "I do not know."));
}

TEST(PreservationCheck, lengthWordCountFencesAndEmptyAnswers)
{
    EXPECT_FALSE(F::preservesContent(u"hello"_s, QString(), {}));
    EXPECT_FALSE(accepted("hello", "```\nHello.\n```"));
    const QString thirty(30, QLatin1Char('a'));
    EXPECT_TRUE(F::preservesContent(thirty, QString(160, QLatin1Char('b')), {}));
    EXPECT_FALSE(F::preservesContent(thirty, QString(161, QLatin1Char('b')), {}));
    const QString hundred(100, QLatin1Char('a'));
    EXPECT_TRUE(F::preservesContent(hundred, QString(300, QLatin1Char('b')), {}));
    EXPECT_FALSE(F::preservesContent(hundred, QString(301, QLatin1Char('b')), {}));
    // Accented letters written with combining marks count once.
    EXPECT_TRUE(F::preservesContent(thirty, words(80, u"e\u0301"_s), {}));

    EXPECT_FALSE(F::preservesContent(words(40), words(12), {}));
    EXPECT_TRUE(F::preservesContent(words(40), words(13), {}));
    EXPECT_TRUE(F::preservesContent(words(12), u"Word."_s, {}));
}

// Spoken punctuation is the speaker's: an answer may add marks and breaks but not drop one of ? ! ( ) “ ”
// or a line break; commas and full stops stay the model's to tidy.
TEST(PreservationCheck, theSpeakersMarksAndLineBreaksStay)
{
    const std::vector<std::tuple<const char *, const char *, bool>> cases{
        {"is it noon?", "Is it noon?", true},
        {"is it noon?", "Is it noon.", false},
        {"wow! great", "Wow. Great.", false},
        {"see (below)", "See below.", false},
        {"he said “hi”", "He said hi.", false},
        {"thanks\n\nsee you", "Thanks. See you.", false},
        {"thanks\n\nsee you", "Thanks.\nSee you.", false},
        {"thanks\n\n\nsee you", "Thanks.\n\nSee you.", true},
        {"dear anna,\nthanks", "Dear Anna,\nThanks.", true},
        {"one two", "One.\n\nTwo?", true},
        {"a, b, c", "A; b and c.", true},
    };
    for (const auto &[source, answer, kept] : cases) {
        SCOPED_TRACE(source);
        EXPECT_EQ(accepted(source, answer), kept);
    }
    // Pieces of a long Clean dictation are joined with the line breaks the cut fell on.
    const QString text = u"aaa bbb\n\nccc ddd eee"_s;
    const QStringList pieces{u"aaa bbb"_s, u"ccc"_s, u"ddd eee"_s};
    const QStringList answers{u"A."_s, u"C."_s, u"D."_s};
    EXPECT_EQ(F::joinPieces(text, pieces, answers, DictationMode::clean), u"A.\n\nC. D."_s);
    EXPECT_EQ(F::joinPieces(text, pieces, answers, DictationMode::structured), u"A.\n\nC.\n\nD."_s);
}

TEST(PreservationCheck, preferredSpellingsMustKeepTheirExactCase)
{
    const QList<DictionaryEntry> dictionary{entry(u"mac cloud"_s, u"MacLeod"_s), entry(u"x"_s, u"  "_s),
                                            entry(u"c plus plus"_s, u"C++"_s)};
    EXPECT_TRUE(accepted("call macleod today", "Call MacLeod today.", dictionary));
    EXPECT_FALSE(accepted("call macleod today", "Call Macleod today.", dictionary));
    EXPECT_FALSE(accepted("call macleod today", "Call MacLeods today.", dictionary));
    EXPECT_TRUE(accepted("call someone today", "Call someone today.", dictionary));
    EXPECT_TRUE(accepted("I write c++ daily", "I write C++ daily.", dictionary));
    EXPECT_FALSE(accepted("I write c++ daily", "I write C plus plus daily.", dictionary));
}

TEST(PreservationCheck, invalidUnicodeAndLongTextsDoNotCrash)
{
    const QString broken = u"call 5 "_s + loneHigh + u" at www.example.com don't"_s;
    EXPECT_EQ(F::numbers(broken), QStringList{u"5"_s});
    EXPECT_EQ(F::links(broken), QStringList{u"www.example.com"_s});
    EXPECT_EQ(F::negationMarkers(broken), QStringList{u"do not|"_s});
    EXPECT_TRUE(F::preservesContent(broken, broken, {entry(u"a"_s, loneHigh)}));

    QString longText;
    for (int i = 0; longText.size() < 20000; ++i)
        longText += u"item %1 isn't at https://x.org/%1, "_s.arg(i);
    EXPECT_TRUE(F::preservesContent(longText, longText, {}));
    EXPECT_EQ(F::numbers(longText).size(), F::links(longText).size() * 2);
}

TEST(Chunks, cutAtTheLastSpaceBeforeTheLimitCountingUserPerceivedCharacters)
{
    const std::tuple<const char *, int, QStringList> cases[] = {
        {"short text", 1800, {u"short text"_s}},
        {"aaaa bbbb cccc", 10, {u"aaaa bbbb"_s, u"cccc"_s}},
        {"abcdefghijkl mn", 5, {u"abcde"_s, u"fghij"_s, u"kl mn"_s}},
        {"ab \n\n  cd ef", 4, {u"ab"_s, u"cd"_s, u"ef"_s}},
        // "é" as e + combining accent is one character; an emoji with a skin tone too.
        {"e\u0301e\u0301e\u0301 👍🏽👍🏽", 4, {u"e\u0301e\u0301e\u0301"_s, u"👍🏽👍🏽"_s}},
    };
    for (const auto &[text, limit, pieces] : cases)
        EXPECT_EQ(F::chunks(QString::fromUtf8(text), limit), pieces) << text;
    EXPECT_EQ(F::chunks(u"ab"_s + loneHigh + u" cd"_s, 3), (QStringList{u"ab"_s + loneHigh, u"cd"_s}));
}

// The sentences themselves are the product's wording; what matters is the vocabulary's bound, the mode
// changing the instructions, and the dictation kept inside its markers.
TEST(Instructions, boundTheVocabularyAndWrapTheDictation)
{
    EXPECT_NE(F::instructions(DictationMode::clean, {}), F::instructions(DictationMode::structured, {}));
    QList<DictionaryEntry> dictionary;
    for (int i = 0; i < 75; ++i)
        dictionary.append(entry(u"h%1"_s.arg(i), u"R%1"_s.arg(i)));
    const QString withVocabulary = F::instructions(DictationMode::clean, dictionary);
    EXPECT_TRUE(withVocabulary.contains(u"applicable: h0 → R0; h1 → R1; "_s));
    EXPECT_TRUE(withVocabulary.contains(u"; h59 → R59\n"_s));
    EXPECT_FALSE(withVocabulary.contains(u"h60"_s));
    EXPECT_EQ(F::prompt(u"hi"_s), u"Format only this dictated text:\n<dictation>\nhi\n</dictation>"_s);
}

TEST(StatusText, namesTheActiveModelOrTheServersOwnReason)
{
    using R = ModelAvailability::Reason;
    EXPECT_EQ(F::statusText(ModelAvailability::ready(), u"Built-in rules"_s), u"Built-in rules · On this computer"_s);
    EXPECT_EQ(F::statusText(ModelAvailability::unavailable(R::other), u"qwen"_s),
              u"qwen is temporarily unavailable."_s);
    EXPECT_EQ(F::statusText(ModelAvailability::unavailable(R::other, u"No server."_s), u"qwen"_s), u"No server."_s);
}

TEST(BuiltinRules, cleansWhatDictationTypicallyProduces)
{
    using BuiltinRules::clean;
    const std::pair<const char *, const char *> cases[] = {
        {"um please send the notes tomorrow thank you", "Please send the notes tomorrow. Thank you."},
        {"i think i'm ready. uh are you", "I think I'm ready. Are you."},
        {"the the meeting is is at 10:30", "The meeting is at 10:30."},
        {"I want to I want to go home", "I want to go home."},
        {"he had had enough, hadn't he?", "He had had enough, hadn't he?"},
        {"no no no", "No no no."},
        // "may" and "march" are also plain words.
        {"see you friday or in january, it may be march", "See you Friday or in January, it may be march."},
        {"first line\nsecond line,\n\n\nthird", "First line.\nSecond line,\n\nThird."},
        {"www.example.com is up. mail bob@example.com", "www.example.com is up. Mail bob@example.com."},
        {"éclair for me. ça va", "Éclair for me. Ça va."},
        {"macOS is fine", "macOS is fine."},
        {"   ", ""},
    };
    for (const auto &[said, expected] : cases)
        EXPECT_EQ(clean(QString::fromUtf8(said)), QString::fromUtf8(expected)) << said;
    // A repeated negation is no false start to drop: the formatter's check counts negations and would
    // refuse the whole answer.
    for (const char *repeated :
         {"I don't don't want it", "we do not do not stop", "it can't can't be", "I cannot cannot go"}) {
        const QString said = QString::fromUtf8(repeated);
        const QString cleaned = clean(said);
        EXPECT_EQ(F::negationMarkers(cleaned), F::negationMarkers(said)) << cleaned.toStdString();
        EXPECT_TRUE(F::preservesContent(said, cleaned, {})) << cleaned.toStdString();
    }
    // The check finds "www." links inside words and with no letter after them ("-www.-"): a word stays
    // as it is where capitalising it or attaching a dropped filler's punctuation would change one.
    const QString nul(QChar(0));
    const std::vector<std::pair<QString, QString>> hiddenLinks{
        {nul + u"www."_s + nul + u" is down"_s, nul + u"www."_s + nul + u" Is down."_s},
        {u"-www.- is down"_s, u"-www.- Is down."_s},
        {u"see www um.' later"_s, u"See www later."_s}};
    for (const auto &[said, expected] : hiddenLinks) {
        EXPECT_EQ(clean(said), expected);
        EXPECT_TRUE(F::preservesContent(said, clean(said), {})) << qPrintable(clean(said));
    }
}

TEST(BuiltinRules, structuredModeMakesListsAndParagraphsOnlyWhereObvious)
{
    const std::pair<const char *, const char *> cases[] = {
        {"we need three things first buy milk second call mom and third pay the rent",
         "We need three things:\n- Buy milk\n- Call mom\n- Pay the rent"},
        {"one. wash the car. two. feed the cat. see you later", "- Wash the car\n- Feed the cat\n\nSee you later."},
        {"I have one dog and two cats", "I have one dog and two cats."},
        {"at first it rained, then the second day was fine", "At first it rained, then the second day was fine."},
        {"the build is green. moving on, the release is friday",
         "The build is green.\n\nMoving on, the release is Friday."},
        {"the build is green. also the release is friday", "The build is green. Also the release is Friday."},
        // A list would leave "not" before "call" instead of "second", which the check reads as a changed
        // negation.
        {"first pack the bags or not second call a cab", "First pack the bags or not second call a cab."},
    };
    for (const auto &[said, expected] : cases)
        EXPECT_EQ(BuiltinRules::structure(QString::fromUtf8(said)), QString::fromUtf8(expected)) << said;
}

// The rules' answers go through the same checks as a model's: each source here is answered with real
// formatting that keeps numbers, links, negations and the user's own spellings.
TEST(BuiltinRules, answersFormatAndPassThePreservationChecks)
{
    const auto answer = [](DictationMode mode, const QString &source, const QList<DictionaryEntry> &dictionary = {}) {
        return BuiltinRulesModel::answer(F::instructions(mode, dictionary), F::prompt(source));
    };
    const std::vector<std::tuple<DictationMode, QString, QString>> cases{
        {DictationMode::clean, u"um so i don't think we can meet at 10:30 on 5/12 uh see https://example.com/plan"_s,
         u"So I don't think we can meet at 10:30 on 5/12 see https://example.com/plan."_s},
        {DictationMode::structured,
         u"first email ann@example.com second call 555-0100 third don't forget the 3 reports"_s,
         u"- Email ann@example.com\n- Call 555-0100\n- Don't forget the 3 reports"_s},
        {DictationMode::clean, u"i i never said that that was wrong. moving on, the the budget is $1,200"_s,
         u"I never said that that was wrong. Moving on, the budget is $1,200."_s},
        {DictationMode::structured, u"i i never said that that was wrong. moving on, the the budget is $1,200"_s,
         u"I never said that that was wrong.\n\nMoving on, the budget is $1,200."_s},
        // What spoken punctuation gives: the speaker's marks and breaks stay.
        {DictationMode::clean, u"Dear anna,\nIs it (really) at noon? Thanks\n\nSee you “soon”!"_s,
         u"Dear anna,\nIs it (really) at noon? Thanks.\n\nSee you “soon”!"_s},
        {DictationMode::structured, u"Dear anna,\nIs it (really) at noon? Thanks\n\nSee you “soon”!"_s,
         u"Dear anna,\nIs it (really) at noon? Thanks.\n\nSee you “soon”!"_s},
    };
    for (const auto &[mode, source, expected] : cases) {
        const QString answered = answer(mode, source);
        EXPECT_EQ(answered, expected) << qPrintable(source);
        EXPECT_TRUE(F::preservesContent(source, answered, {})) << qPrintable(answered);
    }

    // The user's spellings are kept as written: one in lower case stays so at a sentence start, and one
    // that repeats a word is not taken for a false start.
    const QList<DictionaryEntry> dictionary{entry(u"eye phone"_s, u"iphone"_s), entry(u"mac o s"_s, u"macOS"_s),
                                            entry(u"bora"_s, u"Bora Bora"_s),
                                            entry(u"new york twice"_s, u"new york new york"_s)};
    const QString source = u"iphone sales rose. macOS too. we flew to Bora Bora, and sang new york new york"_s;
    const QString answered = answer(DictationMode::clean, source, dictionary);
    EXPECT_EQ(answered, u"iphone sales rose. macOS too. We flew to Bora Bora, and sang new york new york."_s);
    EXPECT_TRUE(F::preservesContent(source, answered, dictionary));
    EXPECT_EQ(answer(DictationMode::clean, u"we flew to to bora bora"_s), u"We flew to bora."_s)
        << "without the dictionary a repeat is a false start";

    // Lone surrogates are kept where they were and change nothing around them.
    EXPECT_EQ(BuiltinRules::structure(u"um "_s + loneHigh + u" i said "_s + loneHigh),
              loneHigh + u" I said "_s + loneHigh + u"."_s);
    // About four tokens for three words, one per punctuation mark.
    EXPECT_EQ(BuiltinRulesModel::estimatedTokens(u"one two three, four."_s), 8);
}
