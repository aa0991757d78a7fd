#include "delivery/CaretText.h"

namespace orv::caretText {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\u00a0';
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == u'\u2028' || c == u'\u2029';
}

// Characters that close onto the word before them: no space goes in front of them.
bool closesOnPrevious(QChar c)
{
    static const QString closing = QStringLiteral(".,;:!?\u2026)]}\u201d\u2019%'\u00bb");
    return closing.contains(c);
}

bool opensOnNext(QChar c)
{
    static const QString opening = QStringLiteral("([{\u201c\u2018\u00ab\u00bf\u00a1/");
    return opening.contains(c);
}

bool endsSentence(QChar c)
{
    return c == u'.' || c == u'!' || c == u'?' || c == u'\u2026';
}

bool isClosingMark(QChar c)
{
    static const QString marks = QStringLiteral(")]}\"'\u201d\u2019\u00bb");
    return marks.contains(c);
}

enum class Place
{
    unknown,       // nothing readable before the caret, or only blanks that stop short of the start
    lineStart,     // the start of the field or of a line: the text keeps its own capitals
    sentenceStart, // after a sentence end
    midSentence
};

Place placeAfter(const QString &before, bool reachesStart)
{
    qsizetype end = before.size();
    while (end > 0 && isBlank(before.at(end - 1)))
        --end;
    if (end == 0)
        return reachesStart ? Place::lineStart : Place::unknown;
    if (isLineBreak(before.at(end - 1)))
        return Place::lineStart;
    while (end > 0 && isClosingMark(before.at(end - 1)))
        --end;
    if (end > 0 && endsSentence(before.at(end - 1)))
        return Place::sentenceStart;
    return Place::midSentence;
}

// The leading word: letters, and apostrophes inside it ("I'm").
QString leadingWord(const QString &text)
{
    qsizetype end = 0;
    while (end < text.size() &&
           (text.at(end).isLetter() || ((text.at(end) == u'\'' || text.at(end) == u'\u2019') && end > 0 &&
                                        end + 1 < text.size() && text.at(end + 1).isLetter())))
        ++end;
    return text.left(end);
}

// A capital only at the start ("Hello", "A"), not a name written so in what was said, an acronym, a
// word with inner capitals, or the pronoun I.
bool capitalIsTheFormatters(const QString &word, const QString &dictated)
{
    if (word.isEmpty() || !word.at(0).isUpper() || dictated.isEmpty())
        return false;
    for (qsizetype i = 1; i < word.size(); ++i)
        if (word.at(i).isUpper())
            return false;
    if (word == QLatin1String("I") || word.startsWith(QLatin1String("I'")) ||
        word.startsWith(QStringLiteral("I\u2019")))
        return false;
    const QString said = leadingWord(dictated.trimmed());
    return said.compare(word, Qt::CaseInsensitive) == 0 && !said.at(0).isUpper();
}

} // namespace

QString fitted(const QString &before, bool reachesStart, const QString &text, const QString &dictated)
{
    if (text.isEmpty())
        return text;
    QString result = text;
    const QString word = leadingWord(text);
    switch (placeAfter(before, reachesStart)) {
    case Place::sentenceStart:
        if (!word.isEmpty() && word.at(0).isLower())
            result.replace(0, 1, word.left(1).toUpper());
        break;
    case Place::midSentence:
        if (capitalIsTheFormatters(word, dictated))
            result.replace(0, 1, word.left(1).toLower());
        break;
    case Place::lineStart:
    case Place::unknown:
        break;
    }
    if (before.isEmpty())
        return result;
    const QChar last = before.back();
    const QChar first = text.front();
    if (last.isSpace() || first.isSpace() || closesOnPrevious(first) || opensOnNext(last))
        return result;
    // A straight quote after a blank opens a quotation.
    if ((last == u'"' || last == u'\'') && (before.size() == 1 || before.at(before.size() - 2).isSpace()))
        return result;
    return u' ' + result;
}

} // namespace orv::caretText
