#pragma once

#include "refine/LanguageModel.h"

#include <QString>

#include <functional>
#include <variant>

namespace orv {

enum class FormatterError
{
    timedOut
};

// The user-facing sentence; modelName stands where the sentence names the language model.
QString description(FormatterError error, const QString &modelName);

inline size_t qHash(FormatterError error, size_t seed = 0) noexcept
{
    return std::hash<int>()(int(error)) ^ seed;
}

// Why a guarded model request produced no answer: the deadline, or the model's own error (including
// cancellation).
using ResponseError = std::variant<FormatterError, ModelError>;

} // namespace orv
