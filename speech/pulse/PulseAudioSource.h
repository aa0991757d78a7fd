#pragma once

#include "speech/AbstractAudioSource.h"
#include "speech/AbstractMicrophones.h"
#include "speech/pulse/PulseConnection.h"

#include <memory>
#include <vector>

namespace orv {

// A PulseAudio source (PipeWire serves the same API), recorded as float samples in its native rate and
// channels; buffers reach the tap on the client's main-loop thread. The wanted source, or the default where
// none is wanted or it is missing. The recording stays on its source: when that goes away the recording
// ends (the failure handler hears inputLost) instead of moving on to another microphone unasked.
class PulseAudioSource final : public AbstractAudioSource
{
public:
    explicit PulseAudioSource(const Microphone &wanted = {});
    ~PulseAudioSource() override;

    AudioFormat inputFormat() override;
    void installTap(quint32 framesPerBuffer, const AudioFormat &format, TapHandler handler) override;
    void removeTap() override;
    Expected<void, SpeechEngineError> start() override;
    void stop() override;
    void setFailureHandler(FailureHandler handler) override;
    QString notice() const override;

private:
    static void onReadable(pa_stream *stream, size_t bytes, void *self);
    static void onStateChanged(pa_stream *stream, void *self);
    void deliver(const float *samples, size_t count);

    Microphone m_wanted;
    std::unique_ptr<PulseConnection> m_connection;
    pa_stream *m_stream = nullptr;
    quint32 m_framesPerBuffer = 1600;
    TapHandler m_tap;         // read and called with the main-loop lock held
    FailureHandler m_failure; // likewise
    bool m_recording = false; // the stream is ready and not stopped by us
    std::vector<float> m_pending;
    qint64 m_framesDelivered = 0;
};

} // namespace orv
