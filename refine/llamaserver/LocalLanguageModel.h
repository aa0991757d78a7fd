#pragma once

#include "base/Scheduler.h"
#include "refine/LanguageModelSelector.h"

#include <QString>

#include <memory>

namespace orv {

// The application's language model: the llama.cpp server at endpoint (the settings value; empty for the
// default) when it answers, otherwise the built-in rules.
std::unique_ptr<LanguageModelSelector> makeLocalLanguageModel(Scheduler &scheduler, const QString &endpoint);

} // namespace orv
