#include "speech/SpeechEngine.h"
#include "tests/support/FakeAssetInventory.h"
#include "tests/support/FakeAudioConverter.h"
#include "tests/support/FakeAudioSource.h"
#include "tests/support/FakePermissions.h"
#include "tests/support/FakeTranscriber.h"
#include "tests/support/VirtualScheduler.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Kind = SpeechEngineError::Kind;
using Status = AbstractAssetInventory::Status;

namespace {

struct EngineRig
{
    test::VirtualScheduler scheduler;
    std::shared_ptr<test::FakePermissions> permissions = std::make_shared<test::FakePermissions>();
    std::shared_ptr<test::FakeAssetInventory> assets = std::make_shared<test::FakeAssetInventory>();
    std::shared_ptr<test::FakeAudioSource::Log> audio = std::make_shared<test::FakeAudioSource::Log>();
    std::shared_ptr<test::FakeAudioConverter::Log> converter = std::make_shared<test::FakeAudioConverter::Log>();
    std::shared_ptr<test::FakeTranscriber> transcriber = std::make_shared<test::FakeTranscriber>(scheduler);
    std::vector<std::shared_ptr<test::FakeTranscriber>> transcribers;
    std::unique_ptr<SpeechEngine> engine;

    QStringList statuses, partials;
    std::vector<float> levels;
    std::vector<SpeechEngineError> failures;

    EngineRig()
    {
        SpeechEngine::Platform platform;
        platform.permissions = permissions;
        platform.assets = assets;
        platform.makeAudioSource = [this] { return std::make_unique<test::FakeAudioSource>(audio); };
        platform.makeConverter = [this](const AudioFormat &, const AudioFormat &) {
            return std::make_unique<test::FakeAudioConverter>(converter);
        };
        // The first session gets `transcriber`; later ones a fresh fake each.
        platform.makeTranscriber = [this](const QString &) {
            auto next = transcribers.empty() ? transcriber : std::make_shared<test::FakeTranscriber>(scheduler);
            transcribers.push_back(next);
            return next;
        };
        engine = std::make_unique<SpeechEngine>(scheduler, std::move(platform), u"PocketSphinx"_s);
        engine->onStatus = [this](const QString &text) { statuses.append(text); };
        engine->onPartial = [this](const QString &text) { partials.append(text); };
        engine->onLevel = [this](float level) { levels.push_back(level); };
        engine->onFailure = [this](const SpeechEngineError &error) { failures.push_back(error); };
    }

    Task<Expected<void, SpeechEngineError>> start(QStringList context = {}, QString locale = u"en-US"_s)
    {
        auto task = engine->start(std::move(locale), std::move(context));
        scheduler.runPending();
        return task;
    }

    void startListening(QStringList context = {})
    {
        auto task = start(std::move(context));
        ASSERT_TRUE(task.isDone());
        ASSERT_TRUE(task.result().hasValue()) << task.result().error().description().toStdString();
    }

    Expected<QString, SpeechEngineError> finishNow()
    {
        auto task = engine->finish();
        scheduler.runPending();
        EXPECT_TRUE(task.isDone());
        return task.isDone() ? task.result() : Expected<QString, SpeechEngineError>(unexpected(SpeechEngineError{}));
    }

    void expectIdleAndReusable()
    {
        EXPECT_FALSE(engine->sessionID().has_value());
        transcriber->finalized = AsyncValue<Expected<void, SpeechEngineError>>();
        auto again = start();
        ASSERT_TRUE(again.isDone());
        EXPECT_TRUE(again.result().hasValue()) << "a new start works";
        engine->cancel();
    }
};

struct EngineFixture : ::testing::Test, EngineRig
{
};

// Sets up a case on a rig of its own.
using Arrange = std::function<void(EngineRig &)>;

} // namespace

// Spoken punctuation reaches the live and the final text whatever recognizer heard the words, also when
// a command is split across results; prompt-taking recognizers are told to expect the command words.
TEST_F(EngineFixture, aDictationRunsFromStartToTheFinalTranscript)
{
    startListening({u"  Kubernetes "_s, u"Anthropic"_s, u"Kubernetes"_s, u" "_s});
    EXPECT_EQ(statuses, (QStringList{u"Checking access…"_s, u"Preparing…"_s, u"Listening…"_s}));
    EXPECT_EQ(transcriber->contextualStrings, (QStringList{u"Anthropic"_s, u"Kubernetes"_s}));
    ASSERT_FALSE(transcriber->recentContext.isEmpty());
    EXPECT_EQ(transcriber->recentContext.front(), u"Kubernetes"_s) << "the user's words first";
    EXPECT_TRUE(transcriber->recentContext.contains(u"question mark"_s));
    EXPECT_EQ(audio->framesPerBuffer, 1600u) << "a tenth of a second per buffer";
    EXPECT_TRUE(audio->running);
    ASSERT_TRUE(transcriber->preparedFormat);
    EXPECT_EQ(transcriber->preparedFormat->sampleType, AudioFormat::SampleType::int16);

    ASSERT_TRUE(audio->deliver(test::FakeAudioSource::constantBuffer(audio->format, 1600, 1.0f)));
    EXPECT_TRUE(levels.empty()) << "levels reach the main thread only through the scheduler";
    scheduler.runPending();
    EXPECT_EQ(levels, std::vector<float>{1.0f});
    EXPECT_TRUE(transcriber->input->tryNext().has_value()) << "audio flows into the recognizer";

    transcriber->emitResult(u"is it noon question"_s, 0, 1, true);
    transcriber->emitResult(u"mark new"_s, 1, 2, false);
    EXPECT_EQ(partials.back(), u"is it noon? New"_s);
    transcriber->emitResult(u"mark new paragraph yes."_s, 1, 2.5, true);
    EXPECT_EQ(partials.back(), u"is it noon?\n\nYes."_s);

    engine->stopAudio();
    EXPECT_FALSE(audio->running);
    EXPECT_EQ(audio->tapsRemoved, 1);
    auto result = finishNow();
    ASSERT_TRUE(result.hasValue());
    EXPECT_EQ(result.value(), u"is it noon?\n\nYes."_s);
    EXPECT_EQ(converter->flushes, 1);
    EXPECT_TRUE(transcriber->input->isFinished());
    EXPECT_EQ(statuses.mid(3), (QStringList{u"Finishing…"_s, u"Ready"_s}));
    EXPECT_EQ(levels.back(), 0.0f);
    EXPECT_FALSE(engine->sessionID());
    EXPECT_EQ(scheduler.pendingTimers(), 0u) << "the watchdog is gone";
}

TEST_F(EngineFixture, resultsReplaceVolatileTextButNeverFinalText)
{
    startListening();
    // Each result, the segments after it, and whether it changes nothing at all (not even a resent text):
    // blank results are ignored, also over final text.
    const std::tuple<QString, double, double, bool, QStringList, bool> steps[] = {
        {u"hello wor"_s, 0, 1, false, {u"hello wor"_s}, false},
        {u"hello world"_s, 0, 1.2, false, {u"hello world"_s}, false},
        {u"hello world"_s, 0, 1.2, true, {u"hello world"_s}, false},
        // A volatile revision never displaces final text; the live transcript is sent again.
        {u"world"_s, 0.8, 1.5, false, {u"hello world"_s}, false},
        {u"hello there"_s, 0, 1.5, true, {u"hello there"_s}, false},
        {u"wor"_s, 1.5, 1.9, false, {u"hello there"_s, u"wor"_s}, false},
        {u"lo world"_s, 1.3, 2.0, false, {u"hello there"_s}, false},
        {u" \n\t"_s, 3, 4, true, {u"hello there"_s}, true},
        {QString(), 0, 1.5, true, {u"hello there"_s}, true},
        // An utterance whose final result has no words takes its provisional words back.
        {u"um"_s, 2.0, 2.4, false, {u"hello there"_s, u"um"_s}, false},
        {u" "_s, 2.0, 2.6, false, {u"hello there"_s, u"um"_s}, true},
        {QString(), 2.0, 2.6, true, {u"hello there"_s}, false},
        {u"  early  "_s, -1, -0.5, true, {u"early"_s, u"hello there"_s}, false},
    };
    for (const auto &[text, from, to, isFinal, segments, quiet] : steps) {
        SCOPED_TRACE((u"“%1” %2–%3"_s.arg(text).arg(from).arg(to)).toStdString());
        const auto sent = partials.size();
        transcriber->emitResult(text, from, to, isFinal);
        QStringList texts;
        for (const auto &segment : engine->segments())
            texts.append(segment.text);
        EXPECT_EQ(texts, segments);
        EXPECT_EQ(partials.size() == sent, quiet);
        EXPECT_EQ(partials.value(partials.size() - 1), segments.join(u' ')) << "the live transcript";
    }
}

TEST(SpeechEngineText, segmentsJoinWithSpacesExceptBeforeClosingPunctuation)
{
    using S = SpeechEngine::TranscriptSegment;
    auto join = [](std::initializer_list<const char *> texts) {
        std::vector<S> segments;
        for (const char *text : texts)
            segments.push_back(S{{}, {}, QString::fromUtf8(text), true});
        return SpeechEngine::transcript(segments);
    };
    EXPECT_EQ(join({"Hello", ", world"}), u"Hello, world"_s);
    EXPECT_EQ(join({"Hello", "world"}), u"Hello world"_s);
    EXPECT_EQ(join({"Hello", "(aside)"}), u"Hello (aside)"_s);
    EXPECT_EQ(join({"a", "!", "?", ")", "]", "}", ";", ":", "."}), u"a!?)]};:."_s);
    EXPECT_EQ(join({}), QString());
}

TEST(SpeechEngineText, theAnalysisContextKeepsTheFirstHundredDistinctTrimmedStrings)
{
    QStringList strings;
    for (int i = 150; i >= 0; --i)
        strings.append(u" word%1 "_s.arg(i, 3, 10, QLatin1Char('0')));
    strings.append(u"word000"_s);
    const QStringList context = SpeechEngine::analysisContext(strings);
    ASSERT_EQ(context.size(), 100);
    EXPECT_EQ(context.front(), u"word000"_s);
    EXPECT_EQ(context.back(), u"word099"_s);
    EXPECT_EQ(SpeechEngine::analysisContext({u"b"_s, u"B"_s, u"a"_s}), (QStringList{u"B"_s, u"a"_s, u"b"_s}));
}

// Calls out of turn: a finish or a cancel without a session says nothing; a second start is refused without
// touching the running session.
TEST_F(EngineFixture, callsOutOfTurnChangeNothing)
{
    auto result = finishNow();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result.value().isEmpty());
    EXPECT_TRUE(statuses.isEmpty());
    engine->cancel();
    EXPECT_EQ(levels, std::vector<float>{0.0f}) << "cancel without a session only reports silence";

    startListening();
    const auto id = engine->sessionID();
    auto second = start();
    ASSERT_TRUE(second.isDone());
    ASSERT_FALSE(second.result());
    EXPECT_EQ(second.result().error().kind, Kind::alreadyRecording);
    EXPECT_EQ(engine->sessionID(), id);
    EXPECT_TRUE(audio->running);
}

// A finalization that never ends is cut off by the watchdog after twelve seconds, or at once by a cancel;
// the live transcript stays.
TEST(SpeechEngineFinish, aHangingFinalizationEndsAtTheWatchdogOrACancel)
{
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "watchdog");
        EngineRig f;
        f.startListening();
        f.transcriber->emitResult(u"partial words"_s, 0, 1, false);
        f.transcriber->holdFinalize = true;
        auto finishing = f.engine->finish();
        f.scheduler.advance(11900ms);
        EXPECT_FALSE(finishing.isDone());
        if (cancel)
            f.engine->cancel();
        f.scheduler.advance(100ms);
        ASSERT_TRUE(finishing.isDone());
        ASSERT_FALSE(finishing.result());
        EXPECT_EQ(finishing.result().error().kind, cancel ? Kind::cancelled : Kind::finalizationTimedOut);
        EXPECT_GE(f.transcriber->cancels, 1);
        EXPECT_EQ(f.partials.back(), u"partial words"_s);
        f.expectIdleAndReusable();
    }
}

TEST_F(EngineFixture, aCancelDuringAnyWaitOfStartLeavesTheEngineIdle)
{
    // Each wait: what holds the start there, and what lets it go on.
    const std::tuple<const char *, Arrange, Arrange> steps[] = {
        {"microphone prompt", [](EngineRig &f) { f.permissions->holdMicrophonePrompt = true; },
         [](EngineRig &f) { f.permissions->microphonePrompt.resolve(true); }},
        {"speech prompt",
         [](EngineRig &f) {
             f.permissions->speech = AuthorizationStatus::notDetermined;
             f.permissions->holdSpeechPrompt = true;
         },
         [](EngineRig &f) { f.permissions->speechPrompt.resolve(AuthorizationStatus::authorized); }},
        {"asset status", [](EngineRig &f) { f.assets->holdStatus = true; },
         [](EngineRig &f) { f.assets->heldStatus.resolve(Status::installed); }},
        {"download",
         [](EngineRig &f) {
             f.assets->statuses[u"en-US"_s] = Status::downloadable;
             f.assets->holdInstall = true;
         },
         [](EngineRig &f) { f.assets->heldInstall.resolve(Expected<void, SpeechEngineError>()); }},
        {"model preparation", [](EngineRig &f) { f.transcriber->holdPrepare = true; },
         [](EngineRig &f) { f.transcriber->prepared.resolve(Expected<void, SpeechEngineError>()); }},
    };
    for (const auto &[name, hold, release] : steps) {
        SCOPED_TRACE(name);
        EngineRig f;
        hold(f);
        auto starting = f.start();
        ASSERT_FALSE(starting.isDone());
        f.engine->cancel();
        release(f);
        f.scheduler.runPending();
        ASSERT_TRUE(starting.isDone());
        ASSERT_FALSE(starting.result());
        EXPECT_TRUE(starting.result().error().isCancellation());
        EXPECT_FALSE(f.audio->running);
        EXPECT_TRUE(f.failures.empty()) << "a cancellation is never reported";
        f.permissions->holdMicrophonePrompt = f.permissions->holdSpeechPrompt = false;
        f.assets->holdStatus = f.assets->holdInstall = false;
        f.transcriber->holdPrepare = false;
        f.expectIdleAndReusable();
    }
}

TEST_F(EngineFixture, aStaleStartNeverTouchesTheSessionThatReplacedIt)
{
    permissions->holdMicrophonePrompt = true;
    auto first = start();
    engine->cancel();
    permissions->holdMicrophonePrompt = false;
    startListening();
    const auto second = engine->sessionID();
    ASSERT_TRUE(second);

    permissions->microphonePrompt.resolve(false); // the old prompt answers late, and says no
    scheduler.runPending();
    ASSERT_TRUE(first.isDone());
    EXPECT_TRUE(first.result().error().isCancellation());
    EXPECT_EQ(engine->sessionID(), second);
    EXPECT_TRUE(audio->running);

    // A level the audio thread scheduled just before its session was replaced is dropped.
    ASSERT_TRUE(audio->deliver(test::FakeAudioSource::constantBuffer(audio->format, 1600, 0.5f)));
    engine->cancel();
    levels.clear();   // the cancel's own 0
    startListening(); // runs the stale level while the new session is current
    EXPECT_TRUE(engine->sessionID());
    EXPECT_TRUE(levels.empty()) << "the replaced session's level reached the new one";
}

TEST(SpeechEngineStart, permissionLanguageAndDeviceProblemsEndTheStartWithTheirKind)
{
    const std::tuple<const char *, Arrange, Kind, const char *> cases[] = {
        {"microphone refused",
         [](EngineRig &f) {
             f.permissions->grantMicrophone = false;
             f.permissions->speech = AuthorizationStatus::notDetermined;
         },
         Kind::microphonePermissionDenied, "en-US"},
        {"speech restricted", [](EngineRig &f) { f.permissions->speech = AuthorizationStatus::restricted; },
         Kind::speechPermissionDenied, "en-US"},
        {"unsupported language", [](EngineRig &) {}, Kind::unsupportedLanguage, "de-CH"},
        {"no microphone", [](EngineRig &f) { f.audio->format.sampleRate = 0; }, Kind::microphoneUnavailable, "en-US"},
        {"model not installable",
         [](EngineRig &f) {
             f.assets->statuses[u"en-US"_s] = Status::notInstalled;
             f.assets->installOutcome = unexpected(SpeechEngineError{Kind::platform, u"Install it."_s});
         },
         Kind::platform, "en-US"},
        {"device busy",
         [](EngineRig &f) {
             f.audio->startError = SpeechEngineError{Kind::platform, u"Busy."_s};
         },
         Kind::platform, "en-US"},
    };
    for (const auto &[name, arrange, kind, locale] : cases) {
        SCOPED_TRACE(name);
        EngineRig f;
        arrange(f);
        auto t = f.start({}, QString::fromUtf8(locale));
        ASSERT_TRUE(t.isDone());
        ASSERT_FALSE(t.result());
        EXPECT_EQ(t.result().error().kind, kind);
        EXPECT_FALSE(f.engine->sessionID()) << "a failed start cancels its session";
        EXPECT_FALSE(f.audio->running);
        EXPECT_EQ(f.permissions->speechRequests, 0) << "speech is never asked after a refused microphone";
        EXPECT_FALSE(f.statuses.join(QLatin1Char('|')).contains(u"Downloading"_s));
    }
    EngineRig f;
    f.assets->statuses[u"en-US"_s] = Status::downloadable;
    f.startListening();
    EXPECT_TRUE(f.statuses.contains(u"Downloading English…"_s));
}

// A failure of the session's input (conversion, the sound server, the recognizer's results, the final
// flush) stops the audio, is reported once on the main thread, and is what the finish returns.
TEST(SpeechEngineInput, aFailingInputStopsTheAudioAndIsWhatFinishReports)
{
    const SpeechEngineError lost{Kind::platform, u"The sound server went away."_s};
    const std::tuple<const char *, Arrange, QString, bool> cases[] = {
        {"conversion",
         [](EngineRig &f) {
             f.converter->failOnConversion = 1;
             f.audio->deliver(test::FakeAudioSource::constantBuffer(f.audio->format, 1600, 0.2f));
         },
         u"Conversion failed."_s, true},
        {"sound server lost", [&](EngineRig &f) { f.audio->failure(lost); }, lost.detail, true},
        {"recognizer results", [&](EngineRig &f) { f.transcriber->failResults(lost); }, lost.detail, true},
        {"flush", [&](EngineRig &f) { f.converter->flushError = lost; }, lost.detail, false},
    };
    for (const auto &[name, fail, detail, reportedBeforeFinish] : cases) {
        SCOPED_TRACE(name);
        EngineRig f;
        f.startListening();
        f.transcriber->emitResult(u"some words"_s, 0, 1, true);
        fail(f);
        f.scheduler.runPending();
        ASSERT_EQ(f.failures.size(), reportedBeforeFinish ? 1u : 0u);
        if (reportedBeforeFinish) {
            EXPECT_EQ(f.failures[0].detail, detail);
            EXPECT_FALSE(f.audio->running);
            EXPECT_TRUE(f.transcriber->input->isFinished());
            ASSERT_TRUE(f.engine->sessionID()) << "the session waits for the model to cancel or finish";
        }
        auto result = f.finishNow();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().detail, detail);
        EXPECT_LE(f.failures.size(), 1u);
        EXPECT_GE(f.transcriber->cancels, reportedBeforeFinish ? 0 : 1);
        f.expectIdleAndReusable();
    }
}

// A microphone that goes away ends capture, not the session: what it heard is still finished and delivered.
TEST_F(EngineFixture, aMicrophoneLostWhileRecordingKeepsWhatItHeardForTheFinish)
{
    int lost = 0;
    engine->onInputLost = [&](const SpeechEngineError &) { ++lost; };
    startListening();
    transcriber->emitResult(u"heard so far"_s, 0, 1, true);
    audio->failure(SpeechEngineError{Kind::inputLost, u"USB Headset"_s});
    scheduler.runPending();
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(failures.empty());
    EXPECT_FALSE(audio->running);
    EXPECT_FALSE(transcriber->input->isFinished()) << "the rest of the audio waits for the finish's flush";
    auto result = finishNow();
    ASSERT_TRUE(result) << result.error().description().toStdString();
    EXPECT_EQ(result.value(), u"heard so far"_s);
}

TEST_F(EngineFixture, theEngineGoingAwayMidSessionLeavesNothingRunning)
{
    startListening();
    transcriber->holdFinalize = true;
    auto finishing = engine->finish();
    scheduler.runPending();
    engine.reset();
    scheduler.runUntilIdle();
    EXPECT_TRUE(finishing.isDone());
    EXPECT_FALSE(audio->running);
    EXPECT_EQ(scheduler.pendingTimers(), 0u);
}

TEST_F(EngineFixture, supportedLanguagesAreTheInstalledModelsSorted)
{
    assets->statuses[u"fr-FR"_s] = Status::installed;
    assets->statuses[u"de-DE"_s] = Status::notInstalled;
    auto task = engine->supportedLocaleIdentifiers();
    ASSERT_TRUE(task.isDone());
    EXPECT_EQ(task.result(), (QStringList{u"en-US"_s, u"fr-FR"_s}));
}
