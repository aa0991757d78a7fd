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

QString leftGraphemes(const QString &text, qsizetype count)
{
    if (count <= 0 || text.isEmpty())
        return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype seen = 0;
    while (finder.toNextBoundary() != -1) {
        if (++seen == count)
            return text.left(finder.position());
    }
    return text;
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

QString trimmed(const QString &text)
{
    return text.trimmed();
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

} // namespace orv::textunits
