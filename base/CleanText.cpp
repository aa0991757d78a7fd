#include "base/CleanText.h"

namespace orv {

namespace {

constexpr char16_t escape = 0x1B;
constexpr char16_t bell = 0x07;
constexpr char16_t c1Csi = 0x9B;
constexpr char16_t c1St = 0x9C;

bool isC1StringStart(char16_t c)
{
    return c == 0x90 || c == 0x98 || c == 0x9D || c == 0x9E || c == 0x9F; // DCS, SOS, OSC, PM, APC
}

// Invisible characters that only steer how text shows or is read.
bool isInvisibleFormat(char32_t c)
{
    return c == 0x00AD                       // soft hyphen
           || c == 0x061C                    // Arabic letter mark
           || c == 0x180E                    // Mongolian vowel separator
           || c == 0x200B                    // zero-width space
           || c == 0x200E || c == 0x200F     // direction marks
           || (c >= 0x202A && c <= 0x202E)   // embeddings and overrides
           || (c >= 0x2060 && c <= 0x206F)   // word joiner, invisible operators, isolates
           || c == 0xFEFF                    // zero-width no-break space
           || (c >= 0xFFF9 && c <= 0xFFFB)   // interlinear annotations
           || (c >= 0xE0000 && c <= 0xE007F) // tags
        ;
}

bool isJoiner(char16_t c)
{
    return c == 0x200C || c == 0x200D;
}

// The zero-width joiner and non-joiner belong between letters of scripts that join (Arabic, Persian,
// Indic) and inside emoji sequences: non-ASCII on both sides. Elsewhere they only hide words. Decided on
// the text already cleaned of everything else, so that cleaning twice changes nothing.
QString withJoinersInPlace(const QString &text)
{
    const auto meaningful = [](QChar c) { return c.unicode() > 0x7F && !c.isSpace() && !isJoiner(c.unicode()); };
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isJoiner(text.at(i).unicode()) &&
            !(i > 0 && i + 1 < text.size() && meaningful(text.at(i - 1)) && meaningful(text.at(i + 1))))
            continue;
        kept += text.at(i);
    }
    return kept;
}

// Index just past the escape sequence starting at `at` (an ESC or a C1 introducer).
qsizetype pastSequence(const QString &text, qsizetype at)
{
    const qsizetype size = text.size();
    char16_t kind = text.at(at).unicode();
    qsizetype i = at + 1;
    if (kind == escape) {
        if (i >= size)
            return i;
        const char16_t next = text.at(i).unicode();
        if (next == u'[')
            kind = c1Csi;
        else if (next == u']' || next == u'P' || next == u'X' || next == u'^' || next == u'_')
            kind = 0x9D;
        else // a two-character sequence (or ESC before anything): intermediates, then one final
        {
            while (i < size && text.at(i).unicode() >= 0x20 && text.at(i).unicode() <= 0x2F)
                ++i;
            return i < size && text.at(i).unicode() >= 0x30 && text.at(i).unicode() <= 0x7E ? i + 1 : i;
        }
        ++i;
    }
    if (kind == c1Csi) {
        // Parameters and intermediates, then a final byte.
        while (i < size && text.at(i).unicode() >= 0x20 && text.at(i).unicode() <= 0x3F)
            ++i;
        while (i < size && text.at(i).unicode() >= 0x20 && text.at(i).unicode() <= 0x2F)
            ++i;
        return i < size && text.at(i).unicode() >= 0x40 && text.at(i).unicode() <= 0x7E ? i + 1 : i;
    }
    // A string: up to BEL, ST or ESC \. An unterminated one runs to the end of the line at most, so that
    // a stray introducer cannot swallow the rest of the text.
    while (i < size) {
        const char16_t c = text.at(i).unicode();
        if (c == bell || c == c1St)
            return i + 1;
        if (c == escape)
            return i + 1 < size && text.at(i + 1) == u'\\' ? i + 2 : i;
        if (c == u'\n')
            return i;
        ++i;
    }
    return i;
}

} // namespace

QString cleanText(const QString &text, bool lineBreaks)
{
    QString clean;
    clean.reserve(text.size());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            const char32_t point = QChar::surrogateToUcs4(c, text.at(i + 1));
            if (!isInvisibleFormat(point)) {
                clean += c;
                clean += text.at(i + 1);
            }
            ++i;
            continue;
        }
        if (c.isSurrogate())
            continue; // a lone half of a pair is no character
        if (u == escape || u == c1Csi || isC1StringStart(u)) {
            i = pastSequence(text, i) - 1;
            continue;
        }
        if (u == u'\n' || u == u'\t' || u == 0x2028 || u == 0x2029 || u == 0x0B || u == 0x0C || u == 0x85) {
            clean += lineBreaks ? (u == u'\t' ? u'\t' : u'\n') : u' ';
            continue;
        }
        if (u == u'\r') {
            if (i + 1 < size && text.at(i + 1) == u'\n')
                continue;
            clean += lineBreaks ? u'\n' : u' ';
            continue;
        }
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            continue;
        if (isInvisibleFormat(u))
            continue;
        clean += c;
    }
    return withJoinersInPlace(clean);
}

} // namespace orv
