#include "refine/builtin/BuiltinRules.h"

#include "refine/IntelligenceFormatter.h"

#include <QList>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace orv::BuiltinRules {

namespace {

struct Token
{
    QString word;
    QString gap; // whitespace after the word
};

using Tokens = QList<Token>;

Tokens tokenize(const QString &text)
{
    Tokens tokens;
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size && text.at(i).isSpace())
        ++i;
    while (i < size) {
        const qsizetype wordStart = i;
        while (i < size && !text.at(i).isSpace())
            ++i;
        const qsizetype gapStart = i;
        while (i < size && text.at(i).isSpace())
            ++i;
        tokens.append({text.mid(wordStart, gapStart - wordStart), text.mid(gapStart, i - gapStart)});
    }
    return tokens;
}

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('\'') || c == QChar(0x2019);
}

// The word without surrounding punctuation, lower-cased.
QString core(const QString &word)
{
    qsizetype start = 0;
    qsizetype end = word.size();
    while (start < end && !word.at(start).isLetterOrNumber())
        ++start;
    while (end > start && !word.at(end - 1).isLetterOrNumber())
        --end;
    return word.mid(start, end - start).toLower();
}

QString trailingPunctuation(const QString &word)
{
    qsizetype end = word.size();
    while (end > 0 && !word.at(end - 1).isLetterOrNumber())
        --end;
    return word.mid(end);
}

bool isPlainWord(const QString &word)
{
    const QString c = core(word);
    return !c.isEmpty() && std::all_of(c.begin(), c.end(), [](QChar ch) { return isWordCharacter(ch); }) &&
           std::any_of(c.begin(), c.end(), [](QChar ch) { return ch.isLetter(); }) &&
           std::none_of(c.begin(), c.end(), [](QChar ch) { return ch.isDigit(); });
}

bool looksLikeLink(const QString &word)
{
    return word.contains(QLatin1Char('@')) || word.contains(QStringLiteral("://")) ||
           word.startsWith(QStringLiteral("www."), Qt::CaseInsensitive) || word.contains(QLatin1Char('/'));
}

// The formatter's check finds links anywhere in a word, after any other character ("-www.-", "\0www.\0"):
// an edit that changes what it reads as links there would have the whole answer refused.
bool keepsLinks(const QString &word, const QString &edited)
{
    return IntelligenceFormatter::links(word) == IntelligenceFormatter::links(edited);
}

bool endsSentence(const QString &word)
{
    const QString tail = trailingPunctuation(word);
    return tail.contains(QLatin1Char('.')) || tail.contains(QLatin1Char('!')) || tail.contains(QLatin1Char('?')) ||
           tail.contains(QChar(0x2026));
}

bool hasLineBreak(const QString &gap)
{
    return gap.contains(QLatin1Char('\n')) || gap.contains(QChar(0x2029)) || gap.contains(QChar(0x2028));
}

const QSet<QString> &fillers()
{
    static const QSet<QString> words{QStringLiteral("um"),  QStringLiteral("umm"), QStringLiteral("uh"),
                                     QStringLiteral("uhh"), QStringLiteral("uhm"), QStringLiteral("er"),
                                     QStringLiteral("erm"), QStringLiteral("ah"),  QStringLiteral("hmm"),
                                     QStringLiteral("hm"),  QStringLiteral("mm")};
    return words;
}

// Words that are doubled on purpose ("had had", "that that") or that carry meaning each time.
const QSet<QString> &keptRepeats()
{
    static const QSet<QString> words{QStringLiteral("had"),   QStringLiteral("that"),    QStringLiteral("very"),
                                     QStringLiteral("no"),    QStringLiteral("not"),     QStringLiteral("never"),
                                     QStringLiteral("nor"),   QStringLiteral("neither"), QStringLiteral("without"),
                                     QStringLiteral("bye"),   QStringLiteral("ha"),      QStringLiteral("knock"),
                                     QStringLiteral("really")};
    return words;
}

QString longerGap(const QString &a, const QString &b)
{
    const auto breaks = [](const QString &gap) { return gap.count(QLatin1Char('\n')); };
    return breaks(b) > breaks(a) ? b : a;
}

void dropFillers(Tokens &tokens)
{
    Tokens kept;
    for (const Token &token : std::as_const(tokens)) {
        if (!fillers().contains(core(token.word)) || !isPlainWord(token.word)) {
            kept.append(token);
            continue;
        }
        if (kept.isEmpty())
            continue;
        Token &previous = kept.last();
        if (endsSentence(token.word) && !endsSentence(previous.word) && trailingPunctuation(previous.word).isEmpty()) {
            const QString punctuated = previous.word + trailingPunctuation(token.word).remove(QLatin1Char(','));
            if (keepsLinks(previous.word, punctuated))
                previous.word = punctuated;
        }
        previous.gap = longerGap(previous.gap, token.gap);
    }
    tokens = kept;
}

struct RepeatKey
{
    QString key; // the lower-cased word, empty when it may not be collapsed
    bool joinsNext = false;
};

RepeatKey repeatKey(const Token &token)
{
    RepeatKey result;
    if (!isPlainWord(token.word) || hasLineBreak(token.gap))
        return result;
    const QString tail = trailingPunctuation(token.word);
    if (!tail.isEmpty() && tail != QStringLiteral(",") && tail != QStringLiteral("…"))
        return result;
    result.key = core(token.word);
    return result;
}

// Marks the tokens that belong to an occurrence of a preferred spelling of several words.
QList<bool> spellingTokens(const Tokens &tokens, const QStringList &spellings)
{
    QList<bool> marks(tokens.size(), false);
    QStringList cores;
    cores.reserve(tokens.size());
    for (const Token &token : tokens)
        cores.append(core(token.word));
    for (const QString &spelling : spellings) {
        QStringList words;
        for (const Token &token : tokenize(spelling))
            words.append(core(token.word));
        if (words.size() < 2)
            continue;
        for (qsizetype i = 0; i + words.size() <= cores.size(); ++i) {
            if (std::equal(words.cbegin(), words.cend(), cores.cbegin() + i))
                std::fill(marks.begin() + i, marks.begin() + i + words.size(), true);
        }
    }
    return marks;
}

// A negation said twice stays ("don't don't"): dropping one would change the negations the formatter's
// check compares, and it would refuse the whole answer.
bool isNegation(const QString &key)
{
    static const QSet<QString> words{QStringLiteral("no"),      QStringLiteral("not"), QStringLiteral("never"),
                                     QStringLiteral("neither"), QStringLiteral("nor"), QStringLiteral("without"),
                                     QStringLiteral("cannot")};
    return words.contains(key) || key.endsWith(QStringLiteral("n't")) || key.endsWith(QStringLiteral("n’t"));
}

bool sameGroup(const QList<RepeatKey> &keys,
               const QList<bool> &spelled,
               const Tokens &tokens,
               qsizetype first,
               qsizetype second,
               qsizetype length)
{
    for (qsizetype k = 0; k < length; ++k) {
        const QString &a = keys[first + k].key;
        if (a.isEmpty() || a != core(tokens[second + k].word) || !isPlainWord(tokens[second + k].word) ||
            spelled[first + k] || spelled[second + k] || isNegation(a))
            return false;
    }
    return length > 1 || !keptRepeats().contains(keys[first].key);
}

// "I want to I want to go" → "I want to go": a group of up to three words said twice in a row, unless
// the words are the user's own spelling ("Bora Bora").
void collapseRepeats(Tokens &tokens, const QStringList &spellings)
{
    QList<RepeatKey> keys;
    keys.reserve(tokens.size());
    for (const Token &token : std::as_const(tokens))
        keys.append(repeatKey(token));
    QList<bool> spelled = spellingTokens(tokens, spellings);
    qsizetype i = 0;
    while (i < tokens.size()) {
        bool removed = false;
        for (qsizetype length = 3; length >= 1; --length) {
            if (i + 2 * length <= tokens.size() && sameGroup(keys, spelled, tokens, i, i + length, length)) {
                tokens.remove(i, length);
                keys.remove(i, length);
                spelled.remove(i, length);
                removed = true;
                break;
            }
        }
        i = removed ? std::max<qsizetype>(0, i - 3) : i + 1;
    }
}

void capitalizeI(Tokens &tokens)
{
    for (Token &token : tokens) {
        const QString c = core(token.word);
        if (c == QStringLiteral("i") || c.startsWith(QStringLiteral("i'")) || c.startsWith(QStringLiteral("i’"))) {
            const qsizetype at = token.word.indexOf(QLatin1Char('i'));
            if (at >= 0 && (at == 0 || !token.word.at(at - 1).isLetterOrNumber()))
                token.word[at] = QLatin1Char('I');
        }
    }
}

void capitalizeFirstLetter(Token &token, const QSet<QString> &kept)
{
    QString &word = token.word;
    if (looksLikeLink(word) || !isPlainWord(word) || kept.contains(core(word)))
        return;
    // Only all-lower-case words: "iPhone" or "macOS" keep their spelling.
    for (QChar ch : word) {
        if (ch.isUpper())
            return;
    }
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word.at(i).isLetter()) {
            const QString upper = word.mid(i, 1).toUpper();
            if (upper.size() == 1) {
                QString capitalized = word;
                capitalized[i] = upper.at(0);
                if (keepsLinks(word, capitalized))
                    word = capitalized;
            }
            return;
        }
    }
}

void separateClosingThanks(Tokens &tokens)
{
    const qsizetype n = tokens.size();
    qsizetype start = -1;
    if (n >= 3 && core(tokens[n - 2].word) == QStringLiteral("thank") &&
        core(tokens[n - 1].word) == QStringLiteral("you"))
        start = n - 2;
    else if (n >= 2 && core(tokens[n - 1].word) == QStringLiteral("thanks"))
        start = n - 1;
    if (start < 1)
        return;
    Token &previous = tokens[start - 1];
    if (!trailingPunctuation(previous.word).isEmpty() || hasLineBreak(previous.gap) || !isPlainWord(previous.word))
        return;
    previous.word += QLatin1Char('.');
}

bool endsWithTerminal(const QString &word)
{
    if (word.isEmpty())
        return false;
    static const QString terminals = QStringLiteral(".!?…:;");
    QString trimmed = word;
    while (!trimmed.isEmpty() && QStringLiteral("\"'”’)]").contains(trimmed.back()))
        trimmed.chop(1);
    return !trimmed.isEmpty() && terminals.contains(trimmed.back());
}

void endWithFullStop(Token &token)
{
    if (endsWithTerminal(token.word))
        return;
    // A mark the speaker put there stays: "Dear Anna," before a line break, an opening bracket.
    static const QString spokenMarks = QStringLiteral(",;:-–(“");
    if (!token.word.isEmpty() && spokenMarks.contains(token.word.back()))
        return;
    token.word += QLatin1Char('.');
}

// Weekdays and months are names. "May", "March" and "August" are also plain words and stay as spoken.
void capitalizeCalendarNames(Tokens &tokens, const QSet<QString> &kept)
{
    static const QSet<QString> names{
        QStringLiteral("monday"),    QStringLiteral("tuesday"), QStringLiteral("wednesday"),
        QStringLiteral("thursday"),  QStringLiteral("friday"),  QStringLiteral("saturday"),
        QStringLiteral("sunday"),    QStringLiteral("january"), QStringLiteral("february"),
        QStringLiteral("april"),     QStringLiteral("june"),    QStringLiteral("july"),
        QStringLiteral("september"), QStringLiteral("october"), QStringLiteral("november"),
        QStringLiteral("december"),
    };
    for (Token &token : tokens) {
        QString name = core(token.word);
        if (name.endsWith(QLatin1String("'s")) || name.endsWith(QStringLiteral("’s")))
            name.chop(2);
        if (names.contains(name))
            capitalizeFirstLetter(token, kept);
    }
}

// Capitals at sentence starts and a full stop before each line break and at the end.
void punctuate(Tokens &tokens, const QSet<QString> &kept)
{
    capitalizeCalendarNames(tokens, kept);
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const bool sentenceStart = i == 0 || endsSentence(tokens[i - 1].word) || hasLineBreak(tokens[i - 1].gap);
        if (sentenceStart)
            capitalizeFirstLetter(tokens[i], kept);
        if (i + 1 == tokens.size() || hasLineBreak(tokens[i].gap))
            endWithFullStop(tokens[i]);
    }
}

QString join(const Tokens &tokens, bool keepLineBreaks = true)
{
    QString text;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        text += tokens[i].word;
        if (i + 1 == tokens.size())
            break;
        const QString &gap = tokens[i].gap;
        if (keepLineBreaks && hasLineBreak(gap)) {
            const qsizetype breaks = std::min<qsizetype>(gap.count(QLatin1Char('\n')), 2);
            text += QString(std::max<qsizetype>(breaks, 1), QLatin1Char('\n'));
        } else {
            text += QLatin1Char(' ');
        }
    }
    return text;
}

Tokens tidied(const QString &text, const QStringList &spellings)
{
    Tokens tokens = tokenize(text);
    dropFillers(tokens);
    collapseRepeats(tokens, spellings);
    capitalizeI(tokens);
    return tokens;
}

// --- lists -------------------------------------------------------------------------------------------

const QList<QStringList> &markerSequences()
{
    static const QList<QStringList> sequences{
        {QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third"), QStringLiteral("fourth"),
         QStringLiteral("fifth"), QStringLiteral("sixth"), QStringLiteral("seventh"), QStringLiteral("eighth"),
         QStringLiteral("ninth"), QStringLiteral("tenth")},
        {QStringLiteral("firstly"), QStringLiteral("secondly"), QStringLiteral("thirdly"), QStringLiteral("fourthly"),
         QStringLiteral("fifthly")},
        {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three"), QStringLiteral("four"),
         QStringLiteral("five"), QStringLiteral("six"), QStringLiteral("seven"), QStringLiteral("eight"),
         QStringLiteral("nine"), QStringLiteral("ten")},
    };
    return sequences;
}

bool qualifiesAsMarker(const Tokens &tokens, qsizetype at, bool cardinal)
{
    if (at + 1 >= tokens.size() || !isPlainWord(tokens[at].word))
        return false;
    if (at == 0)
        return true;
    const Token &previous = tokens[at - 1];
    const QString tail = trailingPunctuation(previous.word);
    const bool clauseStart = !tail.isEmpty() || hasLineBreak(previous.gap);
    if (cardinal)
        return clauseStart;
    static const QSet<QString> determiners{QStringLiteral("a"),     QStringLiteral("an"),    QStringLiteral("the"),
                                           QStringLiteral("at"),    QStringLiteral("my"),    QStringLiteral("his"),
                                           QStringLiteral("her"),   QStringLiteral("its"),   QStringLiteral("our"),
                                           QStringLiteral("their"), QStringLiteral("your"),  QStringLiteral("this"),
                                           QStringLiteral("that"),  QStringLiteral("every"), QStringLiteral("one")};
    return clauseStart || !determiners.contains(core(previous.word));
}

// Positions of the enumeration markers, or nothing when the speaker does not clearly enumerate.
QList<qsizetype> findMarkers(const Tokens &tokens)
{
    for (qsizetype s = 0; s < markerSequences().size(); ++s) {
        const QStringList &sequence = markerSequences()[s];
        const bool cardinal = s == 2;
        QList<qsizetype> found;
        qsizetype next = 0;
        for (qsizetype i = 0; i < tokens.size() && next < sequence.size(); ++i) {
            if (core(tokens[i].word) != sequence[next] || !qualifiesAsMarker(tokens, i, cardinal))
                continue;
            if (!found.isEmpty() && i == found.last() + 1)
                break; // an empty item: not an enumeration
            found.append(i);
            ++next;
        }
        if (found.size() >= 2)
            return found;
    }
    return {};
}

void dropTrailingConnectives(Tokens &item)
{
    static const QSet<QString> connectives{QStringLiteral("and"), QStringLiteral("then"), QStringLiteral("also")};
    while (item.size() > 1 && connectives.contains(core(item.last().word)) &&
           trailingPunctuation(item.last().word).isEmpty())
        item.removeLast();
    QString &word = item.last().word;
    while (!word.isEmpty() && (word.back() == QLatin1Char(',') || word.back() == QLatin1Char(';')))
        word.chop(1);
}

QString listItem(Tokens item, const QSet<QString> &kept)
{
    dropTrailingConnectives(item);
    if (!item.isEmpty())
        capitalizeFirstLetter(item[0], kept);
    for (qsizetype i = 1; i < item.size(); ++i) {
        if (endsSentence(item[i - 1].word))
            capitalizeFirstLetter(item[i], kept);
    }
    return QStringLiteral("- ") + join(item, false);
}

// --- paragraphs ---------------------------------------------------------------------------------------

bool startsNewTopic(const Tokens &tokens, qsizetype at)
{
    static const QList<QStringList> phrases{
        {QStringLiteral("moving"), QStringLiteral("on")},
        {QStringLiteral("on"), QStringLiteral("another"), QStringLiteral("note")},
        {QStringLiteral("on"), QStringLiteral("a"), QStringLiteral("different"), QStringLiteral("note")},
        {QStringLiteral("in"), QStringLiteral("other"), QStringLiteral("news")},
        {QStringLiteral("changing"), QStringLiteral("the"), QStringLiteral("subject")},
        {QStringLiteral("another"), QStringLiteral("thing")},
        {QStringLiteral("one"), QStringLiteral("more"), QStringLiteral("thing")},
        {QStringLiteral("by"), QStringLiteral("the"), QStringLiteral("way")},
        {QStringLiteral("separately")},
        {QStringLiteral("anyway")},
    };
    for (const QStringList &phrase : phrases) {
        if (at + phrase.size() > tokens.size())
            continue;
        bool matches = true;
        for (qsizetype k = 0; k < phrase.size() && matches; ++k) {
            matches = core(tokens[at + k].word) == phrase[k];
            if (matches && k + 1 < phrase.size())
                matches = trailingPunctuation(tokens[at + k].word).isEmpty();
        }
        if (matches)
            return true;
    }
    return false;
}

QString paragraphs(Tokens tokens, const QSet<QString> &kept)
{
    if (tokens.isEmpty())
        return {};
    for (qsizetype i = 1; i < tokens.size(); ++i) {
        Token &previous = tokens[i - 1];
        if (!endsSentence(previous.word) || hasLineBreak(previous.gap))
            continue;
        if (startsNewTopic(tokens, i))
            previous.gap = QStringLiteral("\n\n");
    }
    punctuate(tokens, kept);
    return join(tokens);
}

// The words of the preferred spellings that are written in lower case: a sentence start must not change
// them.
QSet<QString> lowerCaseWords(const QStringList &spellings)
{
    QSet<QString> words;
    for (const QString &spelling : spellings) {
        for (const Token &token : tokenize(spelling)) {
            if (token.word == token.word.toLower())
                words.insert(core(token.word));
        }
    }
    return words;
}

} // namespace

QString clean(const QString &text, const QStringList &spellings)
{
    const QSet<QString> kept = lowerCaseWords(spellings);
    Tokens tokens = tidied(text, spellings);
    separateClosingThanks(tokens);
    punctuate(tokens, kept);
    return join(tokens);
}

QString structure(const QString &text, const QStringList &spellings)
{
    const QSet<QString> kept = lowerCaseWords(spellings);
    Tokens tokens = tidied(text, spellings);
    const QList<qsizetype> markers = findMarkers(tokens);
    if (markers.isEmpty()) {
        separateClosingThanks(tokens);
        return paragraphs(tokens, kept);
    }

    QStringList blocks;
    Tokens intro = tokens.mid(0, markers.first());
    if (!intro.isEmpty()) {
        punctuate(intro, kept);
        QString &last = intro.last().word;
        while (!last.isEmpty() && QStringLiteral(".,;:").contains(last.back()))
            last.chop(1);
        if (!endsWithTerminal(last))
            last += QLatin1Char(':');
        blocks.append(join(intro));
    }

    QStringList items;
    Tokens rest;
    for (qsizetype m = 0; m < markers.size(); ++m) {
        const qsizetype from = markers[m] + 1;
        qsizetype to = m + 1 < markers.size() ? markers[m + 1] : tokens.size();
        if (m + 1 == markers.size()) {
            // The last item ends with its sentence; what follows is a paragraph of its own.
            for (qsizetype i = from; i < to; ++i) {
                if (endsSentence(tokens[i].word) || hasLineBreak(tokens[i].gap)) {
                    rest = tokens.mid(i + 1, to - i - 1);
                    to = i + 1;
                    break;
                }
            }
        }
        Tokens item = tokens.mid(from, to - from);
        if (!item.isEmpty()) {
            QString &last = item.last().word;
            if (last.endsWith(QLatin1Char('.')) && !last.endsWith(QStringLiteral("..")))
                last.chop(1);
            items.append(listItem(item, kept));
        }
    }
    QString list = items.join(QLatin1Char('\n'));
    if (!blocks.isEmpty()) {
        blocks.last() += QLatin1Char('\n') + list;
    } else {
        blocks.append(list);
    }
    if (!rest.isEmpty()) {
        separateClosingThanks(rest);
        blocks.append(paragraphs(rest, kept));
    }
    const QString listed = blocks.join(QStringLiteral("\n\n"));
    // Dropping the markers and the connectives before them can leave a negation before another word than
    // it was said with ("or not second call" → "or not", "- Call"): such a dictation gets no list.
    if (IntelligenceFormatter::negationMarkers(listed) == IntelligenceFormatter::negationMarkers(text))
        return listed;
    separateClosingThanks(tokens);
    return paragraphs(tokens, kept);
}

} // namespace orv::BuiltinRules
