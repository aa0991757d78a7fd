#pragma once

#include "refine/LanguageModel.h"

namespace orv {

// The embedded default model: always available, answers at once with BuiltinRules. It reads the mode
// from the instructions and the dictation from the prompt, as a language model would.
class BuiltinRulesModel final : public LanguageModel
{
public:
    static constexpr int context = 32768;

    ModelAvailability availability() const override { return ModelAvailability::ready(); }
    QString displayName() const override;
    int contextSize() const override { return context; }
    // An estimate: about four tokens for every three words, plus the punctuation.
    Task<Expected<int, ModelError>> tokenCount(QString text) override;
    std::shared_ptr<LanguageModelSession> makeSession(QString instructions) override;

    static int estimatedTokens(const QString &text);
    // The answer to prompt under instructions.
    static QString answer(const QString &instructions, const QString &prompt);
};

} // namespace orv
