#pragma once

#include "base/Expected.h"

#include <QString>

#include <memory>
#include <vector>

namespace orv {

class WavFrameFile;

// A WAV file's sound as interleaved float samples in -1…1: held in samples when decoded from bytes, or
// read from the file as it is played (file), so that a recording of hours needs no more memory than one
// of seconds.
struct WavAudio
{
    double sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;
    // Bytes of sound the header promised that the file does not hold (it was cut short, or is still being
    // written); what it holds is kept.
    qint64 missingBytes = 0;
    std::shared_ptr<const WavFrameFile> file;

    qint64 frameCount() const;
    // Replaces out with count frames from first on (fewer at the end); false when the file could not be read.
    bool copyFrames(qint64 first, qint64 count, std::vector<float> &out) const;
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
    // Only the header is read into memory; the sound is read as it is played. RIFF sizes are 32-bit.
    static constexpr qint64 maxFileBytes = (qint64(1) << 32) + 8;

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

    // Reads the header; the sound stays in the file, read as it is played.
    static Expected<WavAudio, Error> read(const QString &path);
    // Reads the whole sound into samples, for recordings short enough to be cut and joined.
    static Expected<WavAudio, Error> load(const QString &path);
    static Expected<WavAudio, Error> decode(const QByteArray &bytes, const QString &name);
    // 16-bit PCM, for tests and examples.
    static QByteArray encode16(const WavAudio &audio);
    // One channel of 16-bit samples as they are, the form speech servers take.
    static QByteArray encodeMono16(const qint16 *samples, qsizetype count, quint32 sampleRate);
};

} // namespace orv
