// The embedded Whisper recognizer over a model file with the real format and random weights: what it
// says is noise, so no text is asserted; what is tested is the road the text takes.
#include "speech/SpeechEngine.h"
#include "speech/whisper/WhisperModel.h"
#include "speech/whisper/WhisperTranscriber.h"
#include "tests/support/FakeTranscriber.h"
#include "tests/support/Files.h"
#include "tests/support/SyntheticWhisperModel.h"
#include "tests/support/VirtualScheduler.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

using namespace orv;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

static_assert(WhisperTranscriber::finalTimeLimit < SpeechEngine::finalizationTimeout,
              "the live text must end a slow decoding before the engine's watchdog gives up on the dictation");

namespace {

Duration at(double seconds)
{
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds));
}

AnalyzerInput speech(double seconds)
{
    AnalyzerInput input;
    const auto count = std::size_t(seconds * WhisperModel::sampleRate);
    for (std::size_t i = 0; i < count; ++i)
        input.samples.push_back(qint16(8000 * std::sin(double(i) * 0.07) * std::sin(double(i) * 0.0011)));
    return input;
}

class WhisperSession
{
public:
    explicit WhisperSession(const QString &modelPath)
        : model(std::make_shared<WhisperModel>(scheduler, modelPath, 1)),
          live(std::make_shared<test::FakeTranscriber>(scheduler)),
          transcriber(std::make_shared<WhisperTranscriber>(
              scheduler, [this] { return model; }, u"en-US"_s, [this] { return live; }, u"PocketSphinx"_s))
    {
        transcriber->onNotice = [this](const QString &text) { notices << text; };
    }

    // Waits for the model's thread (a guard against a hang, not a time limit under test).
    template <typename Done>
    bool pumpUntil(Done done)
    {
        for (int i = 0; i < 30000; ++i) {
            scheduler.runPending();
            if (done())
                return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    void start()
    {
        auto prepared = transcriber->prepare(AudioFormat{16000, 1, AudioFormat::SampleType::int16});
        ASSERT_TRUE(pumpUntil([&] { return prepared.isDone(); }));
        ASSERT_TRUE(prepared.result());
        ASSERT_TRUE(transcriber->start(input));
        collecting = [](std::shared_ptr<TranscriptionResultStream> stream, std::vector<TranscriptionResult> *into,
                        std::optional<SpeechEngineError> *error) -> Task<> {
            auto next = co_await stream->next();
            for (; next && next.value(); next = co_await stream->next())
                into->push_back(*next.value());
            if (!next)
                *error = next.error();
        }(transcriber->results(), &results, &error);
    }

    // The audio reaches the live recognizer; it closes an utterance.
    void say(double seconds)
    {
        input->yield(speech(seconds));
        scheduler.advance(WhisperTranscriber::pollInterval);
    }

    std::vector<TranscriptionResult> finals() const
    {
        std::vector<TranscriptionResult> out;
        std::copy_if(results.begin(), results.end(), std::back_inserter(out), [](auto &r) { return r.isFinal; });
        return out;
    }

    test::VirtualScheduler scheduler;
    std::shared_ptr<WhisperModel> model;
    std::shared_ptr<test::FakeTranscriber> live;
    std::shared_ptr<WhisperTranscriber> transcriber;
    std::shared_ptr<AnalyzerInputStream> input = std::make_shared<AnalyzerInputStream>();
    std::vector<TranscriptionResult> results;
    std::optional<SpeechEngineError> error;
    QStringList notices;
    Task<> collecting;
};

// One model file, written for the first test that needs it.
QString modelPath()
{
    static QTemporaryDir folder;
    static const QString path = folder.filePath(u"ggml-test.bin"_s);
    static const bool written = test::writeSyntheticWhisperModel(path, test::WhisperDimensions::testSized());
    EXPECT_TRUE(written);
    return path;
}

TEST(WhisperTranscriber, UtterancesAreDecodedWhileSpeakingAndOnlyTheTailAtTheEnd)
{
    WhisperSession session(modelPath());
    session.start();
    session.say(1.2);
    session.live->emitResult(u"hello"_s, 0.0, 1.0, true);
    session.live->emitResult(u"wor"_s, 1.0, 1.2, false);
    ASSERT_TRUE(session.pumpUntil([&] { return session.transcriber->whisperUtterances() == 1; }));
    // The first utterance is Whisper's before the key is let go; the live words still show.
    ASSERT_EQ(session.finals().size(), 1u);
    EXPECT_EQ(session.finals()[0].start, at(0.0));
    EXPECT_EQ(session.finals()[0].end, at(1.0));
    EXPECT_EQ(session.results.front(), (TranscriptionResult{u"hello"_s, at(0.0), at(1.0), false}));

    session.say(0.8);
    session.input->finish();
    session.live->emitResult(u"world"_s, 1.0, 2.0, true);
    session.live->emitResult(u"world."_s, 1.0, 2.0, true); // the live recognizer's full stop
    Task<Expected<void, SpeechEngineError>> finished = session.transcriber->finalizeAndFinishThroughEndOfInput();
    ASSERT_TRUE(session.pumpUntil([&] { return finished.isDone(); }));
    ASSERT_TRUE(finished.result());
    EXPECT_EQ(session.transcriber->whisperUtterances(), 2);
    EXPECT_EQ(session.transcriber->liveUtterances(), 0);
    ASSERT_EQ(session.finals().size(), 2u);
    EXPECT_EQ(session.finals()[1].start, at(1.0));
    EXPECT_TRUE(session.notices.isEmpty()) << session.notices.join(u'|').toStdString();
    EXPECT_TRUE(session.collecting.isDone());
    EXPECT_FALSE(session.error);
}

TEST(WhisperTranscriber, ASlowDecodingEndsWithTheLiveTextBeforeTheWatchdogAndACancelStopsIt)
{
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "too slow");
        WhisperSession session(modelPath());
        std::atomic<int> held = 0;
        session.model->setBeforeDecode([&held](const std::atomic<bool> &cancelled) {
            ++held;
            while (!cancelled)
                std::this_thread::sleep_for(1ms);
        });
        session.start();
        session.say(1.0);
        session.input->finish();
        session.live->emitResult(u"kept words"_s, 0.0, 1.0, true);
        Task<Expected<void, SpeechEngineError>> finished = session.transcriber->finalizeAndFinishThroughEndOfInput();
        ASSERT_TRUE(session.pumpUntil([&] { return held == 1; }));
        if (cancel) {
            Task<void> cancelled = session.transcriber->cancelAndFinishNow();
            ASSERT_TRUE(session.pumpUntil([&] { return finished.isDone() && cancelled.isDone(); }));
            EXPECT_FALSE(finished.result());
            EXPECT_TRUE(session.finals().empty());
            EXPECT_EQ(session.live->cancels, 1);
            continue;
        }
        session.scheduler.advance(WhisperTranscriber::finalTimeLimit - 1ms);
        EXPECT_FALSE(finished.isDone());
        session.scheduler.advance(1ms);
        ASSERT_TRUE(session.pumpUntil([&] { return finished.isDone(); }));
        ASSERT_TRUE(finished.result());
        ASSERT_EQ(session.finals().size(), 1u);
        EXPECT_EQ(session.finals()[0].text, u"kept words"_s);
        EXPECT_EQ(session.notices.size(), 1);
        // The aborted decoding frees the model for the next session.
        session.model->setBeforeDecode({});
        auto again = session.model->decode(WhisperModel::Request{std::vector<float>(8000, 0.1f), {}, {}},
                                           std::make_shared<std::atomic<bool>>(false));
        ASSERT_TRUE(session.pumpUntil([&] { return again.isResolved(); }));
        EXPECT_TRUE(again.value());
    }
}

TEST(WhisperTranscriber, AModelThatCannotBeUsedLeavesTheDictationToTheLiveRecognizer)
{
    QTemporaryDir dir;
    const QString notAModel = dir.filePath(u"ggml-base.en.bin"_s);
    ASSERT_TRUE(test::writeFile(notAModel, QByteArray(4096, 'x')));
    const QString truncated = dir.filePath(u"ggml-cut.bin"_s);
    QFile::copy(modelPath(), truncated);
    QFile::resize(truncated, QFileInfo(modelPath()).size() / 2);

    for (const QString &path : {dir.filePath(u"missing.bin"_s), notAModel, truncated}) {
        SCOPED_TRACE(path.toStdString());
        WhisperSession session(path);
        session.start();
        session.say(1.0);
        session.input->finish();
        session.live->emitResult(u"live words"_s, 0.0, 1.0, true);
        Task<Expected<void, SpeechEngineError>> finished = session.transcriber->finalizeAndFinishThroughEndOfInput();
        ASSERT_TRUE(session.pumpUntil([&] { return finished.isDone(); }));
        ASSERT_TRUE(finished.result());
        ASSERT_EQ(session.finals().size(), 1u);
        EXPECT_EQ(session.finals()[0].text, u"live words"_s);
        ASSERT_EQ(session.notices.size(), 1);
        EXPECT_TRUE(session.notices[0].contains(path)) << session.notices[0].toStdString();
    }
}

} // namespace
