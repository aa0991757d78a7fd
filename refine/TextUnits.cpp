#include "refine/TextUnits.h"

#include <QTextBoundaryFinder>

namespace orv::textunits {

QStringList graphemes(const QString &text)
{
    QStringList result;
    if (text.isEmpty())
        return result;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        result.append(text.mid(start, end - start));
        start = end;
    }
    return result;
}

qsizetype graphemeCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

bool canonicallyEqual(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    return a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

bool canonicallyEqual(const QStringList &a, const QStringList &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!canonicallyEqual(a[i], b[i]))
            return false;
    }
    return true;
}

QString folded(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString result;
    result.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const auto category = c.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing)
            continue;
        result.append(c);
    }
    return result.toCaseFolded().normalized(QString::NormalizationForm_C);
}

QList<Segment> wellFormedSegments(const QString &text)
{
    QList<Segment> segments;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate()) {
            if (i > start)
                segments.append({start, text.mid(start, i - start)});
            start = i + 1;
        }
    }
    if (start == 0)
        segments.append({0, text});
    else if (start < size)
        segments.append({start, text.mid(start)});
    return segments;
}

QList<Match> allMatches(const QRegularExpression &re, const QString &text)
{
    QList<Match> result;
    if (!re.isValid() || text.isEmpty())
        return result;
    for (const Segment &segment : wellFormedSegments(text)) {
        auto it = re.globalMatch(segment.text);
        while (it.hasNext()) {
            const auto match = it.next();
            result.append({segment.offset + match.capturedStart(), match.capturedLength(), match.captured()});
        }
    }
    return result;
}

QStringList allMatchedTexts(const QRegularExpression &re, const QString &text)
{
    QStringList result;
    for (const Match &match : allMatches(re, text))
        result.append(match.captured);
    return result;
}

namespace {

bool isWordCharacter(char32_t c, bool marks)
{
    return c == u'_' || QChar::isLetterOrNumber(c) || (marks && QChar::isMark(c));
}

} // namespace

QSet<QString> foldedWordRuns(const QString &text, bool marks)
{
    const QString foldedText = text.toCaseFolded();
    QSet<QString> runs;
    qsizetype start = -1;
    qsizetype i = 0;
    while (i <= foldedText.size()) {
        char32_t c = 0;
        qsizetype width = 1;
        if (i < foldedText.size()) {
            c = foldedText.at(i).unicode();
            if (foldedText.at(i).isHighSurrogate() && i + 1 < foldedText.size() &&
                foldedText.at(i + 1).isLowSurrogate()) {
                c = QChar::surrogateToUcs4(foldedText.at(i), foldedText.at(i + 1));
                width = 2;
            }
        }
        const bool word = i < foldedText.size() && isWordCharacter(c, marks);
        if (word && start < 0)
            start = i;
        if (!word && start >= 0) {
            runs.insert(foldedText.mid(start, i - start));
            start = -1;
        }
        i += width;
    }
    return runs;
}

QString foldedLeadingAsciiRun(const QString &text, bool marks)
{
    qsizetype start = 0;
    while (start < text.size() && text.at(start).isSpace())
        ++start;
    qsizetype end = start;
    while (end < text.size() && isWordCharacter(text.at(end).unicode(), marks) && !text.at(end).isSurrogate())
        ++end;
    if (end == start)
        return {};
    // A non-ASCII word character right after the run belongs to the same run in the text.
    for (qsizetype i = start; i < end; ++i) {
        if (text.at(i).unicode() >= 0x80)
            return {};
    }
    if (end < text.size() && text.at(end).isSurrogate())
        return {};
    return text.mid(start, end - start).toCaseFolded();
}

} // namespace orv::textunits
