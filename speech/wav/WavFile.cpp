#include "speech/wav/WavFile.h"

#include "base/FileRead.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orv {

namespace {

constexpr quint16 formatPcm = 1;
constexpr quint16 formatFloat = 3;
constexpr quint16 formatExtensible = 0xFFFE;

quint16 u16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 u32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

// Float audio clips at full scale; NaN is silence. Converting a NaN or an out-of-range float to an
// integer sample is undefined, and the resampler would spread a NaN over its neighbours.
float inRange(float sample)
{
    return std::isnan(sample) ? 0.0f : std::clamp(sample, -1.0f, 1.0f);
}

Unexpected<WavFile::Error> failure(WavFile::Error::Kind kind, QString message)
{
    return unexpected(WavFile::Error{kind, std::move(message)});
}

} // namespace

Expected<WavAudio, WavFile::Error> WavFile::read(const QString &path)
{
    // A device or a named pipe is refused without waiting on it, and no more than the bound is read.
    auto bytes = readRegularFile(path, maxFileBytes);
    if (bytes)
        return decode(bytes.value(), path);
    const FileReadError &problem = bytes.error();
    switch (problem.kind) {
    case FileReadError::Kind::missing:
        return failure(Error::Kind::missing, QStringLiteral("The audio file %1 does not exist.").arg(shownPath(path)));
    case FileReadError::Kind::notRegular:
        return failure(
            Error::Kind::unreadable,
            QStringLiteral("The audio file %1 cannot be transcribed: %2.").arg(shownPath(path), problem.reason));
    case FileReadError::Kind::tooLarge:
        return failure(
            Error::Kind::unsupported,
            QStringLiteral("The audio file %1 cannot be transcribed: %2.").arg(shownPath(path), problem.reason));
    case FileReadError::Kind::unreadable:
    case FileReadError::Kind::foreign: // only private files are checked for their owner
        break;
    }
    return failure(Error::Kind::unreadable,
                   QStringLiteral("The audio file %1 cannot be read: %2.").arg(shownPath(path), problem.reason));
}

Expected<WavAudio, WavFile::Error> WavFile::decode(const QByteArray &bytes, const QString &name)
{
    const auto notWav = [&] { return failure(Error::Kind::notWav, QStringLiteral("%1 is not a WAV file.").arg(name)); };
    if (bytes.size() < 12 || std::memcmp(bytes.constData(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.constData() + 8, "WAVE", 4) != 0)
        return notWav();

    quint16 format = 0;
    int channels = 0;
    quint32 rate = 0;
    int bits = 0;
    const char *data = nullptr;
    qint64 dataSize = 0;
    qint64 missing = 0;
    qint64 pos = 12;
    while (pos + 8 <= bytes.size()) {
        const char *chunk = bytes.constData() + pos;
        const qint64 size = u32(chunk + 4);
        const qint64 available = std::min<qint64>(size, bytes.size() - pos - 8);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (available < 16)
                return notWav();
            format = u16(chunk + 8);
            channels = u16(chunk + 10);
            rate = u32(chunk + 12);
            bits = u16(chunk + 22);
            if (format == formatExtensible && available >= 26)
                format = u16(chunk + 8 + 24); // the sub-format GUID starts with the format code
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            dataSize = available; // a truncated file keeps what it has
            // Writers that stream leave the size unknown (zero or all ones); any other is a promise.
            missing = size > 0 && size < 0xFFFFFFFF ? size - available : 0;
        }
        pos += 8 + size + (size & 1);
    }
    if (!data || format == 0)
        return notWav();
    const bool int16 = format == formatPcm && bits == 16;
    const bool float32 = format == formatFloat && bits == 32;
    if (!int16 && !float32)
        return failure(Error::Kind::unsupported,
                       QStringLiteral("%1 holds %2-bit audio of format %3; only 16-bit PCM and 32-bit float are read.")
                           .arg(name)
                           .arg(bits)
                           .arg(format));
    if (channels < 1 || channels > 2)
        return failure(
            Error::Kind::unsupported,
            QStringLiteral("%1 has %2 channels; only mono or stereo audio is read.").arg(name).arg(channels));
    // Each second is resampled to the recognizer's 16 kHz: a rate claiming 1 Hz would multiply the
    // audio sixteen-thousandfold.
    if (rate < minSampleRate || rate > maxSampleRate)
        return failure(
            Error::Kind::unsupported,
            QStringLiteral("%1 is recorded at %2 Hz; only rates from 8 to 192 kHz are read.").arg(name).arg(rate));

    WavAudio audio;
    audio.missingBytes = missing;
    audio.sampleRate = rate;
    audio.channels = channels;
    const int bytesPerFrame = channels * bits / 8;
    const qint64 frames = dataSize / bytesPerFrame;
    audio.samples.resize(std::size_t(frames * channels));
    for (qint64 i = 0; i < frames * channels; ++i) {
        if (int16) {
            audio.samples[std::size_t(i)] = float(qint16(u16(data + i * 2))) / 32768.0f;
        } else {
            const quint32 raw = u32(data + i * 4);
            float value;
            std::memcpy(&value, &raw, sizeof value);
            audio.samples[std::size_t(i)] = inRange(value);
        }
    }
    return audio;
}

QString WavAudio::truncationNotice(const QString &name) const
{
    if (missingBytes <= 0)
        return {};
    return QStringLiteral("The audio file %1 is cut short: its header promises %2 more of sound than it holds. "
                          "What it holds is transcribed.")
        .arg(name, byteSizeText(missingBytes));
}

namespace {

// The canonical 44-byte header of 16-bit PCM, then room for the samples.
QByteArray pcm16Header(int channels, quint32 sampleRate, quint32 sampleCount)
{
    QByteArray bytes;
    bytes.reserve(44 + qsizetype(sampleCount) * 2);
    const auto put16 = [&](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        bytes.append(b, 2);
    };
    const auto put32 = [&](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        bytes.append(b, 4);
    };
    const quint32 dataSize = sampleCount * 2;
    bytes.append("RIFF", 4);
    put32(36 + dataSize);
    bytes.append("WAVEfmt ", 8);
    put32(16);
    put16(formatPcm);
    put16(quint16(channels));
    put32(sampleRate);
    put32(sampleRate * quint32(channels) * 2);
    put16(quint16(channels * 2));
    put16(16);
    bytes.append("data", 4);
    put32(dataSize);
    return bytes;
}

} // namespace

QByteArray WavFile::encode16(const WavAudio &audio)
{
    QByteArray bytes = pcm16Header(audio.channels, quint32(audio.sampleRate), quint32(audio.samples.size()));
    for (float sample : audio.samples) {
        char b[2];
        qToLittleEndian(quint16(qint16(inRange(sample) * 32767.0f)), b);
        bytes.append(b, 2);
    }
    return bytes;
}

QByteArray WavFile::encodeMono16(const qint16 *samples, qsizetype count, quint32 sampleRate)
{
    QByteArray bytes = pcm16Header(1, sampleRate, quint32(count));
    const qsizetype header = bytes.size();
    bytes.resize(header + count * 2);
    char *out = bytes.data() + header;
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        if (count > 0)
            std::memcpy(out, samples, size_t(count) * 2);
    } else {
        for (qsizetype i = 0; i < count; ++i)
            qToLittleEndian(samples[i], out + 2 * i);
    }
    return bytes;
}

} // namespace orv
