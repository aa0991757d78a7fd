#pragma once

#include "library/Records.h"

#include <QList>
#include <QString>

// Dictionary substitution and learning of corrections from edits; stateless.
namespace orv::CorrectionLearner {

struct Correction
{
    QString heard;
    QString replacement;

    bool operator==(const Correction &) const = default;
};

// The text with every dictionary spelling applied.
QString apply(const QList<DictionaryEntry> &dictionary, const QString &text);
// The heard → replacement pair an edit teaches, if any.
QList<Correction> corrections(const QString &original, const QString &edited);

} // namespace orv::CorrectionLearner
