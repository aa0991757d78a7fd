// The WAV reader on any bytes: refused with a reason, or audio whose shape matches its header and whose
// samples are in range.
#include "fuzz/FuzzText.h"
#include "speech/wav/WavFile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace orv;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto audio = WavFile::decode(bytes, QStringLiteral("fuzz.wav"));
    if (!audio) {
        fuzz::check(!audio.error().message.isEmpty(), "a refused file says why");
        return 0;
    }
    const WavAudio &wav = audio.value();
    fuzz::check(wav.channels == 1 || wav.channels == 2, "mono or stereo");
    fuzz::check(wav.sampleRate >= WavFile::minSampleRate && wav.sampleRate <= WavFile::maxSampleRate,
                "a supported rate");
    fuzz::check(wav.samples.size() % std::size_t(wav.channels) == 0, "whole frames");
    fuzz::check(wav.samples.size() <= size, "no more samples than bytes");
    for (const float sample : wav.samples)
        fuzz::check(std::isfinite(sample) && sample >= -1.0f && sample <= 1.0f, "samples within -1…1");
    const auto again = WavFile::decode(WavFile::encode16(wav), QStringLiteral("again.wav"));
    fuzz::check(again.hasValue() && again.value().frameCount() == wav.frameCount(), "re-encoded audio reads back");
    return 0;
}
