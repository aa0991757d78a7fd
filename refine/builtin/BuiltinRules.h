#pragma once

#include <QString>
#include <QStringList>

// The deterministic editor behind the "Built-in rules" model: tidies a dictation the way the formatter's
// instructions ask, without a language model. It never changes numbers, links or negations.
namespace orv::BuiltinRules {

// Sentence-start capitals, standalone "i" → "I", filler sounds dropped, false-start repetitions
// collapsed, a closing "thank you" made its own sentence, a full stop at the end of each line that ends
// without a mark (a comma or colon before a line break is the speaker's and stays).
// The user's preferred spellings are kept as written: a word of one written in lower case is never
// capitalised, and the repeated words of one ("Bora Bora") are no false start.
QString clean(const QString &text, const QStringList &spellings = {});

// clean(), plus a bulleted list where the speaker enumerates ("first … second …", "one … two …") and a
// paragraph break before an obvious change of topic ("moving on", "on another note", …).
QString structure(const QString &text, const QStringList &spellings = {});

} // namespace orv::BuiltinRules
