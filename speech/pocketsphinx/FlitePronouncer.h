#pragma once

#include <QString>

#include <optional>

namespace orv {

// Pronunciations in the recognizer's phone set (CMU, upper case, no stress) from flite's lexicon and
// its letter-to-sound rules, for words the recognizer's dictionary lacks.
class FlitePronouncer
{
public:
    // "Kubernetes" → "K AH B ER N IY T S"; nullopt for what flite cannot spell (digits, other scripts).
    static std::optional<QString> phones(const QString &word);
    // flite's phone (with stress digit) in the recognizer's phone set: ax → AH, axr → ER, er1 → ER.
    static QString recognizerPhone(const QString &flitePhone);
};

} // namespace orv
