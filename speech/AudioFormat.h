#pragma once

#include <QtGlobal>

#include <algorithm>
#include <vector>

namespace orv {

// The shape of PCM audio as sources deliver it and the recognizer wants it.
struct AudioFormat
{
    enum class SampleType
    {
        float32,
        int16
    };

    double sampleRate = 0;
    int channels = 0;
    SampleType sampleType = SampleType::float32;

    bool isUsable() const { return sampleRate > 0 && channels > 0; }
    bool operator==(const AudioFormat &) const = default;
};

// One captured buffer, interleaved. A source fills floatSamples; int16Samples is for sources that cannot
// deliver float data (the level meter then reads 0).
struct AudioBuffer
{
    AudioFormat format;
    qint64 frameCount = 0;
    std::vector<float> floatSamples;
    std::vector<qint16> int16Samples;

    bool hasFloatData() const { return !floatSamples.empty(); }
};

// One piece of converted audio in the recognizer's format (mono, 16-bit).
struct AnalyzerInput
{
    std::vector<qint16> samples;

    // Appends the samples to a dictation's kept audio, which stops growing at limit (the longest dictation).
    void appendTo(std::vector<qint16> &audio, qsizetype limit) const
    {
        const qsizetype taken = std::min(limit - qsizetype(audio.size()), qsizetype(samples.size()));
        if (taken > 0)
            audio.insert(audio.end(), samples.begin(), samples.begin() + taken);
    }
};

} // namespace orv
