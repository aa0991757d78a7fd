#pragma once

#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

// Small text helpers shared by substitution, learning and the formatter's checks. Positions are UTF-16
// units; "characters" are user-perceived characters (grapheme clusters).
namespace orv::textunits {

// The grapheme clusters of text, in order.
QStringList graphemes(const QString &text);
qsizetype graphemeCount(const QString &text);

// Equality under canonical Unicode equivalence (case-sensitive).
bool canonicallyEqual(const QString &a, const QString &b);
bool canonicallyEqual(const QStringList &a, const QStringList &b);

// Case- and diacritic-insensitive folded form, for comparing spellings.
QString folded(const QString &text);

// A stretch of well-formed UTF-16. Lone surrogates make a regular-expression engine refuse the whole
// subject, so matching runs over the well-formed stretches between them.
struct Segment
{
    qsizetype offset = 0;
    QString text;
};
QList<Segment> wellFormedSegments(const QString &text);

struct Match
{
    qsizetype start = 0; // UTF-16 offset in the whole text
    qsizetype length = 0;
    QString captured;
};
// Every non-overlapping match of re, left to right, in each well-formed stretch of text.
QList<Match> allMatches(const QRegularExpression &re, const QString &text);
QStringList allMatchedTexts(const QRegularExpression &re, const QString &text);

// A cheap first look before a whole-word pattern runs. Word characters are letters, numbers, '_' and, with
// marks, combining marks: what the patterns' boundaries treat as inside a word. A pattern that starts with
// a run of ASCII word characters matches only where the case-folded text has exactly that run between
// boundaries.
QSet<QString> foldedWordRuns(const QString &text, bool marks);
// The case-folded leading run of ASCII word characters of pattern text (leading whitespace skipped); empty
// when it starts otherwise, and then every text has to be tried.
QString foldedLeadingAsciiRun(const QString &text, bool marks);

} // namespace orv::textunits
