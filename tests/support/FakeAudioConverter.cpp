#include "tests/support/FakeAudioConverter.h"

using namespace Qt::StringLiterals;

namespace orv::test {

Expected<std::vector<AnalyzerInput>, SpeechEngineError> FakeAudioConverter::convert(const AudioBuffer &buffer, Duration)
{
    ++m_log->conversions;
    if (m_log->failOnConversion && *m_log->failOnConversion == m_log->conversions)
        return unexpected(SpeechEngineError{SpeechEngineError::Kind::platform, u"Conversion failed."_s, {}});
    AnalyzerInput input;
    const int stride = std::max(buffer.format.channels, 1);
    for (qint64 i = 0; i < buffer.frameCount; ++i) {
        const float sample = buffer.hasFloatData() ? buffer.floatSamples[std::size_t(i * stride)]
                                                   : float(buffer.int16Samples[std::size_t(i * stride)]) / 32768.0f;
        input.samples.push_back(qint16(sample * 32767.0f));
    }
    return std::vector<AnalyzerInput>{std::move(input)};
}

Expected<std::vector<AnalyzerInput>, SpeechEngineError> FakeAudioConverter::flush()
{
    ++m_log->flushes;
    if (m_log->flushError)
        return unexpected(*m_log->flushError);
    return std::vector<AnalyzerInput>{AnalyzerInput{m_log->heldBack}};
}

} // namespace orv::test
