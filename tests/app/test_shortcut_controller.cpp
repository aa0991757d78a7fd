#include "app/ShortcutController.h"
#include "tests/core/AppModelHarness.h"
#include "tests/support/FakeShortcutPlatform.h"

using namespace orv;
using namespace orv::test;
using HotKey = GlobalShortcut::HotKey;

namespace {

class ShortcutControllerTest : public AppModelTest
{
protected:
    ShortcutControllerTest()
    {
        permissions->holdMicrophonePrompt = false;
        permissions->holdSpeechPrompt = false;
    }

    ShortcutController &wire(ShortcutController::Registration registration)
    {
        make();
        controller = std::make_unique<ShortcutController>(
            *model,
            [this](GlobalShortcut::Callbacks callbacks) {
                return std::make_unique<GlobalShortcut>(scheduler, platform.operations(), keys, std::move(callbacks));
            },
            registration);
        controller->updateRegistration();
        return *controller;
    }

    FakeShortcutPlatform platform;
    FixedShortcutSettings keys;
    std::unique_ptr<ShortcutController> controller;
};

} // namespace

TEST_F(ShortcutControllerTest, keysAreRegisteredOnlyWhileOnboardingIsComplete)
{
    wire(ShortcutController::Registration::afterOnboarding);
    EXPECT_FALSE(controller->isRegistered());
    EXPECT_FALSE(platform.pressHotKey(HotKey::toggle).has_value());

    model->completeOnboarding();
    EXPECT_TRUE(controller->isRegistered());
    EXPECT_EQ(platform.registered[HotKey::toggle], 1);

    model->resetOnboarding();
    EXPECT_FALSE(controller->isRegistered());
    EXPECT_EQ(platform.registered[HotKey::toggle], 0);
}

TEST_F(ShortcutControllerTest, holdKeyDrivesADictationAndEscapeIsGrabbedOnlyWhileOneRuns)
{
    wire(ShortcutController::Registration::always);
    ASSERT_TRUE(controller->isRegistered());
    EXPECT_EQ(platform.registered[HotKey::escape], 0);

    platform.holdKeyDown();
    scheduler.runPending();
    EXPECT_EQ(model->phase(), RecordingPhase::recording);
    EXPECT_TRUE(model->fnOwnsRecording());
    EXPECT_EQ(platform.registered[HotKey::escape], 1);

    speechFake->finishAnswer = FakeSpeechEngine::FinishResult(QStringLiteral("hello there"));
    platform.holdKeyUp();
    scheduler.runPending();
    EXPECT_EQ(model->phase(), RecordingPhase::idle);
    EXPECT_EQ(model->lastResult()->original, QStringLiteral("hello there"));
    EXPECT_EQ(platform.registered[HotKey::escape], 0);
}

TEST_F(ShortcutControllerTest, toggleStartsAndFinishesAndEscapeCancelsWithoutHoldKeyOwnership)
{
    wire(ShortcutController::Registration::always);
    platform.pressHotKey(HotKey::toggle);
    scheduler.runPending();
    EXPECT_EQ(model->phase(), RecordingPhase::recording);
    EXPECT_FALSE(model->fnOwnsRecording());

    // Releasing the hold key does not end a dictation the toggle started.
    platform.holdKeyDown();
    platform.holdKeyUp();
    scheduler.runPending();
    EXPECT_EQ(model->phase(), RecordingPhase::recording);

    platform.pressHotKey(HotKey::escape);
    scheduler.runPending();
    EXPECT_EQ(model->phase(), RecordingPhase::idle);
    EXPECT_EQ(model->status(), QStringLiteral("Cancelled"));
}

TEST_F(ShortcutControllerTest, aRefusedToggleIsShownOnceAndNotRetried)
{
    platform.hotKeyStatus[HotKey::toggle] = 10;
    wire(ShortcutController::Registration::always);
    ASSERT_TRUE(model->errorMessage().has_value());
    EXPECT_TRUE(model->errorMessage()->contains(QStringLiteral("Ctrl+Alt+Space")))
        << model->errorMessage()->toStdString();
    const int attempts = platform.count(QStringLiteral("register toggle"));
    model->notifyChanged();
    model->notifyChanged();
    EXPECT_EQ(platform.count(QStringLiteral("register toggle")), attempts);
}
