#include "speech/soxr/SoxrAudioConverter.h"

#include <algorithm>
#include <cmath>

namespace orv {

namespace {

SpeechEngineError conversionError(const QString &what)
{
    return SpeechEngineError{SpeechEngineError::Kind::platform,
                             QStringLiteral("The audio could not be converted for the recognizer (%1).").arg(what)};
}

// The inverse of reading 16-bit audio (÷ 32768), so a 16 kHz 16-bit file reaches the recognizer
// sample for sample as it is on disk.
qint16 toInt16(float sample)
{
    return qint16(std::clamp<long>(std::lround(sample * 32768.0f), -32768, 32767));
}

} // namespace

SoxrAudioConverter::SoxrAudioConverter(const AudioFormat &from, const AudioFormat &to) : m_from(from), m_to(to)
{
    if (m_from.sampleRate != m_to.sampleRate) {
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_MQ, 0);
        m_soxr = soxr_create(m_from.sampleRate, m_to.sampleRate, 1, &error, &io, &quality, nullptr);
        if (error)
            m_setupError = QString::fromUtf8(error);
    }
}

SoxrAudioConverter::~SoxrAudioConverter()
{
    if (m_soxr)
        soxr_delete(m_soxr);
}

Expected<std::vector<AnalyzerInput>, SpeechEngineError> SoxrAudioConverter::convert(const AudioBuffer &buffer, Duration)
{
    if (!m_setupError.isEmpty())
        return unexpected(conversionError(m_setupError));
    const int channels = std::max(buffer.format.channels, 1);
    const size_t frames = size_t(buffer.frameCount);
    std::vector<float> mono(frames);
    for (size_t i = 0; i < frames; ++i) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) {
            const size_t index = i * size_t(channels) + size_t(c);
            sum += buffer.hasFloatData()
                       ? (index < buffer.floatSamples.size() ? buffer.floatSamples[index] : 0.0f)
                       : (index < buffer.int16Samples.size() ? float(buffer.int16Samples[index]) / 32768.0f : 0.0f);
        }
        mono[i] = sum / float(channels);
    }
    return resample(mono.data(), frames);
}

Expected<std::vector<AnalyzerInput>, SpeechEngineError> SoxrAudioConverter::flush()
{
    if (!m_soxr)
        return std::vector<AnalyzerInput>{};
    return resample(nullptr, 0);
}

Expected<std::vector<AnalyzerInput>, SpeechEngineError> SoxrAudioConverter::resample(const float *mono, size_t frames)
{
    AnalyzerInput input;
    if (!m_soxr) {
        input.samples.reserve(frames);
        for (size_t i = 0; i < frames; ++i)
            input.samples.push_back(toInt16(mono[i]));
        return std::vector<AnalyzerInput>{std::move(input)};
    }
    // A null input drains what the filter holds back.
    const double ratio = m_to.sampleRate / m_from.sampleRate;
    std::vector<float> out(size_t(double(frames) * ratio) + 1024);
    size_t consumed = 0;
    size_t produced = 0;
    do {
        size_t done = 0;
        size_t used = 0;
        soxr_error_t error = soxr_process(m_soxr, mono ? mono + consumed : nullptr, mono ? frames - consumed : 0,
                                          mono ? &used : nullptr, out.data() + produced, out.size() - produced, &done);
        if (error)
            return unexpected(conversionError(QString::fromUtf8(error)));
        consumed += used;
        produced += done;
        if (produced == out.size())
            out.resize(out.size() * 2);
        else if (!mono || consumed >= frames)
            break;
    } while (true);
    input.samples.reserve(produced);
    for (size_t i = 0; i < produced; ++i)
        input.samples.push_back(toInt16(out[i]));
    return std::vector<AnalyzerInput>{std::move(input)};
}

} // namespace orv
