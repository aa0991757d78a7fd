#pragma once

#include "speech/AbstractAudioSource.h"

#include <memory>
#include <optional>

namespace orv::test {

// A microphone the test plays: it records what the engine asked of it and hands buffers to the tap
// when the test calls deliver().
class FakeAudioSource final : public AbstractAudioSource
{
public:
    struct Log
    {
        AudioFormat format{16000, 1, AudioFormat::SampleType::float32};
        std::optional<SpeechEngineError> startError;
        int created = 0;
        int starts = 0;
        int stops = 0;
        int tapsRemoved = 0;
        quint32 framesPerBuffer = 0;
        TapHandler tap;
        FailureHandler failure;
        bool running = false;

        // Calls the installed tap like an audio thread would; false when none is installed.
        bool deliver(const AudioBuffer &buffer, Duration time = {});
    };

    explicit FakeAudioSource(std::shared_ptr<Log> log) : m_log(std::move(log)) { ++m_log->created; }

    AudioFormat inputFormat() override { return m_log->format; }
    void installTap(quint32 framesPerBuffer, const AudioFormat &format, TapHandler handler) override;
    void removeTap() override;
    Expected<void, SpeechEngineError> start() override;
    void stop() override;
    void setFailureHandler(FailureHandler handler) override { m_log->failure = std::move(handler); }

    // A buffer of frames frames, all samples equal to value, in format.
    static AudioBuffer constantBuffer(const AudioFormat &format, qint64 frames, float value);

private:
    std::shared_ptr<Log> m_log;
};

} // namespace orv::test
