#include "speech/MicrophoneInputBridge.h"
#include "tests/support/FakeAudioConverter.h"
#include "tests/support/FakeAudioSource.h"
#include "tests/support/VirtualScheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>

using namespace orv;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using test::FakeAudioSource;

namespace {

const AudioFormat mono{16000, 1, AudioFormat::SampleType::float32};

struct BridgeFixture : ::testing::Test
{
    test::VirtualScheduler clock;
    std::shared_ptr<test::FakeAudioConverter::Log> converterLog = std::make_shared<test::FakeAudioConverter::Log>();
    std::shared_ptr<AnalyzerInputStream> stream = std::make_shared<AnalyzerInputStream>();
    std::vector<float> levels;
    std::vector<SpeechEngineError> failures;
    std::unique_ptr<MicrophoneInputBridge> bridge = std::make_unique<MicrophoneInputBridge>(
        clock,
        std::make_unique<test::FakeAudioConverter>(converterLog),
        stream,
        [this](float level) { levels.push_back(level); },
        [this](const SpeechEngineError &error) { failures.push_back(error); });

    int queued()
    {
        int count = 0;
        while (stream->tryNext())
            ++count;
        return count;
    }
};

AudioBuffer sine(double amplitude, qint64 frames, int channels = 1)
{
    AudioBuffer buffer{{16000, channels, AudioFormat::SampleType::float32}, frames, {}, {}};
    for (qint64 i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            buffer.floatSamples.push_back(
                c == 0 ? float(amplitude * std::sin(2 * std::numbers::pi * 440.0 * double(i) / 16000.0)) : 0.9f);
    return buffer;
}

} // namespace

TEST_F(BridgeFixture, levelsAreThrottledTo80msButEveryNonEmptyBufferIsConverted)
{
    bridge->handleBuffer(FakeAudioSource::constantBuffer(mono, 0, 0.5f), {});
    EXPECT_TRUE(levels.empty()) << "an empty buffer is neither converted nor metered";
    // The first buffer always reports a level; 80 ms after the last level a new one is due.
    for (const auto &[after, reported] : {std::pair{0ms, 1u}, {50ms, 1u}, {30ms, 2u}}) {
        clock.advance(after);
        bridge->handleBuffer(FakeAudioSource::constantBuffer(mono, 1600, 0.01f), {});
        EXPECT_EQ(levels.size(), reported) << after.count() << " ms later";
    }
    EXPECT_EQ(converterLog->conversions, 3);
    EXPECT_EQ(queued(), 3);
}

TEST_F(BridgeFixture, theLevelIsTheFirstChannelsClippedAtOneAndIntegerBuffersReadAsSilence)
{
    EXPECT_FLOAT_EQ(MicrophoneInputBridge::levelOf(FakeAudioSource::constantBuffer(mono, 160, 1.0f)), 1.0f);
    EXPECT_FLOAT_EQ(MicrophoneInputBridge::levelOf(sine(0.1, 16000, 2)),
                    MicrophoneInputBridge::levelOf(sine(0.1, 16000)))
        << "the loud second channel is not measured";
    // The meter follows a voice whatever the microphone's gain: a quiet one (-40 dBFS) still shows, room
    // noise (-60 dBFS) does not, and each doubling of loudness moves it alike.
    const auto level = [](double amplitude) { return MicrophoneInputBridge::levelOf(sine(amplitude, 1600)); };
    EXPECT_GT(level(0.01 * std::sqrt(2.0)), 0.15f);
    EXPECT_EQ(level(0.001 * std::sqrt(2.0)), 0.0f);
    EXPECT_NEAR(level(0.2) - level(0.1), level(0.02) - level(0.01), 0.01f);

    const AudioBuffer integers{{16000, 1, AudioFormat::SampleType::int16}, 4, {}, {30000, -30000, 30000, -30000}};
    bridge->handleBuffer(integers, {});
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels[0], 0.0f) << "no float data reads as silence";
    EXPECT_EQ(converterLog->conversions, 1) << "but the buffer is still converted";
}

TEST_F(BridgeFixture, flushReleasesHeldBackAudioAndEndsTheStreamOnce)
{
    bridge->handleBuffer(FakeAudioSource::constantBuffer(mono, 1600, 0.1f), {});
    {
        std::lock_guard guard(bridge->lock());
        ASSERT_TRUE(bridge->flush());
        ASSERT_TRUE(bridge->flush()) << "a second flush does nothing";
    }
    bridge->close();
    EXPECT_EQ(converterLog->flushes, 1);
    EXPECT_TRUE(stream->isFinished());
    EXPECT_EQ(queued(), 2) << "the buffer and the flushed rest";

    clock.advance(1s);
    bridge->handleBuffer(FakeAudioSource::constantBuffer(mono, 1600, 0.1f), {});
    EXPECT_EQ(converterLog->conversions, 1) << "buffers after the end are dropped";
    EXPECT_EQ(levels.size(), 1u);
}

TEST_F(BridgeFixture, closeThenFlushNeverFlushesAndAFailingFlushEndsTheStream)
{
    bridge->close();
    {
        std::lock_guard guard(bridge->lock());
        EXPECT_TRUE(bridge->flush());
    }
    EXPECT_EQ(converterLog->flushes, 0);
    EXPECT_TRUE(stream->isFinished());

    stream = std::make_shared<AnalyzerInputStream>();
    bridge = std::make_unique<MicrophoneInputBridge>(
        clock, std::make_unique<test::FakeAudioConverter>(converterLog), stream, [](float) {},
        [](const SpeechEngineError &) {});
    converterLog->flushError = SpeechEngineError{SpeechEngineError::Kind::platform, u"flush"_s, {}};
    std::lock_guard guard(bridge->lock());
    auto flushed = bridge->flush();
    ASSERT_FALSE(flushed);
    EXPECT_EQ(flushed.error().detail, u"flush"_s);
    EXPECT_TRUE(stream->isFinished());
}

TEST_F(BridgeFixture, aConversionFailureIsReportedOnceAndEndsEverything)
{
    converterLog->failOnConversion = 2;
    for (int i = 0; i < 3; ++i, clock.advance(100ms))
        bridge->handleBuffer(FakeAudioSource::constantBuffer(mono, 1600, 0.1f), {});
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].detail, u"Conversion failed."_s);
    EXPECT_EQ(levels.size(), 1u);
    EXPECT_EQ(converterLog->conversions, 2);
    EXPECT_TRUE(stream->isFinished());
    EXPECT_EQ(queued(), 1);
}

TEST_F(BridgeFixture, anAudioThreadRacingTheEndConvertsNothingAfterIt)
{
    // The stream refuses late inputs by itself; what the bridge must stop is the work before that.
    std::atomic<int> handled{0};
    std::atomic<bool> go{true};
    std::thread audio([&] {
        while (go) {
            bridge->handleBuffer(FakeAudioSource::constantBuffer(mono, 160, 0.1f), {});
            ++handled;
        }
    });
    auto waitForBuffers = [&](int count) {
        const int target = handled + count;
        while (handled < target)
            std::this_thread::yield();
    };
    waitForBuffers(3);
    int convertedBeforeTheEnd = 0;
    {
        std::lock_guard guard(bridge->lock()); // the converter runs only under this lock
        ASSERT_TRUE(bridge->flush());
        convertedBeforeTheEnd = converterLog->conversions;
    }
    waitForBuffers(20);
    go = false;
    audio.join();
    EXPECT_GT(convertedBeforeTheEnd, 0);
    EXPECT_EQ(converterLog->conversions, convertedBeforeTheEnd) << "buffers after the end are dropped unconverted";
    EXPECT_EQ(converterLog->flushes, 1);
}
