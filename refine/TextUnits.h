#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// Small text helpers shared by substitution, learning and the formatter's checks. Positions are UTF-16
// units; "characters" are user-perceived characters (grapheme clusters).
namespace orv::textunits {

// The grapheme clusters of text, in order.
QStringList graphemes(const QString &text);
qsizetype graphemeCount(const QString &text);
// The first count grapheme clusters of text.
QString leftGraphemes(const QString &text, qsizetype count);

// Equality under canonical Unicode equivalence (case-sensitive).
bool canonicallyEqual(const QString &a, const QString &b);
bool canonicallyEqual(const QStringList &a, const QStringList &b);

// Case- and diacritic-insensitive folded form, for comparing spellings.
QString folded(const QString &text);

// Trims whitespace and newlines at both ends.
QString trimmed(const QString &text);

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

} // namespace orv::textunits
