#pragma once

#include <QString>

// The deterministic editor behind the "Built-in rules" model: tidies a dictation the way the formatter's
// instructions ask, without a language model. It never changes numbers, links or negations.
namespace orv::BuiltinRules {

// Sentence-start capitals, standalone "i" → "I", filler sounds dropped, false-start repetitions
// collapsed, a closing "thank you" made its own sentence, a full stop at the end of each line.
QString clean(const QString &text);

// clean(), plus a bulleted list where the speaker enumerates ("first … second …", "one … two …") and a
// paragraph break before an obvious change of topic ("moving on", "on another note", …).
QString structure(const QString &text);

} // namespace orv::BuiltinRules
