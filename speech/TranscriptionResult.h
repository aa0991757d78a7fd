#pragma once

#include "base/Scheduler.h"

#include <QString>

namespace orv {

// One result of the recognizer: text for the audio range [start, end), final or still volatile.
struct TranscriptionResult
{
    QString text;
    Duration start{};
    Duration end{};
    bool isFinal = false;

    bool operator==(const TranscriptionResult &) const = default;
};

} // namespace orv
