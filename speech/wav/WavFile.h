#pragma once

#include "base/Expected.h"

#include <QString>

#include <vector>

namespace orv {

// A decoded WAV file: interleaved float samples in -1…1.
struct WavAudio
{
    double sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;
    // Bytes of sound the header promised that the file does not hold (it was cut short, or is still being
    // written); what it holds is kept.
    qint64 missingBytes = 0;

    qint64 frameCount() const { return channels > 0 ? qint64(samples.size()) / channels : 0; }
    double durationSeconds() const { return sampleRate > 0 ? double(frameCount()) / sampleRate : 0; }
    // The sentence that says a file was cut short, naming it; empty when it was whole.
    QString truncationNotice(const QString &name) const;
};

// Reads RIFF WAVE files with 16-bit integer or 32-bit float PCM, mono or stereo, at 8 to 192 kHz, from
// regular files of bounded size.
class WavFile
{
public:
    static constexpr quint32 minSampleRate = 8000;
    static constexpr quint32 maxSampleRate = 192000;
    // Ten minutes (the longest dictation) at the highest rate, two channels of 32-bit float, and room for
    // the header and metadata chunks: any recording a user can make of a dictation fits.
    static constexpr qint64 maxFileBytes = qint64(600) * maxSampleRate * 2 * 4 + (qint64(1) << 20);

    struct Error
    {
        enum class Kind
        {
            missing,
            unreadable,
            notWav,
            unsupported
        };
        Kind kind = Kind::notWav;
        QString message;
    };

    static Expected<WavAudio, Error> read(const QString &path);
    static Expected<WavAudio, Error> decode(const QByteArray &bytes, const QString &name);
    // 16-bit PCM, for tests and examples.
    static QByteArray encode16(const WavAudio &audio);
    // One channel of 16-bit samples as they are, the form speech servers take.
    static QByteArray encodeMono16(const qint16 *samples, qsizetype count, quint32 sampleRate);
};

} // namespace orv
