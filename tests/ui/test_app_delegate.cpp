#include "tests/support/QtPrinters.h"
#include "tests/ui/UiHarness.h"
#include "ui/MainWindowController.h"
#include "ui/OnboardingViewController.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSystemTrayIcon>

using namespace orv;
using namespace orv::test;

namespace {

class AppDelegateTest : public WindowsTest
{
protected:
    QAction *menuItem(const QString &title) const
    {
        QAction *action = findAction(delegate->mainWindow()->menuBar()->actions(), title);
        EXPECT_NE(action, nullptr) << title.toStdString();
        return action;
    }
    QAction *trayItem(const QString &title) const
    {
        QAction *action = findAction(delegate->statusMenu()->actions(), title);
        EXPECT_NE(action, nullptr) << title.toStdString();
        return action;
    }
};

} // namespace

// Once set up, a login start shows only the tray icon and any other start the window: the real application's
// tests on the private desktop (test_windows_desktop).
TEST_F(AppDelegateTest, aLoginLaunchBeforeSetupShowsTheFlow)
{
    launch(/*launchedAtLogin=*/true);
    EXPECT_TRUE(delegate->mainWindow()->isVisible());
    EXPECT_TRUE(delegate->mainWindow()->showingOnboarding());
}

TEST_F(AppDelegateTest, theRecordItemsFollowThePhaseAndWaitForSetup)
{
    speech->startAnswer.reset(); // the engine answers when the test says
    launch();
    QAction *record = delegate->recordMenuItem();
    EXPECT_EQ(record->text(), QStringLiteral("Start Recording"));
    EXPECT_FALSE(record->isEnabled()) << "before setup";
    EXPECT_EQ(record->shortcut().toString(), QStringLiteral("Ctrl+Alt+Space"));
    EXPECT_EQ(menuItem(QStringLiteral("Start / Stop Recording"))->shortcut().toString(),
              QStringLiteral("Ctrl+Alt+Space"));
    EXPECT_EQ(menuItem(QStringLiteral("Cancel Recording"))->shortcut(), QKeySequence(Qt::Key_Escape));

    delegate->mainWindow()->hide();
    menuItem(QStringLiteral("Start / Stop Recording"))->trigger();
    EXPECT_EQ(model->phase(), RecordingPhase::idle) << "before setup the item shows the window instead";
    EXPECT_TRUE(delegate->mainWindow()->isVisible());

    model->completeOnboarding();
    EXPECT_TRUE(record->isEnabled());
    record->trigger();
    EXPECT_EQ(model->phase(), RecordingPhase::preparing);

    speechFake->startReplies.last().resolve(FakeSpeechEngine::StartResult());
    scheduler.runPending();
    EXPECT_EQ(record->text(), QStringLiteral("Stop Recording"));
    EXPECT_EQ(delegate->statusItem()->toolTip(), QStringLiteral("Orvanta — Listening…"));
    record->trigger(); // finishes; the engine's transcript is pending
    EXPECT_FALSE(record->isEnabled()) << "nothing to do while processing";
    trayItem(QStringLiteral("Cancel Recording"))->trigger();
    EXPECT_EQ(model->phase(), RecordingPhase::idle);
}

TEST_F(AppDelegateTest, cancelWithNothingToCancelLeavesTheLastDictationsWatchAlone)
{
    launch();
    model->completeOnboarding();
    dictate(QStringLiteral("hello there"));
    ASSERT_EQ(model->status(), QStringLiteral("Inserted"));
    deliveryFake->calls.clear();
    menuItem(QStringLiteral("Cancel Recording"))->trigger(); // Escape in the main window
    trayItem(QStringLiteral("Cancel Recording"))->trigger();
    EXPECT_EQ(model->status(), QStringLiteral("Inserted"));
    EXPECT_FALSE(deliveryFake->calls.contains(QStringLiteral("stopObservation")))
        << "the edits of the inserted text are still watched for corrections";

    startRecording();
    menuItem(QStringLiteral("Cancel Recording"))->trigger();
    EXPECT_EQ(model->phase(), RecordingPhase::idle);
    EXPECT_EQ(model->status(), QStringLiteral("Cancelled"));
}

TEST_F(AppDelegateTest, formattingSavesTheModeAtOnceAndShowsIt)
{
    launch();
    model->completeOnboarding();
    trayItem(QStringLiteral("Structured"))->trigger();
    EXPECT_TRUE(trayItem(QStringLiteral("Structured"))->isChecked()) << "radio items showing the mode in use";
    EXPECT_FALSE(trayItem(QStringLiteral("Clean"))->isChecked());
    EXPECT_EQ(model->preferences().mode, DictationMode::structured);
    EXPECT_EQ(savedLibrary().preferences.mode, DictationMode::structured);
    delegate->chooseMode(QStringLiteral("structured")); // not a mode's raw value
    delegate->chooseMode(QStringLiteral("Loud"));
    EXPECT_EQ(savedLibrary().preferences.mode, DictationMode::structured);
    trayItem(QStringLiteral("Verbatim"))->trigger();
    EXPECT_EQ(savedLibrary().preferences.mode, DictationMode::verbatim);
}

// What going back to setup does to a dictation and to the keys is the model's and the shortcut controller's
// (their tests); here, that the item goes back and shows the flow from its first page.
TEST_F(AppDelegateTest, showSetupShowsTheFlowFromItsFirstPage)
{
    launch();
    model->completeOnboarding();
    delegate->mainWindow()->hide();
    menuItem(QStringLiteral("Show Setup…"))->trigger();
    EXPECT_FALSE(model->onboarding().isComplete());
    EXPECT_TRUE(delegate->mainWindow()->isVisible());
    ASSERT_TRUE(delegate->mainWindow()->showingOnboarding());
    EXPECT_EQ(delegate->mainWindow()->onboardingController()->controls().progress->text(), QStringLiteral("1 of 3"));
}

TEST_F(AppDelegateTest, menusFollowLinuxConventionsAndTheFirstCloseSaysWhereOrvantaWent)
{
    launch();
    QStringList menus;
    for (QAction *menu : delegate->mainWindow()->menuBar()->actions())
        menus.append(menu->text());
    EXPECT_EQ(menus, (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit"), QStringLiteral("&Dictation"),
                                  QStringLiteral("&Help")}));
    EXPECT_EQ(menuItem(QStringLiteral("Quit"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    delegate->mainWindow()->hide();
    menuItem(QStringLiteral("Preferences…"))->trigger();
    EXPECT_TRUE(delegate->mainWindow()->isVisible());
    EXPECT_EQ(delegate->mainWindow()->selectedPage(), 0) << "Settings only after setup";

    model->completeOnboarding();
    menuItem(QStringLiteral("Preferences…"))->trigger();
    EXPECT_EQ(delegate->mainWindow()->selectedPage(), 3);
    menuItem(QStringLiteral("Close Window"))->trigger();
    EXPECT_FALSE(delegate->mainWindow()->isVisible());
    EXPECT_TRUE(delegate->trayNotice().contains(QStringLiteral("Open Orvanta again from its icon")));
    trayItem(QStringLiteral("Open Orvanta…"))->trigger();
    EXPECT_TRUE(delegate->mainWindow()->isVisible());
}

TEST_F(AppDelegateTest, editItemsReachTheFocusedTextField)
{
    launch();
    QLineEdit field;
    field.setText(QStringLiteral("dictated words"));
    field.show();
    QApplication::setActiveWindow(&field);
    field.setFocus();
    ASSERT_EQ(QApplication::focusWidget(), &field);

    menuItem(QStringLiteral("Select All"))->trigger();
    EXPECT_EQ(field.selectedText(), QStringLiteral("dictated words"));
    menuItem(QStringLiteral("Cut"))->trigger();
    EXPECT_EQ(field.text(), QString());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("dictated words"));
    menuItem(QStringLiteral("Undo"))->trigger();
    EXPECT_EQ(field.text(), QStringLiteral("dictated words"));
    field.end(false);
    menuItem(QStringLiteral("Paste"))->trigger();
    EXPECT_EQ(field.text(), QStringLiteral("dictated wordsdictated words"));
}
