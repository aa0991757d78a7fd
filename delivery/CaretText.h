#pragma once

#include <QString>

// Fits a dictation to the text it lands after, so that dictations in a row read as one text: a space
// where the caret follows a word, none before punctuation; a capital after a sentence end, and none in
// the middle of a sentence where the formatter capitalised only because it took the text for a start.
namespace orv::caretText {

// `before` is the text right before the insertion point (what could be read of it; empty at the start
// of the field), `reachesStart` whether it goes back to the start of the field. `dictated` is the text
// before the formatter saw it: a capital on the first word that was not there is the formatter's. An
// empty `dictated` keeps every capital.
QString fitted(const QString &before, bool reachesStart, const QString &text, const QString &dictated);

} // namespace orv::caretText
