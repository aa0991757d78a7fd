#pragma once

#include "library/Records.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Dictionary substitution and the learning of heard → replacement pairs from the user's edits.
// Stateless: plain functions over values.
namespace orv::CorrectionLearner {

struct Correction
{
    QString heard;
    QString replacement;

    bool operator==(const Correction &) const = default;
};

// Rewrites text with the dictionary: longest heard first (stable), whole words, case-insensitive,
// replacement written literally. Text one entry has written is not rewritten by a later entry.
QString apply(const QList<DictionaryEntry> &dictionary, const QString &text);

// The single correction an edit of one to three similar words teaches, or nothing.
QList<Correction> corrections(const QString &original, const QString &edited);

// Runs of letters and marks, optionally joined by straight or curly apostrophes.
QStringList words(const QString &text);

// Levenshtein distance over user-perceived characters; canonically equivalent characters are equal.
int editDistance(const QString &a, const QString &b);

// Words whose change is never learned ("meet them tomorrow" → "meet them today").
const QSet<QString> &learningStopWords();

// Limits of learning.
inline constexpr qsizetype maximumLearnedTextUnits = 20000;
inline constexpr qsizetype minimumFoldedCharacters = 3;
inline constexpr qsizetype maximumFoldedCharacters = 60;
inline constexpr qsizetype maximumSpanWords = 3;

} // namespace orv::CorrectionLearner
