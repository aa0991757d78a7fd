#include "speech/SpokenPunctuation.h"

#include <QLocale>

namespace orv {

namespace {

using Placement = SpokenPunctuation::Placement;

// What a recognizer may have put next to a spoken mark on its own.
const QString automaticMarks = QStringLiteral(".,;:!?…");

struct Token
{
    QString text;
    QString gap; // the whitespace before it
};

QList<Token> tokenize(const QString &text)
{
    QList<Token> tokens;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype gapStart = i;
        while (i < text.size() && text.at(i).isSpace())
            ++i;
        const qsizetype wordStart = i;
        while (i < text.size() && !text.at(i).isSpace())
            ++i;
        if (i > wordStart)
            tokens.append({text.mid(wordStart, i - wordStart), text.mid(gapStart, wordStart - gapStart)});
    }
    return tokens;
}

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('\'') || c == QChar(0x2019);
}

// The word without the marks around it, lower case.
QString core(const QString &token)
{
    qsizetype start = 0;
    qsizetype end = token.size();
    while (start < end && !token.at(start).isLetterOrNumber())
        ++start;
    while (end > start && !token.at(end - 1).isLetterOrNumber())
        --end;
    return token.mid(start, end - start).toLower();
}

bool hasTrailingMark(const QString &token)
{
    return !token.isEmpty() && !isWordCharacter(token.back());
}

bool looksLikeLink(const QString &token)
{
    return token.contains(QStringLiteral("://")) || token.contains(QLatin1Char('@')) ||
           token.startsWith(QStringLiteral("www."), Qt::CaseInsensitive);
}

QString capitalized(const QString &token)
{
    if (looksLikeLink(token))
        return token;
    for (qsizetype i = 0; i < token.size(); ++i) {
        if (!token.at(i).isLetter())
            continue;
        const QString upper = token.mid(i, 1).toUpper();
        if (!token.at(i).isLower() || upper.size() != 1)
            return token;
        QString result = token;
        result[i] = upper.at(0);
        return result;
    }
    return token;
}

SpokenPunctuation::Command command(std::initializer_list<const char16_t *> phrases,
                                   const char16_t *mark,
                                   Placement placement,
                                   bool endsSentence = false)
{
    SpokenPunctuation::Command result;
    for (const char16_t *phrase : phrases)
        result.phrases.append(QString::fromUtf16(phrase));
    result.mark = QString::fromUtf16(mark);
    result.placement = placement;
    result.endsSentence = endsSentence;
    return result;
}

// The text being built, and what the next word needs.
struct Output
{
    QString text;
    qsizetype spokenEnd = 0; // where the last spoken mark ends: what is before it stays
    bool glued = false;      // the next word follows without a space
    bool capitalizeNext = false;

    bool atLineStart() const { return text.isEmpty() || text.endsWith(QLatin1Char('\n')); }

    void trimSpaces()
    {
        while (text.size() > spokenEnd && text.back().isSpace() && text.back() != QLatin1Char('\n'))
            text.chop(1);
    }

    // The recognizer's own marks just before a spoken one give way to it.
    void dropAutomaticMarks()
    {
        trimSpaces();
        while (text.size() > spokenEnd && automaticMarks.contains(text.back()))
            text.chop(1);
    }

    void separate(const QString &gap)
    {
        if (glued || text.isEmpty())
            return;
        // A recognizer's own line break stays.
        text += gap.contains(QLatin1Char('\n')) ? gap : QStringLiteral(" ");
    }

    void word(const QString &token, const QString &gap)
    {
        separate(gap);
        text += capitalizeNext ? capitalized(token) : token;
        glued = false;
        capitalizeNext = false;
    }

    void mark(const SpokenPunctuation::Command &command, const QString &gap)
    {
        switch (command.placement) {
        case Placement::closing:
            dropAutomaticMarks();
            text += command.mark;
            glued = false;
            break;
        case Placement::opening:
            separate(gap);
            text += command.mark;
            glued = true;
            break;
        case Placement::joining:
            dropAutomaticMarks();
            text += command.mark;
            glued = true;
            break;
        case Placement::spaced:
            dropAutomaticMarks();
            text += atLineStart() ? command.mark.trimmed() + QLatin1Char(' ') : command.mark;
            glued = true;
            break;
        case Placement::lineBreak: {
            trimSpaces();
            qsizetype present = 0;
            while (present < text.size() && text.at(text.size() - 1 - present) == QLatin1Char('\n'))
                ++present;
            // Two breaks at most: "new paragraph new line" is one blank line.
            if (!text.isEmpty())
                text += QString(std::max<qsizetype>(0, std::min<qsizetype>(2, present + command.mark.size()) - present),
                                QLatin1Char('\n'));
            glued = true;
            capitalizeNext = true;
            break;
        }
        }
        if (command.endsSentence)
            capitalizeNext = true;
        spokenEnd = text.size();
    }
};

} // namespace

const SpokenPunctuation &SpokenPunctuation::english()
{
    static const SpokenPunctuation table(Language{
        QStringLiteral("literal"),
        {
            command({u"period", u"full stop"}, u".", Placement::closing, true),
            command({u"comma"}, u",", Placement::closing),
            command({u"question mark"}, u"?", Placement::closing, true),
            command({u"exclamation mark", u"exclamation point"}, u"!", Placement::closing, true),
            command({u"colon"}, u":", Placement::closing),
            command({u"semicolon", u"semi colon"}, u";", Placement::closing),
            command({u"dash"}, u" – ", Placement::spaced),
            command({u"hyphen"}, u"-", Placement::joining),
            command({u"open quote"}, u"“", Placement::opening),
            command({u"close quote"}, u"”", Placement::closing),
            command({u"open parenthesis", u"open bracket"}, u"(", Placement::opening),
            command({u"close parenthesis", u"close bracket"}, u")", Placement::closing),
            command({u"new line"}, u"\n", Placement::lineBreak),
            command({u"new paragraph"}, u"\n\n", Placement::lineBreak),
        },
    });
    return table;
}

const SpokenPunctuation *SpokenPunctuation::forLocale(const QString &locale)
{
    if (QLocale(locale).language() == QLocale::English)
        return &english();
    return nullptr;
}

SpokenPunctuation::SpokenPunctuation(Language language) : m_language(std::move(language)) {}

QStringList SpokenPunctuation::phrases() const
{
    QStringList result;
    for (const Command &command : m_language.commands)
        result += command.phrases;
    return result;
}

QStringList SpokenPunctuation::expectedPhrases() const
{
    QStringList result;
    for (const Command &command : m_language.commands)
        result.append(command.phrases.front());
    return result;
}

SpokenPunctuation::Match SpokenPunctuation::match(const QStringList &tokens, qsizetype at) const
{
    Match best;
    for (const Command &command : m_language.commands) {
        for (const QString &phrase : command.phrases) {
            const QStringList words = phrase.split(QLatin1Char(' '));
            if (words.size() <= best.length || at + words.size() > tokens.size())
                continue;
            bool matches = true;
            for (qsizetype k = 0; k < words.size() && matches; ++k) {
                const QString &token = tokens[at + k];
                // Inside a phrase, a mark after a word means the recognizer heard a boundary there.
                matches = core(token) == words[k] && (k + 1 == words.size() || !hasTrailingMark(token));
            }
            if (matches)
                best = Match{&command, words.size()};
        }
    }
    return best;
}

QString SpokenPunctuation::apply(const QString &text) const
{
    const QList<Token> tokens = tokenize(text);
    QStringList words;
    words.reserve(tokens.size());
    for (const Token &token : tokens)
        words.append(token.text);

    Output out;
    for (qsizetype i = 0; i < tokens.size();) {
        if (core(words[i]) == m_language.literal && i + 1 < tokens.size()) {
            const Match escaped = match(words, i + 1);
            const qsizetype length = escaped.command                            ? escaped.length
                                     : core(words[i + 1]) == m_language.literal ? 1
                                                                                : 0;
            if (length > 0) {
                // The escape word may have taken the capital of a sentence start.
                if (words[i] != words[i].toLower())
                    out.capitalizeNext = true;
                for (qsizetype k = 0; k < length; ++k)
                    out.word(words[i + 1 + k], k == 0 ? tokens[i].gap : tokens[i + 1 + k].gap);
                i += 1 + length;
                continue;
            }
        }
        if (const Match found = match(words, i); found.command) {
            out.mark(*found.command, tokens[i].gap);
            i += found.length;
            continue;
        }
        out.word(words[i], tokens[i].gap);
        ++i;
    }
    return out.text;
}

} // namespace orv
