#pragma once

#include "base/Expected.h"
#include "base/Scheduler.h"
#include "speech/AudioFormat.h"
#include "speech/SpeechEngineError.h"

#include <QtGlobal>

#include <functional>

namespace orv {

// The audio engine with its input node: one per dictation session. Buffers reach the tap on the
// source's own thread.
class AbstractAudioSource
{
public:
    // buffer, and the audio time of its first frame since capture began
    using TapHandler = std::function<void(const AudioBuffer &, Duration)>;
    using FailureHandler = std::function<void(const SpeechEngineError &)>;

    virtual ~AbstractAudioSource() = default;

    // The input's native format; sampleRate 0 when there is no input.
    virtual AudioFormat inputFormat() = 0;
    // Buffers of framesPerBuffer frames in format go to handler once started.
    virtual void installTap(quint32 framesPerBuffer, const AudioFormat &format, TapHandler handler) = 0;
    // After return the handler is not running and will not be called again.
    virtual void removeTap() = 0;
    virtual Expected<void, SpeechEngineError> start() = 0;
    virtual void stop() = 0;
    // Told, on the source's own thread and once per start, when the input is lost while running: inputLost
    // when the microphone went away, another error when the sound server did. A source that cannot lose its
    // input never calls it.
    virtual void setFailureHandler(FailureHandler handler) { (void)handler; }
    // A sentence for the user when the input is not the one asked for (the chosen microphone is missing and
    // the default stands in); empty otherwise.
    virtual QString notice() const { return {}; }
};

} // namespace orv
