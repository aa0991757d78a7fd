#include "shortcuts/GlobalShortcut.h"
#include "tests/support/FakeShortcutPlatform.h"
#include "tests/support/VirtualScheduler.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

using HotKey = GlobalShortcut::HotKey;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

class GlobalShortcutTest : public ::testing::Test
{
protected:
    test::VirtualScheduler scheduler;
    test::FakeShortcutPlatform platform;
    test::FixedShortcutSettings settings;
    QStringList log;
    QStringList statuses;
    std::unique_ptr<GlobalShortcut> shortcut;

    void make()
    {
        shortcut = std::make_unique<GlobalShortcut>(
            scheduler, platform.operations(), settings,
            test::loggingCallbacks(log, [this](const QString &text) { statuses << text; }));
    }

    // Started, with the start's own cancel delivered and forgotten.
    void started()
    {
        make();
        ASSERT_TRUE(shortcut->start());
        scheduler.runPending();
        log.clear();
    }

    GlobalShortcut::StatusTexts texts() const { return GlobalShortcut::statusTexts(settings.hold); }
};

// The hold key's rules themselves are FnHoldState's; here, that its decisions reach the callbacks one step
// later, outside the tap, and that the tap swallows what it says.
TEST_F(GlobalShortcutTest, HoldAndReleaseBeginAndFinishOneStepLaterWithBothEventsSwallowed)
{
    started();
    EXPECT_EQ(platform.holdKeyDown(), true);
    EXPECT_TRUE(log.isEmpty()) << "delivered inside the tap callback";
    scheduler.runPending();
    EXPECT_EQ(log, QStringList{u"fn begin"_s});
    EXPECT_EQ(platform.holdKeyUp(), true);
    EXPECT_EQ(log.size(), 1);
    scheduler.runPending();
    EXPECT_EQ(log, (QStringList{u"fn begin"_s, u"fn finish"_s}));

    platform.holdKeyDown();
    scheduler.runPending();
    EXPECT_EQ(platform.letterDown(), false);
    EXPECT_EQ(platform.holdKeyUp(), true);
    scheduler.runPending();
    EXPECT_EQ(log.mid(2), (QStringList{u"fn begin"_s, u"fn cancel"_s}));

    EXPECT_EQ(platform.pressHotKey(HotKey::toggle), true);
    EXPECT_EQ(log.last(), u"toggle"_s) << "the toggle calls at once";
}

TEST_F(GlobalShortcutTest, SecureInputPassesEventsDeliversNothingAndPausesWithinOneTick)
{
    started();
    platform.secureInput = true;
    EXPECT_EQ(platform.holdKeyDown(), false);
    scheduler.advance(GlobalShortcut::watchdogPeriod);
    EXPECT_EQ(shortcut->fnStatus(), texts().secureInput);
    EXPECT_FALSE(platform.tapExists);
    EXPECT_EQ(log, QStringList{u"fn cancel"_s});
    platform.secureInput = false;
    scheduler.advance(GlobalShortcut::watchdogPeriod);
    EXPECT_TRUE(platform.tapEnabled);
    EXPECT_EQ(shortcut->fnStatus(), texts().ready);
}

TEST_F(GlobalShortcutTest, LosingTrustRemovesTheTapWithOneCancelAndReportsItOnce)
{
    started();
    platform.holdKeyDown();
    scheduler.runPending();
    platform.trusted = false;
    scheduler.advance(1s);
    EXPECT_FALSE(platform.tapExists);
    EXPECT_EQ(log, (QStringList{u"fn begin"_s, u"fn cancel"_s}));
    EXPECT_EQ(statuses.count(texts().needsTrust), 1) << "five ticks, one report";
    EXPECT_EQ(statuses.last(), texts().needsTrust);
}

TEST_F(GlobalShortcutTest, LockingCancelsAndPausesUntilUnlockedThenTheTapReturnsAtOnce)
{
    started();
    platform.holdKeyDown();
    scheduler.runPending();
    platform.suspend();
    scheduler.runPending();
    EXPECT_EQ(log.last(), u"fn cancel"_s);
    EXPECT_EQ(shortcut->fnStatus(), texts().paused);
    const int attempts = platform.count(u"createTap"_s);
    scheduler.advance(10s);
    EXPECT_EQ(platform.count(u"createTap"_s), attempts) << "the watchdog reopened a suspended session";
    EXPECT_FALSE(platform.sendEvent(FnHoldState::flagsChangedType, FnHoldState::fnKeyCode, 0).has_value());

    platform.hardwareFlags = 0;
    platform.resume();
    EXPECT_TRUE(platform.tapEnabled);
    EXPECT_EQ(shortcut->fnStatus(), texts().ready);
}

// The keys' state read from the hardware wins over the events: a key held at install is inert until released,
// and a release the tap missed is finished by the watchdog.
TEST_F(GlobalShortcutTest, AHeldKeyFoundAtInstallIsInertUntilReleasedAndTheWatchdogFinishesAReleaseTheTapMissed)
{
    platform.hardwareFlags = FnHoldState::fnFlag;
    started();
    EXPECT_EQ(platform.holdKeyDown(), false);
    platform.holdKeyUp();
    EXPECT_EQ(platform.holdKeyDown(), true);
    scheduler.runPending();
    EXPECT_EQ(log, QStringList{u"fn begin"_s});
    platform.hardwareFlags = 0; // released without an event
    scheduler.advance(GlobalShortcut::watchdogPeriod);
    EXPECT_EQ(log, (QStringList{u"fn begin"_s, u"fn finish"_s}));
    EXPECT_EQ(shortcut->fnState(), FnHoldState{});
}

TEST_F(GlobalShortcutTest, EscapeIsGrabbedOnlyWhileCancellingIsEnabled)
{
    started();
    EXPECT_EQ(platform.registered[HotKey::escape], 0) << "Escape must reach other apps while idle";
    shortcut->setCancelEnabled(true);
    shortcut->setCancelEnabled(true);
    EXPECT_EQ(platform.registered[HotKey::escape], 1);
    shortcut->setCancelEnabled(false);
    EXPECT_EQ(platform.registered[HotKey::escape], 0);

    platform.hotKeyStatus[HotKey::escape] = 10;
    shortcut->setCancelEnabled(true);
    EXPECT_FALSE(shortcut->cancelEnabled());
    EXPECT_EQ(platform.registered[HotKey::escape], 0);
}

// An action queued in the tap is checked again when it is handed over: a tap reset, secure input turned on,
// or the service gone in between drop it.
TEST_F(GlobalShortcutTest, AnActionQueuedBeforeATapResetSecureInputOrTheServicesEndIsDropped)
{
    started();
    platform.holdKeyDown(); // begin queued
    platform.trusted = false;
    shortcut->refreshFn();
    scheduler.runPending();
    EXPECT_EQ(log, QStringList{u"fn cancel"_s}) << "only the reset's cancel arrives";

    platform.trusted = true;
    platform.hardwareFlags = 0;
    started();
    platform.holdKeyDown();
    platform.secureInput = true; // turned on between the event and the hand-off
    scheduler.runPending();
    EXPECT_TRUE(log.isEmpty());

    platform.secureInput = false;
    platform.hardwareFlags = 0;
    started();
    platform.holdKeyDown();
    shortcut.reset();
    scheduler.runPending();
    EXPECT_TRUE(log.isEmpty());
    EXPECT_FALSE(platform.tapExists);
}

TEST_F(GlobalShortcutTest, StartingTwiceLeavesOneSetOfRegistrationsAndStopRemovesThemKeepingTheStatus)
{
    make();
    ASSERT_TRUE(shortcut->start());
    ASSERT_TRUE(shortcut->start());
    EXPECT_EQ(platform.registered[HotKey::toggle], 1);
    EXPECT_EQ(platform.count(u"installHandler"_s) - platform.count(u"removeHandler"_s), 1);
    EXPECT_EQ(platform.sessionObservers, 1);
    EXPECT_EQ(scheduler.pendingTimers(), 1u) << "one watchdog";
    EXPECT_TRUE(platform.tapEnabled);
    // Whoever sees the toggle taken may press the hold key at once: the tap must already listen.
    const qsizetype lastStart = platform.calls.lastIndexOf(u"createTap"_s);
    EXPECT_LT(platform.calls.indexOf(u"enableTap"_s, lastStart),
              platform.calls.indexOf(u"register toggle"_s, lastStart));

    shortcut->setCancelEnabled(true);
    const QString status = shortcut->fnStatus();
    shortcut->stop();
    EXPECT_EQ(scheduler.pendingTimers(), 0u);
    EXPECT_EQ(platform.sessionObservers, 0);
    EXPECT_FALSE(platform.tapExists);
    EXPECT_EQ(platform.registered[HotKey::toggle], 0);
    EXPECT_EQ(platform.registered[HotKey::escape], 0);
    EXPECT_FALSE(platform.handlerInstalled);
    EXPECT_FALSE(shortcut->cancelEnabled());
    EXPECT_EQ(shortcut->fnStatus(), status);
}

// The status and the error name the keys the user chose.
TEST_F(GlobalShortcutTest, ARefusedToggleIsAnErrorButTheHoldKeyWorksAndStatusesNameTheChosenKeys)
{
    settings.hold = u"Menu"_s;
    settings.toggleName = u"Super+D"_s;
    platform.hotKeyStatus[HotKey::toggle] = 10;
    make();
    const auto result = shortcut->start();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, GlobalShortcut::RegistrationError::Kind::failed);
    EXPECT_TRUE(result.error().description().startsWith(u"Super+D is already used"_s));
    for (const std::int32_t status : {2, -1, 11}) {
        const QString text = GlobalShortcut::RegistrationError{result.error().kind, status, {}}.description();
        EXPECT_FALSE(text.contains(QString::number(status)) || text.contains(u"registered"_s))
            << "a cause, never a raw code: " << text.toStdString();
    }
    EXPECT_TRUE(platform.handlerInstalled) << "the handler stays when the toggle fails";
    EXPECT_EQ(shortcut->fnStatus(), u"Hold Menu to speak; release to finish."_s);
    const auto all = texts();
    for (const QString &text :
         {all.ready, all.needsTrust, all.secureInput, all.unavailable, all.interrupted, all.paused, all.wayland}) {
        EXPECT_TRUE(text.contains(u"Menu"_s)) << text.toStdString();
        EXPECT_FALSE(text.contains(u"Mac"_s) || text.contains(u"Fn"_s)) << text.toStdString();
    }
    scheduler.runPending();
    platform.holdKeyDown();
    scheduler.runPending();
    EXPECT_EQ(log.last(), u"fn begin"_s);
}

// Without a hot key handler neither the toggle nor Escape is registered; on Wayland the status and the error
// say what to do instead.
TEST_F(GlobalShortcutTest, AFailedHandlerSkipsTheToggleAndReportsItsStatusAndWaylandIsNamed)
{
    platform.handlerStatus = 7;
    make();
    EXPECT_EQ(shortcut->start().error().status, 7);
    EXPECT_EQ(platform.count(u"register toggle"_s), 0);
    shortcut->setCancelEnabled(true);
    EXPECT_EQ(platform.count(u"register escape"_s), 0);

    platform.wayland = true;
    platform.trusted = false;
    platform.handlerStatus = -1;
    make();
    EXPECT_TRUE(shortcut->start().error().description().contains(u"bind the command “orvanta toggle”"_s));
    EXPECT_EQ(shortcut->fnStatus(), texts().wayland);
}

TEST_F(GlobalShortcutTest, AFailedTapIsRetriedEveryTwoSeconds)
{
    platform.tapCreation = false;
    started();
    EXPECT_EQ(shortcut->fnStatus(), texts().unavailable);
    EXPECT_EQ(platform.count(u"createTap"_s), 1);
    scheduler.advance(1800ms);
    EXPECT_EQ(platform.count(u"createTap"_s), 1);
    scheduler.advance(200ms);
    EXPECT_EQ(platform.count(u"createTap"_s), 2);
    platform.tapCreation = true;
    scheduler.advance(2s);
    EXPECT_TRUE(platform.tapEnabled);
    EXPECT_EQ(shortcut->fnStatus(), texts().ready);
}

// A tap the system disables ends the hold with one cancel: after a timeout it is enabled again at once,
// after the user's input it comes back after the back-off.
TEST_F(GlobalShortcutTest, ADisabledTapCancelsTheHoldOnceAndReturns)
{
    started();
    platform.holdKeyDown();
    scheduler.runPending();
    platform.holdKeyDown(); // a repeat, swallowed, nothing queued
    platform.disableTap(GlobalShortcut::TapDisabled::byTimeout);
    scheduler.runPending();
    EXPECT_EQ(log, (QStringList{u"fn begin"_s, u"fn cancel"_s}));
    EXPECT_TRUE(platform.tapEnabled);
    EXPECT_EQ(shortcut->fnStatus(), texts().ready);
    EXPECT_EQ(platform.holdKeyUp(), false) << "the reset left the held key inert";

    log.clear();
    platform.holdKeyDown(); // begin queued, then dropped by the reset
    platform.disableTap(GlobalShortcut::TapDisabled::byUserInput);
    scheduler.runPending();
    EXPECT_EQ(log, QStringList{u"fn cancel"_s});
    EXPECT_FALSE(platform.tapExists);
    EXPECT_EQ(shortcut->fnStatus(), texts().interrupted);
    scheduler.advance(1800ms);
    EXPECT_FALSE(platform.tapExists);
    scheduler.advance(200ms);
    EXPECT_TRUE(platform.tapEnabled);
}

} // namespace
} // namespace orv
