#pragma once

#include "base/Task.h"
#include "library/Records.h"
#include "refine/AbstractFormatter.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a dictation's recognized text goes through before it is delivered, the same for the app model and
// for `orvanta transcribe`: the dictionary as the model holds it, its spellings as the recognizer's hints,
// then trim → dictionary substitution → formatting.
namespace orv::DictationText {

// The stored dictionary as it is used (the 500 bound applies only when something is learned), except that
// an id written twice keeps its first entry: every operation finds an entry by its id.
QList<DictionaryEntry> dictionaryInUse(const QList<DictionaryEntry> &stored);

// The recognizer's hints: every entry's replacement, most recently modified first (a stable order).
QStringList contextualStrings(const QList<DictionaryEntry> &dictionary);

struct Substituted
{
    QString original; // the recognized text, trimmed; empty when nothing was said
    QString text;     // rewritten by the dictionary, in the dictionary's order among equally long entries
};
Substituted substitute(const QString &recognized, const QList<DictionaryEntry> &dictionary);

// The whole road for a caller that shows nothing in between: substitution, then the formatter in the
// chosen mode. Nothing was said when the result's original is empty (the formatter is not asked then).
struct Refined
{
    QString original;
    FormattingResult formatted;
};
Task<Refined>
refine(AbstractFormatter &formatter, QString recognized, DictationMode mode, QList<DictionaryEntry> dictionary);

} // namespace orv::DictationText
