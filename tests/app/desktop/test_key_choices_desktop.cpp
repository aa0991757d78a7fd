// The key choices of the Settings page on the real X11 backend: the page writes them, the shortcut
// controller registers them again at once, and XTest keys on the test X server show which keys act.
#include "app/ShortcutController.h"
#include "base/LiveScheduler.h"
#include "library/LinuxSettings.h"
#include "shortcuts/x11/LiveGlobalShortcut.h"
#include "tests/core/AppModelHarness.h"
#include "tests/support/X11TestClient.h"
#include "ui/LinuxChoicesCard.h"
#include "ui/SettingsViewController.h"
#include "ui/ShortcutField.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTest>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

// X.h's ControlMask | ShiftMask (its macros clash with GoogleTest).
constexpr unsigned controlAndShift = 1u << 2 | 1u << 0;

class KeyChoicesDesktop : public AppModelTest
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "no X server: DISPLAY is not set (run under scripts/with-desktop.sh)";
        client = std::make_unique<X11TestClient>();
        ASSERT_TRUE(client->isOpen());
        make();
        controller = std::make_unique<ShortcutController>(
            *model, choices,
            [this](const ShortcutSettings &keys, GlobalShortcut::Callbacks callbacks) {
                return makeLiveGlobalShortcut(live, keys, std::move(callbacks));
            },
            ShortcutController::Registration::always);
        controller->updateRegistration();
        ASSERT_FALSE(model->shortcutRegistrationError().has_value()) << "the default toggle must be free";
        page = std::make_unique<ui::SettingsViewController>(*model, &choices);
        // The first key watch sends its reset; let it pass before keys are pressed.
        ASSERT_TRUE(waitUntil([&] { return model->fnShortcutStatus().startsWith(u"Hold "_s); }));
    }

    ui::LinuxChoicesCard &card() { return *page->linuxChoices(); }
    // Pumps the X connection and the model's virtual time until the phase is reached.
    bool reaches(RecordingPhase phase)
    {
        return waitUntil([&] {
            scheduler.runPending();
            return model->phase() == phase;
        });
    }
    void pressCombination(std::initializer_list<const char *> keys)
    {
        for (const char *key : keys)
            client->press(client->keycode(key));
        for (auto key = std::rbegin(keys); key != std::rend(keys); ++key)
            client->release(client->keycode(*key));
    }

    LiveScheduler live;
    LinuxSettings choices{std::make_unique<InMemoryKeyValueStore>()};
    std::unique_ptr<X11TestClient> client;
    std::unique_ptr<ShortcutController> controller;
    std::unique_ptr<ui::SettingsViewController> page;
};

} // namespace

TEST_F(KeyChoicesDesktop, aToggleAnotherProgramHoldsIsRefusedInTheCardAndTheOneBeforeKeepsWorking)
{
    ASSERT_EQ(client->grabKey(client->keycode("F8"), controlAndShift), 0) << "the other client got no grab";

    // As the recorder reports a pressed combination (one another client grabbed never reaches it).
    card().chooseToggle(u"Ctrl+Shift+F8"_s);
    EXPECT_TRUE(card().toggleError()->isVisibleTo(page.get()));
    EXPECT_TRUE(card().toggleError()->text().startsWith(u"Ctrl+Shift+F8 is already used"_s));
    EXPECT_EQ(choices.toggle(), u"Ctrl+Alt+Space"_s);
    EXPECT_EQ(card().toggleField()->text(), u"Ctrl+Alt+Space"_s);
    EXPECT_EQ(model->shortcutNames().toggle, u"Ctrl+Alt+Space"_s);

    pressCombination({"Control_L", "Alt_L", "space"});
    EXPECT_TRUE(reaches(RecordingPhase::recording)) << "the toggle kept still starts a dictation";
    model->cancelDictation();

    // A free combination is taken at once, and the one before no longer acts.
    card().chooseToggle(u"Ctrl+Alt+K"_s);
    EXPECT_FALSE(card().toggleError()->isVisibleTo(page.get()));
    EXPECT_EQ(choices.toggle(), u"Ctrl+Alt+K"_s);
    pressCombination({"Control_L", "Alt_L", "space"});
    pressCombination({"Control_L", "Alt_L", "k"});
    EXPECT_TRUE(reaches(RecordingPhase::recording));
    EXPECT_EQ(speechFake->startCalls.size(), 2) << "only the new combination started one";
    model->cancelDictation();
}

TEST_F(KeyChoicesDesktop, aChangedHoldKeyIsUsedByTheVeryNextDictation)
{
    const int rightAlt = card().holdKeyPopup()->findText(u"Right Alt"_s);
    ASSERT_GE(rightAlt, 0);
    card().holdKeyPopup()->setCurrentIndex(rightAlt);
    card().chooseHoldKey(rightAlt);
    EXPECT_EQ(choices.holdKey(), u"Right Alt"_s);
    EXPECT_EQ(page->holdKeyCap()->text(), u"Right Alt"_s);

    pressCombination({"Control_R"}); // the hold key before: now only a Control key
    client->press(client->keycode("Alt_R"));
    EXPECT_TRUE(reaches(RecordingPhase::recording));
    EXPECT_TRUE(model->fnOwnsRecording());
    EXPECT_EQ(speechFake->startCalls.size(), 1);

    speechFake->finishAnswer = FakeSpeechEngine::FinishResult(u"hello from the right alt key"_s);
    client->release(client->keycode("Alt_R"));
    EXPECT_TRUE(reaches(RecordingPhase::idle));
    ASSERT_TRUE(model->lastResult().has_value());
    EXPECT_EQ(model->lastResult()->original, u"hello from the right alt key"_s);
}

int main(int argc, char **argv)
{
    std::unique_ptr<QApplication> app;
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        app = std::make_unique<QApplication>(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
