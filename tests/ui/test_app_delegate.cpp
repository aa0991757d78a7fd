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
using namespace Qt::StringLiterals;

namespace {

class AppDelegateTest : public WindowsTest
{
protected:
    QAction *menuItem(const QString &title) const { return item(delegate->mainWindow()->menuBar()->actions(), title); }
    QAction *trayItem(const QString &title) const { return item(delegate->statusMenu()->actions(), title); }
    static QAction *item(const QList<QAction *> &actions, const QString &title)
    {
        QAction *action = findAction(actions, title);
        EXPECT_NE(action, nullptr) << title.toStdString();
        return action;
    }
};

} // namespace

TEST_F(AppDelegateTest, theRecordItemsFollowThePhaseAndWaitForSetup)
{
    speech->startAnswer.reset(); // the engine answers when the test says
    launch();
    QAction *record = delegate->recordMenuItem();
    EXPECT_EQ(record->text(), u"Start Recording"_s);
    EXPECT_FALSE(record->isEnabled()) << "before setup";
    EXPECT_EQ(record->shortcut().toString(), u"Ctrl+Alt+Space"_s);
    EXPECT_EQ(menuItem(u"Start / Stop Recording"_s)->shortcut().toString(), u"Ctrl+Alt+Space"_s);
    EXPECT_EQ(menuItem(u"Cancel Recording"_s)->shortcut(), QKeySequence(Qt::Key_Escape));

    delegate->mainWindow()->hide();
    menuItem(u"Start / Stop Recording"_s)->trigger();
    EXPECT_EQ(model->phase(), RecordingPhase::idle) << "before setup the item shows the window instead";
    EXPECT_TRUE(delegate->mainWindow()->isVisible());

    model->completeOnboarding();
    EXPECT_TRUE(record->isEnabled());
    record->trigger();
    EXPECT_EQ(model->phase(), RecordingPhase::preparing);

    speechFake->startReplies.last().resolve(FakeSpeechEngine::StartResult());
    scheduler.runPending();
    EXPECT_EQ(record->text(), u"Stop Recording"_s);
    EXPECT_EQ(delegate->statusItem()->toolTip(), u"Orvanta — Listening…"_s);
    record->trigger(); // finishes; the engine's transcript is pending
    EXPECT_FALSE(record->isEnabled()) << "nothing to do while processing";
    trayItem(u"Cancel Recording"_s)->trigger();
    EXPECT_EQ(model->phase(), RecordingPhase::idle);
}

TEST_F(AppDelegateTest, cancelWithNothingToCancelLeavesTheLastDictationsWatchAlone)
{
    launch();
    model->completeOnboarding();
    dictate(u"hello there"_s);
    ASSERT_EQ(model->status(), u"Inserted"_s);
    deliveryFake->calls.clear();
    menuItem(u"Cancel Recording"_s)->trigger(); // Escape in the main window
    trayItem(u"Cancel Recording"_s)->trigger();
    EXPECT_EQ(model->status(), u"Inserted"_s);
    EXPECT_FALSE(deliveryFake->calls.contains(u"stopObservation"_s))
        << "the edits of the inserted text are still watched for corrections";

    startRecording();
    menuItem(u"Cancel Recording"_s)->trigger();
    EXPECT_EQ(model->phase(), RecordingPhase::idle);
    EXPECT_EQ(model->status(), u"Cancelled"_s);
}

TEST_F(AppDelegateTest, formattingSavesTheModeAtOnceAndShowsIt)
{
    launch();
    model->completeOnboarding();
    trayItem(u"Structured"_s)->trigger();
    EXPECT_TRUE(trayItem(u"Structured"_s)->isChecked()) << "radio items showing the mode in use";
    EXPECT_FALSE(trayItem(u"Clean"_s)->isChecked());
    EXPECT_EQ(savedLibrary().preferences.mode, DictationMode::structured);
    delegate->chooseMode(u"structured"_s); // not a mode's raw value
    delegate->chooseMode(u"Loud"_s);
    EXPECT_EQ(savedLibrary().preferences.mode, DictationMode::structured);
    trayItem(u"Verbatim"_s)->trigger();
    EXPECT_EQ(savedLibrary().preferences.mode, DictationMode::verbatim);
}

TEST_F(AppDelegateTest, menusFollowLinuxConventionsTheFirstCloseSaysWhereOrvantaWentAndShowSetupStartsOver)
{
    launch();
    QStringList menus;
    for (QAction *menu : delegate->mainWindow()->menuBar()->actions())
        menus.append(menu->text());
    EXPECT_EQ(menus, (QStringList{u"&File"_s, u"&Edit"_s, u"&Dictation"_s, u"&Help"_s}));
    EXPECT_EQ(menuItem(u"Quit"_s)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    delegate->mainWindow()->hide();
    menuItem(u"Preferences…"_s)->trigger();
    EXPECT_TRUE(delegate->mainWindow()->isVisible());
    EXPECT_EQ(delegate->mainWindow()->selectedPage(), 0) << "Settings only after setup";

    model->completeOnboarding();
    menuItem(u"Preferences…"_s)->trigger();
    EXPECT_EQ(delegate->mainWindow()->selectedPage(), 3);
    menuItem(u"Close Window"_s)->trigger();
    EXPECT_FALSE(delegate->mainWindow()->isVisible());
    EXPECT_TRUE(delegate->trayNotice().contains(u"Open Orvanta again from its icon"_s));
    trayItem(u"Open Orvanta…"_s)->trigger();
    EXPECT_TRUE(delegate->mainWindow()->isVisible());

    // What going back to setup does to a dictation and to the keys is the model's and the shortcut
    // controller's (their tests); here, that the item goes back and shows the flow from its first page.
    delegate->mainWindow()->hide();
    menuItem(u"Show Setup…"_s)->trigger();
    EXPECT_FALSE(model->onboarding().isComplete());
    EXPECT_TRUE(delegate->mainWindow()->isVisible());
    ASSERT_TRUE(delegate->mainWindow()->showingOnboarding());
    EXPECT_EQ(delegate->mainWindow()->onboardingController()->controls().progress->text(), u"1 of 3"_s);
}

TEST_F(AppDelegateTest, editItemsReachTheFocusedTextField)
{
    launch();
    QLineEdit field(u"dictated words"_s);
    field.show();
    QApplication::setActiveWindow(&field);
    field.setFocus();
    ASSERT_EQ(QApplication::focusWidget(), &field);

    menuItem(u"Select All"_s)->trigger();
    EXPECT_EQ(field.selectedText(), u"dictated words"_s);
    menuItem(u"Cut"_s)->trigger();
    EXPECT_EQ(field.text(), QString());
    EXPECT_EQ(QApplication::clipboard()->text(), u"dictated words"_s);
    menuItem(u"Undo"_s)->trigger();
    EXPECT_EQ(field.text(), u"dictated words"_s);
    field.end(false);
    menuItem(u"Paste"_s)->trigger();
    EXPECT_EQ(field.text(), u"dictated wordsdictated words"_s);
}
