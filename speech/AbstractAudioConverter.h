#pragma once

#include "base/Expected.h"
#include "base/Scheduler.h"
#include "speech/AudioFormat.h"
#include "speech/SpeechEngineError.h"

#include <vector>

namespace orv {

// Converts captured buffers into the recognizer's format. Called only with the bridge's lock held.
class AbstractAudioConverter
{
public:
    virtual ~AbstractAudioConverter() = default;

    virtual Expected<std::vector<AnalyzerInput>, SpeechEngineError> convert(const AudioBuffer &buffer,
                                                                            Duration time) = 0;
    // The audio still held back (filter delay); nothing may be converted afterwards.
    virtual Expected<std::vector<AnalyzerInput>, SpeechEngineError> flush() = 0;
};

} // namespace orv
