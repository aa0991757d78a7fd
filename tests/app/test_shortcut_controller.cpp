#include "app/ShortcutController.h"
#include "library/LinuxSettings.h"
#include "tests/core/AppModelHarness.h"
#include "tests/support/FakeShortcutPlatform.h"

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;
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
            *model, choices,
            [this](const ShortcutSettings &keys, GlobalShortcut::Callbacks callbacks) {
                platform.keys = &keys;
                return std::make_unique<GlobalShortcut>(scheduler, platform.operations(), keys, std::move(callbacks));
            },
            registration);
        controller->updateRegistration();
        return *controller;
    }

    FakeShortcutPlatform platform;
    LinuxSettings choices{std::make_unique<InMemoryKeyValueStore>()};
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

TEST_F(ShortcutControllerTest, holdKeyAndToggleDriveADictationAndEscapeIsGrabbedOnlyWhileOneRuns)
{
    wire(ShortcutController::Registration::always);
    ASSERT_TRUE(controller->isRegistered());
    EXPECT_EQ(platform.registered[HotKey::escape], 0);

    platform.holdKeyDown();
    scheduler.runPending();
    EXPECT_EQ(model->phase(), RecordingPhase::recording);
    EXPECT_TRUE(model->fnOwnsRecording());
    EXPECT_EQ(platform.registered[HotKey::escape], 1);

    speechFake->finishAnswer = FakeSpeechEngine::FinishResult(u"hello there"_s);
    platform.holdKeyUp();
    scheduler.runPending();
    EXPECT_EQ(model->phase(), RecordingPhase::idle);
    EXPECT_EQ(model->lastResult()->original, u"hello there"_s);
    EXPECT_EQ(platform.registered[HotKey::escape], 0);

    platform.pressHotKey(HotKey::toggle);
    scheduler.runPending();
    ASSERT_EQ(model->phase(), RecordingPhase::recording);
    EXPECT_FALSE(model->fnOwnsRecording());
    platform.pressHotKey(HotKey::escape);
    scheduler.runPending();
    EXPECT_EQ(model->status(), u"Cancelled"_s);
}

TEST_F(ShortcutControllerTest, aRefusedToggleIsShownOnceAndNotRetried)
{
    platform.hotKeyStatus[HotKey::toggle] = 10;
    wire(ShortcutController::Registration::always);
    ASSERT_TRUE(model->errorMessage().has_value());
    EXPECT_TRUE(model->errorMessage()->contains(u"Ctrl+Alt+Space"_s)) << model->errorMessage()->toStdString();
    const int attempts = platform.count(u"register toggle"_s);
    model->notifyChanged();
    model->notifyChanged();
    EXPECT_EQ(platform.count(u"register toggle"_s), attempts);
}

TEST_F(ShortcutControllerTest, aChangedChoiceTakesEffectAtOnceAndATakenToggleKeepsThePreviousOne)
{
    wire(ShortcutController::Registration::always);
    ASSERT_EQ(platform.registeredToggle, u"Ctrl+Alt+Space"_s);

    ASSERT_TRUE(choices.setToggle(u"Ctrl+Shift+D"_s));
    EXPECT_EQ(platform.registeredToggle, u"Ctrl+Shift+D"_s);
    EXPECT_EQ(platform.registered[HotKey::toggle], 1) << "the old grab is released";
    EXPECT_EQ(model->shortcutNames().toggle, u"Ctrl+Shift+D"_s);
    ASSERT_TRUE(choices.setHoldKey(u"Right Alt"_s));
    EXPECT_EQ(controller->keysInUse().holdKey(), u"Right Alt"_s);
    EXPECT_EQ(model->shortcutNames().holdKey, u"Right Alt"_s);
    EXPECT_FALSE(model->shortcutRegistrationError().has_value());

    // Another program holds the next one: refused, and the working one stays registered and stored.
    platform.heldByOthers = {u"Super+K"_s};
    platform.pressHotKey(HotKey::toggle);
    scheduler.runPending();
    ASSERT_EQ(model->phase(), RecordingPhase::recording);
    ASSERT_TRUE(choices.setToggle(u"super+k"_s));
    EXPECT_TRUE(model->shortcutRegistrationError().value_or(QString()).startsWith(u"Super+K "_s));
    EXPECT_EQ(platform.registeredToggle, u"Ctrl+Shift+D"_s);
    EXPECT_EQ(platform.registered[HotKey::toggle], 1);
    EXPECT_EQ(choices.toggle(), u"Ctrl+Shift+D"_s);
    EXPECT_EQ(model->shortcutNames().toggle, u"Ctrl+Shift+D"_s);
    EXPECT_EQ(platform.registered[HotKey::escape], 1) << "Escape still cancels the dictation under way";
    EXPECT_EQ(model->phase(), RecordingPhase::recording);
    platform.pressHotKey(HotKey::toggle);
    scheduler.runPending();
    EXPECT_NE(model->phase(), RecordingPhase::recording) << "the kept toggle still finishes";

    ASSERT_TRUE(choices.setToggle(u"Ctrl+Alt+Space"_s));
    EXPECT_FALSE(model->shortcutRegistrationError().has_value());
}
