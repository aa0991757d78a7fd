#include "tests/support/QtPrinters.h"
#include "tests/ui/UiHarness.h"
#include "ui/MainWindowController.h"
#include "ui/OnboardingViewController.h"
#include "ui/SidebarViewController.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QAccessible>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QToolBar>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;
using ui::MainWindowController;

// Started at login before setup, the window shows the flow too; once set up, a login start shows only the tray
// icon and any other start the window: the real application's tests on the private desktop.
TEST_F(WindowsTest, theWindowShowsTheFlowWithoutToolbarUntilSetupIsCompleteThenThePages)
{
    launch(/*launchedAtLogin=*/true);
    MainWindowController &window = *delegate->mainWindow();
    EXPECT_TRUE(window.isVisible());
    ASSERT_TRUE(window.showingOnboarding());
    EXPECT_FALSE(window.mainToolbar()->isVisible());
    ASSERT_NE(window.onboardingController(), nullptr);
    EXPECT_TRUE(window.onboardingController()->isVisible());

    window.onboardingController()->controls().laterButton->click();
    EXPECT_FALSE(window.showingOnboarding());
    EXPECT_TRUE(window.mainToolbar()->isVisible());
    EXPECT_FALSE(window.onboardingController()->isVisible());
    EXPECT_TRUE(window.currentPage()->isVisible());
    EXPECT_EQ(window.focusWidget(), window.sidebar()->table()) << "the sidebar takes the keyboard";

    model->resetOnboarding();
    EXPECT_TRUE(window.showingOnboarding());
    EXPECT_FALSE(window.mainToolbar()->isVisible());
}

TEST_F(WindowsTest, theRecordButtonFollowsThePhaseAndTheConfiguredKeys)
{
    speech->startAnswer.reset();
    launch();
    model->completeOnboarding();
    const MainWindowController &window = *delegate->mainWindow();
    QPushButton &record = *window.recordButton();
    EXPECT_EQ(record.toolTip(), u"Dictate (Ctrl+Alt+Space)"_s);
    EXPECT_TRUE(record.accessibleDescription().startsWith(u"Hold Right Ctrl to speak"_s));

    record.click();
    speechFake->startReplies.last().resolve(FakeSpeechEngine::StartResult());
    scheduler.runPending();
    EXPECT_EQ(record.accessibleName(), u"Finish dictation"_s);
    EXPECT_EQ(window.recordSymbol(), u"stop.fill"_s);
    model->setShortcutNames({u"Right Alt"_s, u"Ctrl+F9"_s});
    EXPECT_EQ(record.toolTip(), u"Finish (Ctrl+F9)"_s);
}

TEST_F(WindowsTest, pagesAreSelectedOnceAndTheSidebarAlwaysKeepsARow)
{
    launch();
    model->completeOnboarding();
    MainWindowController &window = *delegate->mainWindow();
    ui::SidebarViewController &sidebar = *window.sidebar();
    ASSERT_EQ(sidebar.table()->count(), 4) << "their names: the first-run desktop test";

    sidebar.table()->setCurrentRow(1);
    EXPECT_EQ(window.selectedPage(), 1);
    EXPECT_EQ(window.currentPage(), window.pages().at(1));
    sidebar.table()->clearSelection();
    EXPECT_EQ(sidebar.table()->selectedItems().size(), 1) << "an empty selection is not allowed";
    EXPECT_EQ(sidebar.table()->currentRow(), 1);

    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(sidebar.table());
    ASSERT_NE(list->tableInterface(), nullptr);
    list->tableInterface()->selectRow(2); // as a screen reader selects a row
    EXPECT_EQ(window.selectedPage(), 2);
    EXPECT_EQ(sidebar.table()->selectedItems().size(), 1);
    sidebar.table()->setCurrentRow(1);

    window.select(9);
    EXPECT_EQ(window.selectedPage(), 1);
    window.select(3);
    EXPECT_EQ(sidebar.table()->currentRow(), 3);
    EXPECT_EQ(window.currentPage()->accessibleName(), u"Settings"_s);
    QCoreApplication::processEvents(); // the toolbar lays its items out
    EXPECT_TRUE(window.recordButton()->isVisibleTo(&window));
    window.select(0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.recordButton()->isVisibleTo(&window)) << "the Overview has its own Dictate button";
}

TEST_F(WindowsTest, theFrameFitsItsScreenGoesHalfWidthComesBackWhereTheUserLeftItAndSaysHowWithoutATray)
{
    trayAvailable = false;
    launch();
    MainWindowController &window = *delegate->mainWindow();
    QLabel *line = window.noTrayLine();
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->text(), u"No tray on this desktop: start Orvanta again to bring this window back."_s);
    trayAvailable = true;
    delegate->showMainWindow();
    EXPECT_FALSE(line->isVisible());

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.marginsRemoved(MainWindowController::assumedDecoration).contains(window.geometry()))
        << "the 1000 × 720 default is cut to the " << screen.width() << " × " << screen.height() << " screen";
    EXPECT_LE(window.minimumSizeHint().width(), 640) << "the pages let the window be tiled to half a screen";
    window.resize(620, 500);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.sidebar()->isHidden()) << "a narrow window puts the sidebar away";
    window.resize(790, 500);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.sidebar()->isHidden());

    using Frame = std::array<QRect, 3>; // the frame, the screen's area, the frame kept
    for (const auto &[frame, area, expected] : {
             Frame{{{140, 40, 1000, 720}, {0, 0, 1280, 746}, {140, 32, 1000, 712}}},   // too tall: the bottom stays
             Frame{{{1000, 100, 800, 600}, {0, 0, 1280, 1024}, {478, 100, 800, 600}}}, // moved in from the right
             Frame{{{1300, 0, 800, 600}, {1280, 0, 1366, 768}, {1300, 32, 800, 600}}}, // on the second screen
             Frame{{{10, 10, 200, 100}, {0, 0, 1280, 776}, {10, 32, 600, 460}}},       // never below the minimum
         }) {
        SCOPED_TRACE(frame.x());
        EXPECT_EQ(MainWindowController::clampedFrame(frame, area, MainWindowController::minimumFrame,
                                                     MainWindowController::assumedDecoration),
                  expected);
    }

    window.resize(700, 500);
    window.move(40, 40);
    const QRect left = window.geometry();
    window.close();
    MainWindowController again(*model, settingsPath(), &choices);
    EXPECT_EQ(again.geometry(), left);
}

TEST(ScrollingPage, shortContentStaysAtTheTop)
{
    QWidget page;
    page.resize(400, 600);
    auto *content = new QLabel(u"One short line"_s);
    ui::scrollingPage(&page, content, 28);
    page.show();
    EXPECT_EQ(content->mapTo(&page, QPoint(0, 0)).y(), ui::pixelsForPoints(28));
    EXPECT_LT(content->height(), 100);
}

TEST(Symbols, everyDrawingRendersAndEveryNameTheWindowsUseHasOne)
{
    const QStringList drawings = QDir(u":/symbols"_s).entryList({u"*.svg"_s});
    ASSERT_GE(drawings.size(), 15);
    for (const QString &file : drawings) {
        const QImage image = ui::symbols::pixmap(file.chopped(4), Qt::black, 32).toImage();
        int inked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                inked += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(inked, 20) << file.toStdString() << " draws nothing";
    }
    const QStringList used =
        ui::SidebarViewController::symbols() +
        u"mic stop.fill sidebar.left lock.shield circle checkmark.circle.fill waveform.circle.fill mic.fill"_s.split(
            u' ');
    for (const QString &name : used)
        EXPECT_TRUE(ui::symbols::exists(name)) << name.toStdString();
}
