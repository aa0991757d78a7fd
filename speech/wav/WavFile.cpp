#include "speech/wav/WavFile.h"

#include "base/FileRead.h"

#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

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

// Reads up to length bytes at offset into into; how many it got (fewer at the end of the file or on an error).
qint64 readAt(int fd, char *into, qint64 length, qint64 offset)
{
    qint64 filled = 0;
    while (filled < length) {
        const ssize_t n = ::pread(fd, into + filled, size_t(length - filled), offset + filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        filled += n;
    }
    return filled;
}

Unexpected<WavFile::Error> failure(WavFile::Error::Kind kind, QString message)
{
    return unexpected(WavFile::Error{kind, std::move(message)});
}

} // namespace

namespace {

// Where a file's sound is and how it is stored, as its header says.
struct WavLayout
{
    quint16 format = 0;
    int channels = 0;
    quint32 rate = 0;
    int bits = 0;
    qint64 dataOffset = -1;
    qint64 dataBytes = 0; // what the file holds of it
    qint64 missing = 0;   // what the header promised beyond that

    bool int16() const { return format == formatPcm && bits == 16; }
    int bytesPerFrame() const { return channels * bits / 8; }
    qint64 frames() const { return dataBytes / bytesPerFrame(); }
};

// Walks the chunks of a file of totalSize bytes; readAt(offset, length) gives what is there (less at the end).
template <typename ReadAt>
Expected<WavLayout, WavFile::Error> readLayout(qint64 totalSize, ReadAt readAt, const QString &name)
{
    const auto notWav = [&] {
        return failure(WavFile::Error::Kind::notWav, QStringLiteral("%1 is not a WAV file.").arg(name));
    };
    const QByteArray riff = readAt(0, 12);
    if (riff.size() < 12 || std::memcmp(riff.constData(), "RIFF", 4) != 0 ||
        std::memcmp(riff.constData() + 8, "WAVE", 4) != 0)
        return notWav();

    WavLayout layout;
    qint64 pos = 12;
    // Real files have a handful of chunks; a file of millions of empty ones is not walked to its end.
    for (int chunks = 0; pos + 8 <= totalSize && chunks < 10000; ++chunks) {
        const QByteArray head = readAt(pos, 8);
        if (head.size() < 8)
            break;
        const qint64 size = u32(head.constData() + 4);
        const qint64 available = std::min<qint64>(size, totalSize - pos - 8);
        if (std::memcmp(head.constData(), "fmt ", 4) == 0) {
            const QByteArray fmt = readAt(pos + 8, std::min<qint64>(available, 26));
            if (fmt.size() < 16)
                return notWav();
            layout.format = u16(fmt.constData());
            layout.channels = u16(fmt.constData() + 2);
            layout.rate = u32(fmt.constData() + 4);
            layout.bits = u16(fmt.constData() + 14);
            if (layout.format == formatExtensible && fmt.size() >= 26)
                layout.format = u16(fmt.constData() + 24); // the sub-format GUID starts with the format code
        } else if (std::memcmp(head.constData(), "data", 4) == 0) {
            layout.dataOffset = pos + 8;
            layout.dataBytes = available; // a truncated file keeps what it has
            // Writers that stream leave the size unknown (zero or all ones); any other is a promise.
            layout.missing = size > 0 && size < 0xFFFFFFFF ? size - available : 0;
        }
        if (layout.dataOffset >= 0 && layout.format != 0)
            break;
        pos += 8 + size + (size & 1);
    }
    if (layout.dataOffset < 0 || layout.format == 0)
        return notWav();
    const bool float32 = layout.format == formatFloat && layout.bits == 32;
    if (!layout.int16() && !float32)
        return failure(WavFile::Error::Kind::unsupported,
                       QStringLiteral("%1 holds %2-bit audio of format %3; only 16-bit PCM and 32-bit float are read.")
                           .arg(name)
                           .arg(layout.bits)
                           .arg(layout.format));
    if (layout.channels < 1 || layout.channels > 2)
        return failure(
            WavFile::Error::Kind::unsupported,
            QStringLiteral("%1 has %2 channels; only mono or stereo audio is read.").arg(name).arg(layout.channels));
    // Each second is resampled to the recognizer's 16 kHz: a rate claiming 1 Hz would multiply the
    // audio sixteen-thousandfold.
    if (layout.rate < WavFile::minSampleRate || layout.rate > WavFile::maxSampleRate)
        return failure(WavFile::Error::Kind::unsupported,
                       QStringLiteral("%1 is recorded at %2 Hz; only rates from 8 to 192 kHz are read.")
                           .arg(name)
                           .arg(layout.rate));
    return layout;
}

void convertSamples(const char *data, qint64 count, bool int16, float *out)
{
    for (qint64 i = 0; i < count; ++i) {
        if (int16) {
            out[i] = float(qint16(u16(data + i * 2))) / 32768.0f;
        } else {
            const quint32 raw = u32(data + i * 4);
            float value;
            std::memcpy(&value, &raw, sizeof value);
            out[i] = inRange(value);
        }
    }
}

WavAudio audioOf(const WavLayout &layout)
{
    WavAudio audio;
    audio.missingBytes = layout.missing;
    audio.sampleRate = layout.rate;
    audio.channels = layout.channels;
    return audio;
}

} // namespace

// The sound of a WAV file read where it lies; the descriptor is read with pread, so the player's thread
// needs no lock.
class WavFrameFile
{
public:
    WavFrameFile(int fd, const WavLayout &layout) : m_fd(fd), m_layout(layout) {}
    ~WavFrameFile() { ::close(m_fd); }
    WavFrameFile(const WavFrameFile &) = delete;
    WavFrameFile &operator=(const WavFrameFile &) = delete;

    qint64 frames() const { return m_layout.frames(); }

    bool copy(qint64 first, qint64 count, std::vector<float> &out) const
    {
        count = std::max<qint64>(0, std::min(count, frames() - first));
        const qint64 samples = count * m_layout.channels;
        std::vector<char> bytes(std::size_t(count * m_layout.bytesPerFrame()));
        const qint64 offset = m_layout.dataOffset + first * m_layout.bytesPerFrame();
        // Short: an error, or a file cut shorter since it was opened.
        if (readAt(m_fd, bytes.data(), qint64(bytes.size()), offset) < qint64(bytes.size()))
            return false;
        out.resize(std::size_t(samples));
        convertSamples(bytes.data(), samples, m_layout.int16(), out.data());
        return true;
    }

private:
    int m_fd;
    WavLayout m_layout;
};

qint64 WavAudio::frameCount() const
{
    if (file)
        return file->frames();
    return channels > 0 ? qint64(samples.size()) / channels : 0;
}

bool WavAudio::copyFrames(qint64 first, qint64 count, std::vector<float> &out) const
{
    if (file)
        return file->copy(first, count, out);
    first = std::clamp<qint64>(first, 0, frameCount());
    count = std::max<qint64>(0, std::min(count, frameCount() - first));
    const auto begin = samples.begin() + std::ptrdiff_t(first * channels);
    out.assign(begin, begin + std::ptrdiff_t(count * channels));
    return true;
}

Expected<WavAudio, WavFile::Error> WavFile::read(const QString &path)
{
    // A device or a named pipe is refused without waiting on it.
    auto opened = openRegularFile(path, maxFileBytes);
    if (opened) {
        const int fd = opened.value().fd;
        const auto header = [fd](qint64 offset, qint64 length) {
            QByteArray bytes(qsizetype(std::max<qint64>(length, 0)), Qt::Uninitialized);
            bytes.resize(qsizetype(readAt(fd, bytes.data(), bytes.size(), offset)));
            return bytes;
        };
        auto layout = readLayout(opened.value().size, header, path);
        if (!layout) {
            ::close(fd);
            return unexpected(layout.error());
        }
        WavAudio audio = audioOf(layout.value());
        audio.file = std::make_shared<const WavFrameFile>(fd, layout.value());
        return audio;
    }
    const FileReadError &problem = opened.error();
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

Expected<WavAudio, WavFile::Error> WavFile::load(const QString &path)
{
    auto audio = read(path);
    if (!audio)
        return audio;
    WavAudio whole = std::move(audio).value();
    if (!whole.copyFrames(0, whole.frameCount(), whole.samples))
        return failure(Error::Kind::unreadable,
                       QStringLiteral("The audio file %1 cannot be read.").arg(shownPath(path)));
    whole.file.reset();
    return whole;
}

Expected<WavAudio, WavFile::Error> WavFile::decode(const QByteArray &bytes, const QString &name)
{
    const auto readAt = [&bytes](qint64 offset, qint64 length) {
        return bytes.mid(qsizetype(offset), qsizetype(length));
    };
    auto layout = readLayout(bytes.size(), readAt, name);
    if (!layout)
        return unexpected(layout.error());
    WavAudio audio = audioOf(layout.value());
    const qint64 count = layout.value().frames() * layout.value().channels;
    audio.samples.resize(std::size_t(count));
    convertSamples(bytes.constData() + layout.value().dataOffset, count, layout.value().int16(), audio.samples.data());
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
