#pragma once

#include "base/Task.h"
#include "library/Records.h"

#include <QList>
#include <QString>

#include <optional>

namespace orv {

struct FormattingResult
{
    QString text;
    QString formatter;             // label of what produced text, stored in the record
    std::optional<QString> notice; // why formatting was abandoned, shown to the user

    bool operator==(const FormattingResult &) const = default;
};

// What the app model needs of the formatter. format() never fails: problems come back as a notice with
// the unformatted text kept.
class AbstractFormatter
{
public:
    virtual ~AbstractFormatter() = default;

    virtual Task<FormattingResult> format(QString text, DictationMode mode, QList<DictionaryEntry> dictionary) = 0;
    // One line on the language model's availability.
    virtual QString statusText() const = 0;
    // Display name of the active language model ("Built-in rules", or the local server's model).
    virtual QString modelDisplayName() const = 0;
    // Asks the language model afresh whether it is there, in the background (a local server may have
    // started or stopped); what it learns shows in statusText() and modelDisplayName().
    virtual void checkModel() {}
    // Asks the language model afresh and waits for the answer (the Settings page's "Check").
    virtual Task<void> refreshModel() = 0;
    // What a configured local model server answered at the last refresh; empty without one.
    virtual QString serverStatus() const { return {}; }
};

} // namespace orv
