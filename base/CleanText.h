#pragma once

#include <QString>

namespace orv {

// Text another program sent (a speech server's transcript, a model's answer, a server's name or error)
// without what no speaker can have said and what would act on a terminal or a text field instead of
// reading as text: C0 and C1 control characters, whole escape sequences (CSI, OSC and the like), NUL,
// direction overrides and isolates, zero-width characters outside the scripts and emoji that join with
// them, soft hyphens, tag characters and lone surrogates.
// With lineBreaks, newlines and tabs are kept (line and paragraph separators read as newlines, a
// carriage return before a newline goes); without, each reads as a space, as does a line separator.
QString cleanText(const QString &text, bool lineBreaks);

} // namespace orv
