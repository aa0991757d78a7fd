#include "tests/core/AppModelHarness.h"
#include "tests/support/FakeMicrophones.h"

#include <QFile>
#include <QScopeGuard>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;
using Phase = RecordingPhase;

TEST_F(AppModelTest, constructionReadsTheLibraryAndEveryStatusWithoutOpeningAnything)
{
    delivery->frontmost = ApplicationInfo{4242, u"Editor"_s};
    permissions->speech = AuthorizationStatus::notDetermined;
    AppModel &m = make();
    EXPECT_EQ(m.status(), u"Ready"_s);
    EXPECT_EQ(m.fnShortcutStatus(), u"Enable Accessibility to use Right Ctrl in other apps."_s);
    EXPECT_EQ(m.microphoneStatus(), u"Allowed"_s);
    EXPECT_EQ(m.speechStatus(), u"Not requested"_s);
    EXPECT_TRUE(m.accessibilityEnabled());
    EXPECT_FALSE(m.errorMessage());
    EXPECT_EQ(loginFake->refreshCalls, 1);
    EXPECT_EQ(deliveryFake->preparedProcesses, QList<qint64>{4242});
    EXPECT_TRUE(desktopFake->openedUrls.isEmpty());
    EXPECT_FALSE(QFile::exists(libraryPath())) << "nothing is saved at start when the language is supported";

    // An activation prepares the application for delivery, but never ourselves nor without trust.
    deliveryFake->frontmost = ApplicationInfo{1000, u"Orvanta"_s};
    m.prepareActivatedApplication();
    deliveryFake->frontmost = ApplicationInfo{77, u"Terminal"_s};
    deliveryFake->trusted = false;
    m.prepareActivatedApplication();
    EXPECT_EQ(deliveryFake->preparedProcesses, QList<qint64>{4242});
    deliveryFake->trusted = true;
    m.prepareActivatedApplication();
    EXPECT_EQ(deliveryFake->preparedProcesses, (QList<qint64>{4242, 77}));
}

TEST_F(AppModelTest, aDictationRunsFromHoldToInsertedWithTheDictionaryAppliedAndSaved)
{
    AppModel &m = make();
    m.addDictionaryEntry(u"jon"_s, u"John"_s);
    scheduler.advanceSeconds(5);
    m.addDictionaryEntry(QString(), u"Kubernetes"_s);

    m.fnBegin();
    EXPECT_EQ(deliveryFake->calls.mid(0, 2), (QStringList{u"stopObservation"_s, u"prepare"_s}));
    EXPECT_EQ(m.phase(), Phase::recording) << "permissions and engine answered at once";
    EXPECT_TRUE(m.fnOwnsRecording());
    ASSERT_EQ(speechFake->startCalls.size(), 1);
    EXPECT_EQ(speechFake->startCalls[0].localeIdentifier, u"en-US"_s);
    EXPECT_EQ(speechFake->startCalls[0].contextualStrings, (QStringList{u"Kubernetes"_s, u"John"_s}));

    const QString notice = u"Speech server not answering — using PocketSphinx"_s;
    speechFake->onNotice(notice);
    speechFake->reportPartial(u"hello jon"_s);
    speechFake->reportLevel(0.5f);
    EXPECT_EQ(m.liveTranscript(), u"hello jon"_s);
    EXPECT_EQ(m.audioLevel(), 0.5f);
    scheduler.advanceSeconds(1.0);
    EXPECT_DOUBLE_EQ(m.elapsed(), 1.0);
    deliveryFake->focusedName = u"Another app"_s; // focus moves while speaking

    speechFake->finishAnswer = FakeSpeechEngine::FinishResult(u"  hello jon \n"_s);
    deliveryFake->answer.reset();
    m.fnFinish();
    EXPECT_FALSE(m.fnOwnsRecording());
    EXPECT_EQ(speechFake->stopAudioCalls, 1);
    EXPECT_EQ(m.phase(), Phase::processing);
    EXPECT_EQ(m.status(), u"Formatting…"_s);
    ASSERT_EQ(formatterFake->calls.size(), 1);
    EXPECT_EQ(formatterFake->calls[0].text, u"hello John"_s);
    EXPECT_EQ(formatterFake->modelChecks, 1) << "the language model is asked afresh";

    ASSERT_TRUE(m.lastResult());
    const TranscriptRecord record = *m.lastResult();
    EXPECT_EQ(record, (TranscriptRecord{record.id, scheduler.wallNow(), u"hello jon"_s, u"hello John"_s, 1.0,
                                        u"Editor"_s, u"Built-in rules"_s}));
    EXPECT_EQ(savedLibrary().history, QList<TranscriptRecord>{record}) << "saved before delivery";
    ASSERT_EQ(deliveryFake->deliverCalls.size(), 1);
    EXPECT_TRUE(deliveryFake->deliverCalls[0].observe);

    deliveryFake->replies.last().resolve({DeliveryResult::Outcome::copied, u"Press Ctrl+V to paste."_s});
    EXPECT_EQ(m.phase(), Phase::idle);
    EXPECT_EQ(m.status(), u"Copied · Ctrl+V"_s);
    EXPECT_EQ(m.lastDelivery(), u"Press Ctrl+V to paste."_s);
    EXPECT_EQ(m.correctionBaselines().value(record.id), u"hello John"_s);
    EXPECT_TRUE(m.recordingStarted()) << "a finished session keeps its start until the next one";
    EXPECT_EQ(m.errorMessage(), notice) << "a recognizer's notice stays through the dictation";
}

// The engine reports its own progress while it starts and listens; once the model processes the
// dictation, its phase texts own the status line ("Finishing…", "Formatting…", the outcome), so the
// engine's "Ready" at the end of its finish never shows in the middle of a dictation.
TEST_F(AppModelTest, theEngineStatusShowsUntilProcessingThenThePhaseTextsOwnTheStatusLine)
{
    speech->startAnswer.reset();
    AppModel &m = make();
    m.toggle();
    speechFake->reportStatus(u"Checking access…"_s);
    EXPECT_EQ(m.status(), u"Checking access…"_s);
    speechFake->startReplies.last().resolve({});
    speechFake->reportStatus(u"Listening…"_s);
    EXPECT_EQ(m.status(), u"Listening…"_s);

    formatterFake->echo = false;
    m.toggle();
    ASSERT_EQ(m.phase(), Phase::processing);
    QStringList seen;
    QObject::connect(&m, &AppModel::changed, &m, [&] {
        if (seen.isEmpty() || seen.last() != m.status())
            seen.append(m.status());
    });
    speechFake->reportStatus(u"Finishing…"_s);
    speechFake->reportStatus(u"Ready"_s);
    speechFake->finishReplies.last().resolve(u"hello"_s);
    formatterFake->replies.last().resolve({u"Hello."_s, u"Built-in rules"_s, {}});
    EXPECT_EQ(seen, (QStringList{u"Formatting…"_s, u"Inserted"_s}));
}

TEST_F(AppModelTest, finishActsByPhaseAndHoldActsOnlyOnSessionsItStarted)
{
    AppModel &m = make();
    notifications = 0;
    m.finishDictation();
    EXPECT_EQ(notifications, 0) << "idle: nothing";

    speechFake->startAnswer.reset();
    m.startDictation();
    EXPECT_EQ(m.phase(), Phase::preparing);
    m.finishDictation();
    EXPECT_EQ(m.phase(), Phase::idle);
    EXPECT_EQ(m.status(), u"Cancelled"_s) << "finish while preparing cancels";
    speechFake->startReplies.last().resolve({});
    EXPECT_EQ(m.phase(), Phase::idle);
    EXPECT_EQ(speechFake->cancelCalls, 2) << "the engine that started late is cancelled again";
    EXPECT_EQ(speechFake->finishCalls, 0) << "no transcript is produced";

    speechFake->startAnswer = FakeSpeechEngine::StartResult();
    m.toggle();
    EXPECT_EQ(m.phase(), Phase::recording);
    m.toggle();
    EXPECT_EQ(m.phase(), Phase::processing);
    m.finishDictation();
    m.toggle();
    m.fnBegin();
    EXPECT_EQ(speechFake->finishCalls, 1) << "finish, toggle and hold are ignored while processing";
    EXPECT_EQ(speechFake->startCalls.size(), 2);
    speechFake->finishReplies.last().resolve(u"   \n "_s);
    EXPECT_EQ(m.status(), u"No speech detected"_s);
    EXPECT_EQ(m.phase(), Phase::idle);
    EXPECT_FALSE(m.lastResult());
    EXPECT_TRUE(formatterFake->calls.isEmpty());

    // Hold key, release and interruption act only on sessions the hold started.
    m.toggle();
    ASSERT_EQ(m.phase(), Phase::recording);
    m.fnBegin();
    EXPECT_EQ(speechFake->startCalls.size(), 3) << "hold does not start a second dictation";
    m.fnFinish();
    m.fnCancel();
    EXPECT_EQ(m.phase(), Phase::recording) << "release of a hold that did not start it does nothing";
    m.cancelDictation();
    m.fnBegin();
    EXPECT_TRUE(m.fnOwnsRecording());
    m.fnCancel();
    EXPECT_FALSE(m.fnOwnsRecording());
    EXPECT_EQ(m.status(), u"Cancelled"_s);
}

TEST_F(AppModelTest, aPermissionRefusedDuringStartShowsWhy)
{
    permissions->microphone = AuthorizationStatus::notDetermined;
    AppModel &m = make();
    m.fnBegin();
    permissionsFake->answerMicrophone(false);
    EXPECT_EQ(m.phase(), Phase::idle);
    EXPECT_EQ(m.status(), u"Microphone access needed"_s);
    EXPECT_EQ(m.errorMessage(), u"Allow Orvanta in Settings → Sound → Input."_s);
    EXPECT_FALSE(m.fnOwnsRecording());
    EXPECT_EQ(m.microphoneStatus(), u"Denied — open your desktop settings"_s);
}

TEST_F(AppModelTest, engineFailuresEndTheSessionWithTheirTextExceptWhileProcessing)
{
    const auto platformError = [](const char *text) {
        return SpeechEngineError{SpeechEngineError::Kind::platform, QString::fromUtf8(text)};
    };
    AppModel &m = make();
    speechFake->startAnswer = unexpected(platformError("No input device."));
    m.fnBegin();
    EXPECT_EQ(m.status(), u"Could not start dictation"_s);
    EXPECT_EQ(m.errorMessage(), u"No input device."_s);
    EXPECT_EQ(speechFake->cancelCalls, 1);

    speechFake->startAnswer.reset();
    m.toggle();
    EXPECT_FALSE(m.errorMessage()) << "a start clears the last error";
    ASSERT_EQ(m.phase(), Phase::preparing);
    speechFake->reportFailure(platformError("The microphone was unplugged."));
    EXPECT_EQ(m.phase(), Phase::idle);
    EXPECT_EQ(m.status(), u"Recording stopped"_s);
    EXPECT_EQ(m.errorMessage(), u"The microphone was unplugged."_s);
    notifications = 0;
    speechFake->reportFailure(platformError("again"));
    EXPECT_EQ(notifications, 0) << "ignored when idle";

    speechFake->startAnswer = FakeSpeechEngine::StartResult();
    m.toggle();
    m.toggle();
    ASSERT_EQ(m.phase(), Phase::processing);
    speechFake->reportFailure(platformError("Too late to matter."));
    EXPECT_EQ(m.phase(), Phase::processing);
    EXPECT_FALSE(m.errorMessage());
    speechFake->finishReplies.last().resolve(u"still delivered"_s);
    ASSERT_TRUE(m.lastResult());
    EXPECT_EQ(m.lastResult()->original, u"still delivered"_s);

    m.toggle();
    speechFake->finishAnswer = FakeSpeechEngine::FinishResult(unexpected(platformError("Finalizing timed out.")));
    m.toggle();
    EXPECT_EQ(m.status(), u"Dictation interrupted"_s);
    EXPECT_EQ(m.errorMessage(), u"Finalizing timed out."_s);
}

// A microphone unplugged mid-dictation ends the recording as a release would: the words heard go the whole
// road, and the message says which microphone went away. The Settings meter never listens meanwhile.
TEST_F(AppModelTest, aMicrophoneLostWhileRecordingFinishesWithTheWordsHeard)
{
    FakeMicrophones microphones;
    AppModel &m = make();
    m.setMicrophones(&microphones);
    const auto detach = qScopeGuard([&m] { m.setMicrophones(nullptr); });
    microphones.startMeter(QString(), [](float) {});
    m.toggle();
    ASSERT_EQ(m.phase(), Phase::recording);
    EXPECT_FALSE(microphones.isMetering()) << "a dictation stops the meter as it starts";

    speechFake->finishAnswer = FakeSpeechEngine::FinishResult(u"kept words"_s);
    speechFake->onInputLost(SpeechEngineError{SpeechEngineError::Kind::inputLost, u"USB Headset"_s});
    EXPECT_EQ(speechFake->finishCalls, 1);
    EXPECT_EQ(m.phase(), Phase::idle);
    ASSERT_EQ(m.history().size(), 1);
    EXPECT_EQ(m.history().first().original, u"kept words"_s);
    EXPECT_TRUE(m.errorMessage().value_or(QString()).contains(u"“USB Headset” went away"_s));
}

// The mode is read when the user finishes: a change while the dictation is processed applies to the next.
// A local model server may start or stop at any time: every dictation asks again, in the background, so
// the status is right also for someone who only dictates verbatim.
TEST_F(AppModelTest, theModeIsReadAtFinishAndVerbatimSkipsFormattingButAsksTheLanguageModelAfresh)
{
    AppModel &m = make();
    m.toggle();
    m.toggle();
    ASSERT_EQ(m.phase(), Phase::processing);
    m.setPreferences(Preferences{u"en-US"_s, DictationMode::verbatim, false, true});
    speechFake->finishReplies.last().resolve(u"hello"_s);
    ASSERT_EQ(formatterFake->calls.size(), 1);
    EXPECT_EQ(formatterFake->calls[0].mode, DictationMode::clean);

    formatterFake->answer = FormattingResult{u"plain"_s, u"PocketSphinx"_s, u"Formatting took too long."_s};
    deliveryFake->answer.reset();
    dictate(u"plain"_s);
    ASSERT_EQ(formatterFake->calls.size(), 2);
    EXPECT_EQ(formatterFake->calls[1].mode, DictationMode::verbatim);
    EXPECT_EQ(m.status(), u"Inserting…"_s) << "verbatim skips the Formatting… text";
    EXPECT_EQ(m.errorMessage(), u"Formatting took too long."_s) << "a formatter's notice is shown";
    EXPECT_FALSE(deliveryFake->deliverCalls.last().observe) << "no observation without auto-learn";
    EXPECT_EQ(formatterFake->modelChecks, 2);
}

TEST_F(AppModelTest, durationIsMeasuredFromTheStartAndTenMinutesFinishAtTheFirstTickAtTheLimit)
{
    AppModel &m = make();
    m.toggle();
    scheduler.advanceSeconds(3.3);
    EXPECT_NEAR(m.elapsed(), 3.2, 1e-9) << "the timer shows whole ticks";
    speechFake->finishAnswer = FakeSpeechEngine::FinishResult(u"words"_s);
    m.toggle();
    EXPECT_NEAR(m.lastResult()->duration, 3.3, 1e-9) << "the duration does not";

    speechFake->finishAnswer.reset();
    m.toggle();
    scheduler.advanceSeconds(599.9);
    EXPECT_EQ(m.phase(), Phase::recording);
    scheduler.advanceSeconds(0.1);
    EXPECT_EQ(m.phase(), Phase::processing);
    EXPECT_DOUBLE_EQ(m.elapsed(), 600.0);
    EXPECT_EQ(scheduler.pendingTimers(), 0u);
    speechFake->finishReplies.last().resolve(u"a long talk"_s);
    EXPECT_DOUBLE_EQ(m.lastResult()->duration, 600.0);
}

// Services go one by one after the model's own destructor; an answer they give as they go (the engine
// ends its pending finish) or after (a reply that comes late) must find its session over.
TEST_F(AppModelTest, answersThatComeWhileTheModelIsDestroyedOrAfterChangeNothing)
{
    for (const bool inFinish : {false, true}) {
        freshServices();
        speech->startAnswer.reset();
        AppModel &m = make();
        m.toggle();
        if (inFinish) {
            speechFake->startReplies.last().resolve({});
            ASSERT_EQ(m.phase(), Phase::recording);
            m.toggle();
            ASSERT_EQ(m.phase(), Phase::processing);
        }
        notifications = 0;
        model.reset();
        EXPECT_EQ(notifications, 0) << (inFinish ? "finish" : "start") << " ended by the engine as it went";
    }

    freshServices();
    formatter->echo = false;
    make();
    dictate(u"late"_s);
    ASSERT_EQ(formatterFake->replies.size(), 1);
    const AsyncValue<FormattingResult> reply = formatterFake->replies.last();
    model.reset();
    reply.resolve({u"Late."_s, u"Built-in rules"_s, {}});
    scheduler.runUntilIdle();
    EXPECT_FALSE(QFile::exists(libraryPath())) << "nothing was saved for a model that is gone";
}

// A start can run straight through to recording, and an observer may finish the dictation inside that
// start; a later cancel must still reach the formatting the finish began.
TEST_F(AppModelTest, aCancelReachesTheFormattingOfAFinishThatAStartRanInto)
{
    formatter->echo = false;
    AppModel &m = make();
    speechFake->finishAnswer = FakeSpeechEngine::FinishResult(u"quick"_s);
    const auto finishAtOnce = QObject::connect(&m, &AppModel::changed, &m, [&m] {
        if (m.phase() == Phase::recording)
            m.finishDictation();
    });
    m.toggle();
    QObject::disconnect(finishAtOnce);
    ASSERT_EQ(m.phase(), Phase::processing);
    ASSERT_EQ(formatterFake->calls.size(), 1);
    m.cancelDictation();
    EXPECT_EQ(formatterFake->cancellations, 1) << "the formatting is cancelled, not left to run";
}

TEST_F(AppModelTest, quittingDuringADictationFinishesItIntoHistoryAndTheClipboardWithinTheLimit)
{
    AppModel &m = make();
    int done = 0;
    m.finishBeforeQuit([&] { ++done; });
    EXPECT_EQ(done, 1) << "nothing under way: the quit goes on at once";

    // Finished in time: kept and copied, never pasted.
    m.toggle();
    scheduler.advanceSeconds(3);
    speechFake->finishAnswer = FakeSpeechEngine::FinishResult(u"see you at noon"_s);
    m.finishBeforeQuit([&] { ++done; });
    scheduler.runPending();
    EXPECT_EQ(done, 2);
    EXPECT_TRUE(deliveryFake->deliverCalls.isEmpty());
    EXPECT_EQ(deliveryFake->copied, QStringList{u"see you at noon"_s});
    EXPECT_EQ(savedLibrary().history.size(), 1);

    // The recognizer never answers: at the limit what was heard is kept.
    speechFake->finishAnswer.reset();
    m.toggle();
    scheduler.advanceSeconds(3);
    speechFake->reportPartial(u"call the plumber"_s);
    m.finishBeforeQuit([&] { ++done; });
    scheduler.advanceSeconds(11.9);
    EXPECT_EQ(done, 2) << "still waiting for the recognizer";
    scheduler.advanceSeconds(0.1);
    EXPECT_EQ(done, 3);
    EXPECT_EQ(m.phase(), Phase::idle);
    EXPECT_EQ(deliveryFake->copied.last(), u"call the plumber"_s);
    ASSERT_EQ(savedLibrary().history.size(), 2);
    EXPECT_EQ(savedLibrary().history.first().output, u"call the plumber"_s);
}
