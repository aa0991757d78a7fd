#pragma once

#include "speech/AbstractAudioConverter.h"

#include <soxr.h>

namespace orv {

// Downmixes captured float audio to mono, resamples it with libsoxr to the recognizer's rate and
// writes 16-bit samples. Same rates skip the resampler.
class SoxrAudioConverter final : public AbstractAudioConverter
{
public:
    SoxrAudioConverter(const AudioFormat &from, const AudioFormat &to);
    ~SoxrAudioConverter() override;
    SoxrAudioConverter(const SoxrAudioConverter &) = delete;
    SoxrAudioConverter &operator=(const SoxrAudioConverter &) = delete;

    Expected<std::vector<AnalyzerInput>, SpeechEngineError> convert(const AudioBuffer &buffer, Duration time) override;
    Expected<std::vector<AnalyzerInput>, SpeechEngineError> flush() override;

private:
    Expected<std::vector<AnalyzerInput>, SpeechEngineError> resample(const float *mono, size_t frames);

    AudioFormat m_from;
    AudioFormat m_to;
    soxr_t m_soxr = nullptr;
    QString m_setupError;
};

} // namespace orv
