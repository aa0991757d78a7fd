#include "base/LiveScheduler.h"
#include "shortcuts/GlobalShortcut.h"
#include "shortcuts/x11/LiveGlobalShortcut.h"
#include "tests/support/FakeShortcutPlatform.h"
#include "tests/support/X11TestClient.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Qt::StringLiterals;

// The real X11 backend driven by XTest keys on the test X server (scripts/with-desktop.sh).
namespace orv {
namespace {

// X.h's values (its macros clash with GoogleTest).
constexpr unsigned controlMask = 1u << 2;
constexpr unsigned mod1Mask = 1u << 3;
constexpr int badAccess = 10;

// A screen saver on the session bus that runs at the start, as GNOME's and KDE's answer GetActive.
class RunningScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public Q_SLOTS:
    bool GetActive() const { return true; }
};

class X11ShortcutsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "no X server: DISPLAY is not set (run under scripts/with-desktop.sh)";
        client = std::make_unique<test::X11TestClient>();
        ASSERT_TRUE(client->isOpen()) << "cannot open DISPLAY " << qgetenv("DISPLAY").constData();
        holdKey = client->keycode("Control_R");
        leftCtrl = client->keycode("Control_L");
        alt = client->keycode("Alt_L");
        space = client->keycode("space");
        escape = client->keycode("Escape");
        letterA = client->keycode("a");
        letterB = client->keycode("b");
        shortcut = makeLiveGlobalShortcut(scheduler, settings,
                                          test::loggingCallbacks(log, [this](const QString &text) { status = text; }));
    }

    // Started with a focused window to type into, the first key watch's reset let pass.
    void startCleanly()
    {
        ASSERT_TRUE(client->showFocusedWindow());
        const auto started = shortcut->start();
        ASSERT_TRUE(started) << started.error().description().toStdString();
        ASSERT_EQ(status, GlobalShortcut::statusTexts(settings.hold).ready);
        ASSERT_TRUE(test::waitUntil([&] { return log.contains(u"fn cancel"_s); }));
        log.clear();
    }

    // Waits for the log to read `expected`, as in "fn begin, fn cancel".
    ::testing::AssertionResult logReads(const char *expected)
    {
        const QStringList wanted = QString::fromLatin1(expected).split(u", "_s);
        test::waitUntil([&] { return log.size() >= wanted.size(); });
        return log == wanted ? ::testing::AssertionSuccess()
                             : ::testing::AssertionFailure() << log.join(u", ").toStdString();
    }

    long pressesOf(unsigned keycode)
    {
        const std::vector<unsigned> presses = client->receivedPresses();
        return std::count(presses.begin(), presses.end(), keycode);
    }
    bool windowReceives(unsigned keycode)
    {
        return test::waitUntil([&] { return pressesOf(keycode) > 0; });
    }

    // Ctrl+Alt and the key, as a person presses the toggle.
    void toggleWith(unsigned key)
    {
        client->press(leftCtrl);
        client->press(alt);
        client->tap(key);
        client->release(alt);
        client->release(leftCtrl);
    }

    LiveScheduler scheduler;
    test::FixedShortcutSettings settings;
    std::unique_ptr<test::X11TestClient> client;
    std::unique_ptr<GlobalShortcut> shortcut;
    QStringList log;
    QString status;
    unsigned holdKey = 0, leftCtrl = 0, alt = 0, space = 0, escape = 0, letterA = 0, letterB = 0;
};

TEST_F(X11ShortcutsTest, ALetterWhileHoldingCancelsAndReachesTheFocusedWindow)
{
    startCleanly();
    client->press(holdKey);
    ASSERT_TRUE(logReads("fn begin"));
    client->tap(letterA);
    EXPECT_TRUE(logReads("fn begin, fn cancel"));
    EXPECT_TRUE(windowReceives(letterA));
    client->release(holdKey);
    // A clean press after it: its begin and finish arrive with no finish of the cancelled press before them.
    client->tap(holdKey);
    EXPECT_TRUE(logReads("fn begin, fn cancel, fn begin, fn finish"));
}

TEST_F(X11ShortcutsTest, TheToggleIsCaughtAndDoesNotReachTheWindowAlsoWithCapsLock)
{
    startCleanly();
    toggleWith(space);
    EXPECT_TRUE(logReads("toggle"));

    const unsigned capsLock = client->keycode("Caps_Lock");
    client->tap(capsLock);
    toggleWith(space);
    client->tap(capsLock);
    EXPECT_TRUE(logReads("toggle, toggle"));

    client->tap(letterB);
    ASSERT_TRUE(windowReceives(letterB));
    EXPECT_EQ(pressesOf(space), 0);
}

TEST_F(X11ShortcutsTest, EscapeIsCaughtOnlyWhileCancellingIsEnabled)
{
    startCleanly();
    client->tap(escape);
    EXPECT_TRUE(windowReceives(escape)) << "Escape must reach the focused window while idle";

    shortcut->setCancelEnabled(true);
    client->tap(escape);
    EXPECT_TRUE(logReads("cancel"));
    const auto escapes = pressesOf(escape);
    client->tap(letterB);
    ASSERT_TRUE(windowReceives(letterB));
    EXPECT_EQ(pressesOf(escape), escapes);

    shortcut->setCancelEnabled(false);
    client->tap(escape);
    EXPECT_TRUE(test::waitUntil([&] { return pressesOf(escape) > escapes; }));
    EXPECT_EQ(log, QStringList{u"cancel"_s});
}

TEST_F(X11ShortcutsTest, AToggleHeldByAnotherClientIsARegistrationErrorAndTheHoldKeyStillWorks)
{
    ASSERT_EQ(client->grabKey(space, controlMask | mod1Mask), 0) << "the other client could not take the grab";
    const auto started = shortcut->start();
    ASSERT_FALSE(started);
    EXPECT_EQ(started.error().status, badAccess);
    ASSERT_TRUE(test::waitUntil([&] { return log.contains(u"fn cancel"_s); }));
    log.clear();
    client->tap(holdKey);
    EXPECT_TRUE(logReads("fn begin, fn finish"));
}

// A layout switch moves the toggle's key: the grab moves with it, and the key it left is free again.
TEST_F(X11ShortcutsTest, TheToggleFollowsItsKeyWhenTheKeymapChanges)
{
    settings.toggleName = u"Ctrl+Alt+D"_s;
    startCleanly();
    const unsigned keyD = client->keycode("d");
    const unsigned keyF = client->keycode("f");
    client->moveKeysym(keyF, "d");
    client->moveKeysym(keyD, "f");
    // The backend hears of the change on its own connection; the toggle works once it has re-grabbed.
    EXPECT_TRUE(test::waitUntil([&] { return client->isGrabbedByAnother(keyF, controlMask | mod1Mask); }));
    toggleWith(keyF);
    EXPECT_TRUE(logReads("toggle"));
    toggleWith(keyD);
    EXPECT_TRUE(windowReceives(keyD)) << "the key the toggle left is not grabbed any more";
    EXPECT_EQ(log, QStringList{u"toggle"_s});
}

// Num Lock moved to another modifier bit while registered: stopping releases exactly the variants that
// were grabbed, new and old, and leaves no grab behind.
TEST_F(X11ShortcutsTest, StoppingReleasesEveryGrabAlsoAfterTheModifiersMoved)
{
    startCleanly();
    constexpr unsigned lockMask = 1u << 1;
    constexpr unsigned mod2Mask = 1u << 4;
    constexpr unsigned mod3Mask = 1u << 5;
    client->setModifierOf("Num_Lock", 5); // Mod3
    EXPECT_TRUE(test::waitUntil([&] { return client->isGrabbedByAnother(space, controlMask | mod1Mask | mod3Mask); }))
        << "re-grabbed with the new Num Lock bit";
    shortcut->stop();
    for (const unsigned variant : {0u, lockMask, mod2Mask, lockMask | mod2Mask, mod3Mask, lockMask | mod3Mask}) {
        EXPECT_EQ(client->grabKey(space, controlMask | mod1Mask | variant), 0) << "variant " << variant;
        client->ungrabKey(space, controlMask | mod1Mask | variant);
    }
}

// Started while the screen saver already runs (or the session is locked): paused from the start, not only
// after the next change. A screen saver starting during a hold cancels it; its end brings the hold key back.
TEST_F(X11ShortcutsTest, TheScreenSaverPausesTheHoldKeyFromTheStartOrMidHoldUntilItEnds)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        GTEST_SKIP() << "no session D-Bus (run under scripts/with-desktop.sh)";
    RunningScreenSaver saver;
    const QString service = u"org.freedesktop.ScreenSaver"_s, path = u"/org/freedesktop/ScreenSaver"_s;
    ASSERT_TRUE(bus.registerService(service));
    ASSERT_TRUE(bus.registerObject(path, &saver, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(shortcut->start());
    const auto screenSaver = [&](bool active) {
        QDBusMessage signal = QDBusMessage::createSignal(path, service, u"ActiveChanged"_s);
        signal << active;
        return bus.send(signal);
    };
    const GlobalShortcut::StatusTexts texts = GlobalShortcut::statusTexts(settings.hold);
    EXPECT_TRUE(test::waitUntil([&] { return status == texts.paused; })) << status.toStdString();
    client->tap(holdKey);
    test::waitUntil([] { return false; }, 200);
    EXPECT_FALSE(log.contains(u"fn begin"_s)) << log.join(u", ").toStdString();

    ASSERT_TRUE(screenSaver(false));
    EXPECT_TRUE(test::waitUntil([&] { return status == texts.ready; })) << status.toStdString();
    log.clear();
    client->press(holdKey);
    ASSERT_TRUE(logReads("fn begin"));
    ASSERT_TRUE(screenSaver(true));
    EXPECT_TRUE(test::waitUntil([&] { return status == texts.paused; })) << status.toStdString();
    EXPECT_TRUE(logReads("fn begin, fn cancel"));
    client->release(holdKey);
    client->tap(holdKey); // nothing watches the keys while paused

    ASSERT_TRUE(screenSaver(false));
    EXPECT_TRUE(test::waitUntil([&] { return status == texts.ready; }));
    client->tap(holdKey);
    EXPECT_TRUE(logReads("fn begin, fn cancel, fn begin, fn finish"));
    bus.unregisterObject(path);
    bus.unregisterService(service);
}

} // namespace
} // namespace orv

#include "test_x11_shortcuts.moc"
