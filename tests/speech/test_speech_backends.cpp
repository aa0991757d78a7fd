#include "speech/pocketsphinx/FlitePronouncer.h"
#include "speech/pocketsphinx/PocketSphinxAssetInventory.h"
#include "speech/pocketsphinx/UtteranceDecoder.h"
#include "speech/soxr/SoxrAudioConverter.h"
#include "speech/wav/WavFile.h"
#include "speech/wav/WavFileSource.h"
#include "tests/support/Files.h"

#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <numbers>

using namespace orv;
using namespace Qt::StringLiterals;

namespace {

// Samples as a file stores them: little-endian 16-bit integers or 32-bit floats.
template <typename Sample>
QByteArray stored(std::initializer_list<Sample> values)
{
    QByteArray bytes;
    for (const Sample v : values) {
        char b[sizeof v];
        qToLittleEndian(v, b);
        bytes.append(b, sizeof v);
    }
    return bytes;
}

QByteArray header(quint16 format, quint16 channels, quint32 rate, quint16 bits, quint32 dataBytes, bool extensible)
{
    const quint32 fmtSize = extensible ? 40 : 16;
    QByteArray bytes = "RIFF" + stored<quint32>({4 + 8 + fmtSize + 8 + 8 + dataBytes}) + "WAVEfmt " +
                       stored<quint32>({fmtSize}) + stored<quint16>({extensible ? quint16(0xFFFE) : format, channels}) +
                       stored<quint32>({rate, rate * channels * bits / 8}) +
                       stored<quint16>({quint16(channels * bits / 8), bits});
    if (extensible)
        bytes += stored<quint16>({22, bits}) + stored<quint32>({0}) + stored<quint16>({format}) + QByteArray(14, '\0');
    // A chunk the reader must skip.
    return bytes + "LIST" + stored<quint32>({0}) + "data" + stored<quint32>({dataBytes});
}

} // namespace

TEST(WavFiles, sixteenBitFloatAndExtensibleFilesDecodeToTheSameSamples)
{
    const QByteArray pcm = header(1, 2, 22050, 16, 8, false) + stored<qint16>({16384, -16384, 32767, 0});
    auto decoded = WavFile::decode(pcm, u"pcm.wav"_s);
    ASSERT_TRUE(decoded.hasValue());
    EXPECT_EQ(decoded.value().sampleRate, 22050);
    EXPECT_EQ(decoded.value().channels, 2);
    EXPECT_EQ(decoded.value().frameCount(), 2);
    EXPECT_FLOAT_EQ(decoded.value().samples[1], -0.5f);

    for (bool extensible : {false, true}) {
        const QByteArray floats = header(3, 1, 48000, 32, 8, extensible) + stored<float>({0.25f, -1.0f});
        auto f = WavFile::decode(floats, u"float.wav"_s);
        ASSERT_TRUE(f.hasValue()) << extensible;
        EXPECT_EQ(f.value().samples, (std::vector<float>{0.25f, -1.0f}));
    }

    // Float files may hold clipped, infinite or NaN samples: they read as full scale and silence, so
    // nothing downstream converts a NaN to an integer or resamples one across its neighbours.
    const float infinity = std::numeric_limits<float>::infinity();
    const QByteArray wild = header(3, 1, 16000, 32, 20, false) +
                            stored<float>({1.5f, -7.0f, infinity, std::numeric_limits<float>::quiet_NaN(), -infinity});
    const auto clipped = WavFile::decode(wild, u"wild.wav"_s);
    ASSERT_TRUE(clipped.hasValue());
    EXPECT_EQ(clipped.value().samples, (std::vector<float>{1.0f, -1.0f, 1.0f, 0.0f, -1.0f}));
    WavAudio unchecked{16000, 1, {std::numeric_limits<float>::quiet_NaN(), 2.0f}, 0, {}};
    EXPECT_EQ(WavFile::decode(WavFile::encode16(unchecked), u"again.wav"_s).value().samples,
              (std::vector<float>{0.0f, 32767.0f / 32768.0f}));

    // A truncated data chunk keeps the whole frames it has.
    const auto cut = WavFile::decode(header(1, 1, 16000, 16, 1000, false) + QByteArray(5, '\1'), u"cut.wav"_s);
    ASSERT_TRUE(cut.hasValue());
    EXPECT_EQ(cut.value().frameCount(), 2);
    EXPECT_TRUE(cut.value().truncationNotice(u"cut.wav"_s).contains(u"cut short: its header promises 995 bytes more"));
}

TEST(WavFiles, badFilesAreRefusedWithASentenceNamingThem)
{
    QTemporaryDir dir;
    auto missing = WavFile::read(dir.filePath(u"none.wav"_s));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, WavFile::Error::Kind::missing);
    EXPECT_TRUE(missing.error().message.contains(u"none.wav"_s));

    EXPECT_EQ(WavFile::read(dir.path()).error().kind, WavFile::Error::Kind::unreadable);
    EXPECT_EQ(WavFile::decode("not a riff file at all", u"x"_s).error().kind, WavFile::Error::Kind::notWav);
    EXPECT_EQ(WavFile::decode(header(1, 1, 16000, 8, 0, false), u"x"_s).error().kind,
              WavFile::Error::Kind::unsupported);
    EXPECT_EQ(WavFile::decode(header(1, 6, 16000, 16, 0, false), u"x"_s).error().kind,
              WavFile::Error::Kind::unsupported);
    EXPECT_EQ(WavFile::decode(QByteArray("RIFF\0\0\0\0WAVE", 12), u"x"_s).error().kind, WavFile::Error::Kind::notWav);
}

TEST(WavFiles, onlyRegularFilesOfBoundedSizeAndSaneRatesAreRead)
{
    // A device or a FIFO would be read forever (or block at open): refused before reading.
    QTemporaryDir dir;
    const QString fifo = dir.filePath(u"pipe.wav"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::pair<QString, QString> refusals[] = {
        {u"/dev/zero"_s, u"it is a device, not a file"_s},
        {fifo, u"it is a named pipe, not a file"_s},
    };
    for (const auto &[path, reason] : refusals) {
        const auto refused = WavFile::read(path);
        ASSERT_FALSE(refused) << path.toStdString();
        EXPECT_EQ(refused.error().message, u"The audio file %1 cannot be transcribed: %2."_s.arg(path, reason));
    }

    // A sparse file just over the bound costs nothing to make and must not be read.
    const QString huge = dir.filePath(u"huge.wav"_s);
    ASSERT_TRUE(test::writeFile(huge, header(1, 1, 16000, 16, 0, false)));
    ASSERT_TRUE(QFile::resize(huge, WavFile::maxFileBytes + 1));
    const auto tooLarge = WavFile::read(huge);
    ASSERT_FALSE(tooLarge);
    EXPECT_TRUE(tooLarge.error().message.contains(u"more than the"_s)) << tooLarge.error().message.toStdString();

    // Each second is resampled to 16 kHz, so a tiny claimed rate would multiply the audio.
    const QByteArray samples(64, '\0');
    for (quint32 rate : {1u, 7999u, 192001u}) {
        const auto refused = WavFile::decode(header(1, 1, rate, 16, 64, false) + samples, u"x.wav"_s);
        ASSERT_FALSE(refused) << rate;
        EXPECT_EQ(refused.error().message,
                  u"x.wav is recorded at %1 Hz; only rates from 8 to 192 kHz are read."_s.arg(rate));
    }
    for (quint32 rate : {8000u, 192000u})
        EXPECT_TRUE(WavFile::decode(header(1, 1, rate, 16, 64, false) + samples, u"x.wav"_s)) << rate;
}

namespace {

struct Played
{
    std::vector<qint64> frames;
    std::vector<Duration> times;
    std::vector<float> samples;
};

Played playAll(std::shared_ptr<const WavAudio> audio)
{
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    WavFileSource source(audio, WavFileSource::Pace::asFastAsPossible, [&] {
        std::lock_guard guard(lock);
        done = true;
        ended.notify_all();
    });
    EXPECT_EQ(source.inputFormat(),
              (AudioFormat{audio->sampleRate, audio->channels, AudioFormat::SampleType::float32}));
    Played played;
    source.installTap(800, source.inputFormat(), [&](const AudioBuffer &buffer, Duration time) {
        played.frames.push_back(buffer.frameCount);
        played.times.push_back(time);
        played.samples.insert(played.samples.end(), buffer.floatSamples.begin(), buffer.floatSamples.end());
    });
    EXPECT_TRUE(source.start());
    std::unique_lock guard(lock);
    EXPECT_TRUE(ended.wait_for(guard, std::chrono::seconds(10), [&] { return done; }));
    guard.unlock();
    source.stop();
    return played;
}

} // namespace

TEST(WavFiles, theFileSourcePlaysEveryFrameInTenthSecondBuffersThenSaysSo)
{
    // The same sound decoded in memory and read from its file as it plays (behind a chunk the reader skips).
    WavAudio ramp{8000, 2, {}, 0, {}};
    for (int i = 0; i < 2 * 2000; ++i)
        ramp.samples.push_back(float(i % 1000) / 1000.0f);
    const QByteArray encoded = WavFile::encode16(ramp);
    QByteArray withList = encoded.left(36) + QByteArray("LIST\3\0\0\0abc\0", 12) + encoded.mid(36);
    QTemporaryDir dir;
    QFile file(dir.filePath(u"ramp.wav"_s));
    ASSERT_TRUE(test::writeFile(file.fileName(), withList));

    const auto decoded = WavFile::decode(encoded, u"ramp.wav"_s);
    const auto streamed = WavFile::read(file.fileName());
    ASSERT_TRUE(decoded && streamed);
    EXPECT_TRUE(streamed.value().samples.empty()) << "the sound stays in the file";
    const Played fromMemory = playAll(std::make_shared<const WavAudio>(decoded.value()));
    const Played fromFile = playAll(std::make_shared<const WavAudio>(streamed.value()));
    EXPECT_EQ(fromMemory.frames, (std::vector<qint64>{800, 800, 400}));
    EXPECT_EQ(fromMemory.times[1], std::chrono::milliseconds(100));
    EXPECT_EQ(fromFile.frames, fromMemory.frames);
    EXPECT_EQ(fromFile.samples, fromMemory.samples);

    // A file cut shorter after it was opened ends where it ends, and still says so.
    const auto opened = WavFile::read(file.fileName());
    ASSERT_TRUE(opened);
    ASSERT_TRUE(file.resize(44 + 12 + 1000 * 4));
    const Played cut = playAll(std::make_shared<const WavAudio>(opened.value()));
    EXPECT_EQ(cut.frames, (std::vector<qint64>{800}));
}

TEST(WavFiles, aFileFollowingTheRecognizerNeverRunsFurtherAheadThanItsLead)
{
    // The "recognizer" here consumes a buffer only after the test has seen it arrive, so a source that
    // ignored the recognizer would be seconds ahead.
    auto audio = std::make_shared<const WavAudio>(WavAudio{8000, 1, std::vector<float>(8000 * 3, 0.25f), 0, {}});
    auto progress = std::make_shared<RecognizerProgress>();
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Duration> leads;
    bool done = false;
    WavFileSource source(
        audio, WavFileSource::Pace::followRecognizer,
        [&] {
            std::lock_guard guard(lock);
            done = true;
            changed.notify_all();
        },
        progress);
    source.installTap(800, source.inputFormat(), [&](const AudioBuffer &, Duration time) {
        std::lock_guard guard(lock);
        leads.push_back(time - progress->consumed());
        changed.notify_all();
    });
    ASSERT_TRUE(source.start());
    std::size_t consumed = 0;
    std::unique_lock guard(lock);
    while (!done) {
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(10), [&] { return done || leads.size() > consumed; }));
        for (; consumed < leads.size(); ++consumed)
            progress->advance(std::chrono::milliseconds(100));
    }
    guard.unlock();
    source.stop();
    ASSERT_EQ(leads.size(), 30u);
    EXPECT_LE(*std::max_element(leads.begin(), leads.end()), WavFileSource::maxLead);
}

TEST(Punctuation, theDictationStartsWithACapitalSaysIAndEndsWithAFullStop)
{
    EXPECT_EQ(UtteranceDecoder::punctuate(u"i think i'm late and i'll call him"_s, true, true),
              u"I think I'm late and I'll call him."_s);
    EXPECT_EQ(UtteranceDecoder::punctuate(u"it is mine"_s, false, false), u"it is mine"_s)
        << "an i inside a word stays";
    EXPECT_EQ(UtteranceDecoder::punctuate(u"done."_s, true, true), u"Done."_s);
    EXPECT_EQ(UtteranceDecoder::punctuate(QString(), true, true), QString());
}

TEST(Conversion, resamplingDownmixesAndKeepsTheDurationAndLoudness)
{
    const AudioFormat from{44100, 2, AudioFormat::SampleType::float32};
    const AudioFormat to{16000, 1, AudioFormat::SampleType::int16};
    SoxrAudioConverter converter(from, to);
    std::size_t produced = 0;
    double peak = 0;
    for (int b = 0; b < 10; ++b) {
        AudioBuffer buffer{from, 4410, {}, {}};
        for (int i = 0; i < 4410; ++i) {
            const float s = float(0.5 * std::sin(2 * std::numbers::pi * 440 * (b * 4410 + i) / 44100.0));
            buffer.floatSamples.push_back(s);
            buffer.floatSamples.push_back(s);
        }
        auto out = converter.convert(buffer, {});
        ASSERT_TRUE(out.hasValue());
        for (const auto &input : out.value()) {
            produced += input.samples.size();
            for (qint16 v : input.samples)
                peak = std::max(peak, std::abs(double(v)) / 32767);
        }
    }
    auto rest = converter.flush();
    ASSERT_TRUE(rest.hasValue());
    for (const auto &input : rest.value())
        produced += input.samples.size();
    EXPECT_NEAR(double(produced), 16000, 20) << "one second in, one second out";
    EXPECT_NEAR(peak, 0.5, 0.02);

    const AudioFormat floats{16000, 1, AudioFormat::SampleType::float32};
    SoxrAudioConverter same(floats, to);
    auto passed =
        same.convert(AudioBuffer{floats, 6, {1.5f, -1.5f, 0.0f, 12345 / 32768.0f, -1.0f, 1 / 32768.0f}, {}}, {});
    ASSERT_TRUE(passed.hasValue());
    EXPECT_EQ(passed.value()[0].samples, (std::vector<qint16>{32767, -32768, 0, 12345, -32768, 1}))
        << "clipped, not wrapped; 16-bit samples come back as they were read";
}

TEST(Vocabulary, flitePhonesAreWrittenInTheRecognizersPhoneSet)
{
    EXPECT_EQ(FlitePronouncer::phones(u"Kubernetes"_s), u"K AH B ER N IY T S"_s);
    EXPECT_EQ(FlitePronouncer::phones(u"hello"_s), u"HH AH L OW"_s);
    EXPECT_FALSE(FlitePronouncer::phones(u"R2D2"_s));
    EXPECT_FALSE(FlitePronouncer::phones(u"Zürich"_s));
    EXPECT_FALSE(FlitePronouncer::phones(QString()));
}

TEST(Languages, aMissingModelNamesItsPackageAndIdentifiersMapToTheModel)
{
    QTemporaryDir dir;
    PocketSphinxAssetInventory inventory({PocketSphinxAssetInventory::Language{
        u"en-US"_s, u"pocketsphinx-en-us"_s,
        PocketSphinxModel::Files{dir.filePath(u"am"_s), dir.filePath(u"lm"_s), dir.filePath(u"dict"_s)}}});
    EXPECT_TRUE(inventory.installedLocales().isEmpty());
    EXPECT_EQ(inventory.supportedLocale(u"en_us"_s), u"en-US"_s);
    EXPECT_EQ(inventory.supportedLocale(u"en"_s), u"en-US"_s);
    EXPECT_FALSE(inventory.supportedLocale(u"en-GB"_s));
    EXPECT_FALSE(inventory.supportedLocale(u"de"_s));
    EXPECT_EQ(inventory.status(u"en-US"_s).result(), AbstractAssetInventory::Status::notInstalled);
    auto install = inventory.install(u"en-US"_s);
    ASSERT_FALSE(install.result());
    EXPECT_TRUE(install.result().error().description().contains(u"pocketsphinx-en-us"_s));
}
