#include "tests/support/QtPrinters.h"
#include "tests/ui/UiHarness.h"
#include "ui/FloatingRecordingPanel.h"
#include "ui/LevelWaveformView.h"
#include "ui/MainWindowController.h"
#include "ui/RecordingPanel.h"
#include "ui/SymbolView.h"

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;
using ui::LevelWaveformView;
using ui::RecordingPanel;

namespace {

class RecordingPanelTest : public WindowsTest
{
protected:
    RecordingPanel &panel() { return *delegate->recordingPanel(); }
    void launchSetUp()
    {
        make();
        model->completeOnboarding();
        launch();
    }
};

} // namespace

TEST_F(RecordingPanelTest, theClockReadsTheSecondsAndWhileProcessingTheMeterIsFlatFinishIsOffAndCancelStaysOn)
{
    launchSetUp();
    startRecording();
    scheduler.advanceSeconds(75.9);
    EXPECT_EQ(panel().elapsedLabel()->text(), u"1:15"_s);
    EXPECT_EQ(panel().elapsedLabel()->accessibleName(), u"75 seconds"_s);

    EXPECT_EQ(RecordingPanel::elapsedText(3600).first, u"60:00"_s) << "minutes are not capped at 59";
    EXPECT_EQ(RecordingPanel::elapsedText(59.99), std::make_pair(u"0:59"_s, 59));
    EXPECT_EQ(RecordingPanel::elapsedText(-3).first, u"0:00"_s);
    EXPECT_EQ(RecordingPanel::elapsedText(std::nan("")).first, u"0:00"_s);

    // While processing the meter is flat, Finish is off and Cancel stays on.
    speechFake->reportLevel(0.8f);
    EXPECT_FLOAT_EQ(panel().waveform()->level(), 0.8f);
    EXPECT_TRUE(panel().finishButton()->isEnabled());
    EXPECT_EQ(panel().icon()->symbol(), u"mic.fill"_s);

    panel().finishButton()->click();
    ASSERT_EQ(model->phase(), RecordingPhase::processing);
    speechFake->reportLevel(0.9f); // a late report from the stopped audio
    EXPECT_FALSE(panel().shortcutLabel()->isVisible());
    EXPECT_EQ(panel().icon()->symbol(), u"sparkles"_s);
    EXPECT_EQ(panel().waveform()->level(), 0.0f);
    for (const QRectF &bar : LevelWaveformView::bars(QSizeF(401, 30), panel().waveform()->level(), false))
        EXPECT_DOUBLE_EQ(bar.height(), 4.0) << "a flat meter shows its stubs";
    EXPECT_FALSE(panel().finishButton()->isEnabled());
    EXPECT_EQ(panel().finishButton()->text(), u"Finish"_s);
    EXPECT_TRUE(panel().cancelButton()->isEnabled());

    panel().cancelButton()->click();
    EXPECT_EQ(model->phase(), RecordingPhase::idle);
    EXPECT_EQ(model->status(), u"Cancelled"_s);
    EXPECT_FALSE(panel().isVisible()) << "the delegate hides the panel at idle";
}

TEST_F(RecordingPanelTest, aLongLiveTranscriptShowsItsLast150CharactersWithTheNewestWordsInView)
{
    launchSetUp();
    startRecording();
    const QString exact = u"word "_s.repeated(30);
    speechFake->reportPartial(exact);
    EXPECT_EQ(panel().transcript(), exact);

    const QString longer = exact + u"Z"_s;
    speechFake->reportPartial(longer);
    EXPECT_EQ(panel().transcript(), u"…"_s + longer.right(150));

    const QString emoji = u"\U0001F600"_s; // two UTF-16 units
    speechFake->reportPartial(emoji + exact.chopped(1));
    EXPECT_FALSE(panel().transcript().at(1).isLowSurrogate()) << "never half a character";

    // Two lines hold less than 150 characters: the label keeps the end, where the newest words are.
    speechFake->reportPartial(u"word "_s.repeated(120) + u"newest"_s);
    const QLabel &label = *panel().transcriptLabel();
    EXPECT_TRUE(label.text().startsWith(u"…"_s));
    EXPECT_TRUE(label.text().endsWith(u" newest"_s)) << label.text().toStdString();
    const QFontMetrics metrics(label.font());
    EXPECT_LE(metrics.boundingRect(QRect(0, 0, label.width(), 100000), Qt::TextWordWrap, label.text()).height(),
              2 * metrics.lineSpacing());
}

// The drawing's exact curve is its own; what must hold is that the bars fill the width, stay inside the
// height, grow with the level, and stand still with reduced motion.
TEST(LevelWaveformView, theBarsFillTheViewAndFollowTheLevel)
{
    const QList<QRectF> bars = LevelWaveformView::bars(QSizeF(401, 30), 0.5f, false);
    ASSERT_EQ(bars.size(), 45);
    EXPECT_DOUBLE_EQ(bars.first().left(), 0);
    EXPECT_DOUBLE_EQ(bars.last().right(), 401);
    const QList<QRectF> loud = LevelWaveformView::bars(QSizeF(401, 30), 7.0f, false);
    EXPECT_EQ(loud, LevelWaveformView::bars(QSizeF(401, 30), 1.0f, false)) << "a level above 1 counts as 1";
    for (int i = 0; i < 45; ++i) {
        EXPECT_GT(loud.at(i).height(), bars.at(i).height()) << i;
        EXPECT_TRUE(QRectF(0, 0, 401, 30).contains(loud.at(i))) << i;
    }
    EXPECT_DOUBLE_EQ(LevelWaveformView::bars(QSizeF(100, 30), 0, false).at(0).width(), 2) << "never thinner than 2";
    for (const QRectF &bar : LevelWaveformView::bars(QSizeF(401, 30), 0.5f, true))
        EXPECT_EQ(bar.size().height(), LevelWaveformView::bars(QSizeF(401, 30), 0.5f, true).first().height());
}

TEST_F(RecordingPanelTest, thePanelShowsWithoutTheFocusAtTheBottomOfThePointersScreenEachTimeAndOnlyWhereItMay)
{
    int prepared = 0;
    bool mayShow = true;
    panelPlatform.prepareWindow = [&](QWidget &) { ++prepared; };
    panelPlatform.mayShow = [&] { return mayShow; };
    panelPlatform.reduceMotion = [] { return std::optional<bool>(true); };
    launchSetUp();
    ui::MainWindowController &window = *delegate->mainWindow();
    QApplication::setActiveWindow(&window);
    EXPECT_FALSE(panel().isVisible());

    startRecording();
    ui::FloatingRecordingPanel &shown = *panel().window();
    ASSERT_TRUE(panel().isVisible());
    EXPECT_EQ(QApplication::activeWindow(), &window) << "the panel never takes the focus";
    EXPECT_TRUE(shown.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(shown.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(shown.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_FALSE(shown.isTranslucent()) << "no compositing manager: square and opaque";
    EXPECT_TRUE(panel().waveform()->reduceMotion());

    const QRect area = QGuiApplication::screenAt(QCursor::pos())->availableGeometry();
    const QRect home = shown.geometry();
    EXPECT_EQ(home.bottom(), area.bottom() - 34);
    EXPECT_LE(std::abs(home.center().x() - area.center().x()), 1);

    QTest::mousePress(&shown, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(&shown, QPoint(5, 5) + QPoint(-100, -200));
    QTest::mouseRelease(&shown, Qt::LeftButton, {}, QPoint(5, 5) + QPoint(-100, -200));
    EXPECT_EQ(shown.pos(), home.topLeft() + QPoint(-100, -200)) << "dragged by its background";

    panel().cancel();
    ASSERT_FALSE(panel().isVisible());
    startRecording();
    EXPECT_EQ(shown.geometry(), home) << "every showing starts at the bottom centre";
    EXPECT_EQ(prepared, 1);

    // Where a window would take the focus from the field (Wayland without layer-shell), the panel never shows.
    panel().cancel();
    mayShow = false;
    startRecording();
    EXPECT_FALSE(panel().isVisible());
    EXPECT_EQ(QApplication::activeWindow(), &window);
}

TEST_F(RecordingPanelTest, eachShowingIsAnnouncedAsANotificationAndTheShortcutLineNamesTheKeyThatFinishes)
{
    panelPlatform.compositing = [] { return true; };
    launchSetUp();
    startRecording();
    QAccessibleInterface *announced = QAccessible::queryAccessibleInterface(panel().window());
    EXPECT_EQ(announced->role(), QAccessible::Notification);
    EXPECT_EQ(announced->text(QAccessible::Name), u"Orvanta dictation"_s);
    EXPECT_EQ(announced->text(QAccessible::Description), u"Orvanta. Preparing…"_s);
    EXPECT_TRUE(panel().window()->isTranslucent());
    EXPECT_TRUE(panel().window()->testAttribute(Qt::WA_TranslucentBackground));

    QAccessibleInterface *meter = QAccessible::queryAccessibleInterface(panel().waveform());
    EXPECT_EQ(meter->text(QAccessible::Name), u"Microphone level"_s);
    speechFake->reportLevel(0.25f);
    ASSERT_NE(meter->valueInterface(), nullptr);
    EXPECT_DOUBLE_EQ(meter->valueInterface()->currentValue().toDouble(), 0.25);

    panel().cancel();
    EXPECT_TRUE(announced->text(QAccessible::Description).isEmpty()) << "no stale notice after the dictation";
    model->fnBegin();
    scheduler.runPending();
    EXPECT_EQ(panel().announcement(), u"Orvanta. Preparing…"_s);
    EXPECT_EQ(announced->text(QAccessible::Description), panel().announcement());

    QLabel &line = *panel().shortcutLabel();
    EXPECT_EQ(line.text(), u"Release Right Ctrl to finish"_s);
    // Keys chosen while the panel shows are named at once.
    model->setShortcutNames({u"Right Alt"_s, u"Ctrl+F9"_s});
    EXPECT_EQ(line.text(), u"Release Right Alt to finish"_s);
    EXPECT_TRUE(panel().finishButton()->toolTip().contains(u"Ctrl+F9"_s));
    EXPECT_TRUE(panel().finishButton()->accessibleDescription().contains(u"Ctrl+F9"_s));
    model->cancelDictation();
    model->toggle();
    scheduler.runPending();
    EXPECT_EQ(line.accessibleName(), u"Ctrl+F9 to finish"_s);
}
