#include "tests/support/QtPrinters.h"
#include "tests/ui/PagesHarness.h"
#include "ui/HistoryViewController.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace orv;
using namespace orv::test;
using ui::HistoryViewController;

namespace {

class HistoryPageTest : public PagesTest
{
protected:
    HistoryViewController &page() { return shownOnce(m_page, {900, 700}, *model); }
    int selectedRow() { return page().table()->selectionModel()->currentIndex().row(); }
    // A click on a row of the list.
    void choose(int row)
    {
        page().table()->selectionModel()->setCurrentIndex(page().table()->model()->index(row, 0),
                                                          QItemSelectionModel::ClearAndSelect);
    }
    void type(const QString &text) { page().editor()->setPlainText(text); }
    QString output(qsizetype row) const { return model->history().at(row).output; }

    std::unique_ptr<HistoryViewController> m_page;
};

} // namespace

TEST_F(HistoryPageTest, theCountTheEmptyListAndTheButtonsFollowTheHistory)
{
    seed({});
    dictate(QStringLiteral("first line\nsecond line"));
    ASSERT_EQ(model->history().size(), 1);
    EXPECT_EQ(page().countLabel()->text(), QStringLiteral("1 dictation"));
    EXPECT_FALSE(page().emptyLabel()->isVisible());
    EXPECT_TRUE(page().clearButton()->isEnabled());
    EXPECT_EQ(selectedRow(), 0);
    EXPECT_EQ(page().editor()->toPlainText(), QStringLiteral("first line\nsecond line"));
    EXPECT_FALSE(page().editor()->isReadOnly());
    const TranscriptRecord &record = model->history().first();
    EXPECT_TRUE(page().detailLabel()->text().endsWith(QStringLiteral(" · ") + record.applicationName));
    EXPECT_EQ(page().detailLabel()->toolTip(), record.formatter);
    EXPECT_EQ(page().table()->model()->index(0, 0).data().toString(), QStringLiteral("first line second line"))
        << "the row shows the text on one line";
    EXPECT_FALSE(page().saveButton()->isEnabled());
    EXPECT_TRUE(page().copyButton()->isEnabled());
    EXPECT_TRUE(page().deleteButton()->isEnabled());

    dictate(QStringLiteral("another"));
    EXPECT_EQ(page().countLabel()->text(), QStringLiteral("2 dictations"));
    page().deleteRecord();
    page().deleteRecord();
    EXPECT_FALSE(page().countLabel()->isVisible());
    EXPECT_TRUE(page().emptyLabel()->isVisible());
    EXPECT_EQ(page().emptyLabel()->text(), QStringLiteral("No dictations"));
    EXPECT_TRUE(page().editor()->toPlainText().isEmpty());
    EXPECT_TRUE(page().editor()->isReadOnly());
    EXPECT_FALSE(page().selectedID().has_value());
    for (QPushButton *button : {page().saveButton(), page().copyButton(), page().deleteButton(), page().clearButton()})
        EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
}

TEST_F(HistoryPageTest, anEditSurvivesEveryOtherNotificationAndLeavingTheDictationSavesIt)
{
    seed({QStringLiteral("newest words"), QStringLiteral("call Jon about the plan")});
    choose(1);
    EXPECT_EQ(page().editor()->toPlainText(), QStringLiteral("call Jon about the plan"));
    type(QStringLiteral("call John about the plan"));
    EXPECT_TRUE(page().isDirty());
    EXPECT_EQ(page().changeLabel()->text(), QStringLiteral("Unsaved"));
    EXPECT_TRUE(page().saveButton()->isEnabled());

    // Level reports, ticks and a whole new dictation leave the edit alone.
    notifyNothing();
    scheduler.advanceSeconds(3);
    dictate(QStringLiteral("arrives meanwhile"));
    ASSERT_EQ(model->history().size(), 3);
    EXPECT_EQ(selectedRow(), 2) << "the edited dictation stays selected where it moved";
    EXPECT_EQ(page().editor()->toPlainText(), QStringLiteral("call John about the plan"));
    EXPECT_EQ(page().changeLabel()->text(), QStringLiteral("Unsaved"));
    EXPECT_EQ(output(2), QStringLiteral("call Jon about the plan")) << "nothing saved yet";

    choose(0);
    EXPECT_EQ(output(2), QStringLiteral("call John about the plan")) << "leaving the edited dictation saves it";
    EXPECT_EQ(page().editor()->toPlainText(), output(0));
    EXPECT_FALSE(page().isDirty());
    EXPECT_EQ(model->dictionary().size(), 1) << "and learns from it (what: the model's test)";
}

TEST_F(HistoryPageTest, saveRefusesBlankTextAndCopyTakesTheTextAsItStands)
{
    seed({QStringLiteral("send it to Jon")});
    type(QStringLiteral("  \n  "));
    page().saveCorrection();
    EXPECT_EQ(output(0), QStringLiteral("send it to Jon"));
    EXPECT_EQ(page().changeLabel()->text(), QStringLiteral("Unsaved"));
    EXPECT_TRUE(page().saveButton()->isEnabled());

    type(QStringLiteral("send it to John"));
    page().copyResult();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("send it to John")) << "the unsaved text is copied";
    page().saveCorrection();
    EXPECT_EQ(output(0), QStringLiteral("send it to John"));
    EXPECT_EQ(page().changeLabel()->text(), QStringLiteral("Saved. Learned: Jon → John"));
    EXPECT_FALSE(page().saveButton()->isEnabled());

    Preferences preferences = model->preferences();
    preferences.autoLearn = false;
    model->setPreferences(preferences);
    type(QStringLiteral("send it to Johnny"));
    page().saveCorrection();
    EXPECT_EQ(page().changeLabel()->accessibleDescription(), QStringLiteral("Automatic learning is off"));
}

TEST_F(HistoryPageTest, deleteSelectsTheFirstRemainingAndClearingAsksFirstInTheWindow)
{
    seed({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")},
         {entry(QStringLiteral("teh"), QStringLiteral("the"), true)});
    choose(2);
    page().deleteRecord();
    EXPECT_EQ(model->history().size(), 2);
    EXPECT_EQ(selectedRow(), 0);
    EXPECT_EQ(page().editor()->toPlainText(), QStringLiteral("one"));

    page().clearHistory();
    auto *confirmation = page().findChild<QMessageBox *>(QStringLiteral("OrvantaClearHistory"));
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(confirmation->windowModality(), Qt::WindowModal);
    EXPECT_EQ(confirmation->defaultButton(), confirmation->escapeButton()) << "Return keeps the history";

    confirmation->escapeButton()->click();
    EXPECT_FALSE(confirmation->isVisible());
    EXPECT_EQ(model->history().size(), 2) << "cancelled";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the answered question is gone
    page().clearHistory();
    confirmation = page().findChild<QMessageBox *>(QStringLiteral("OrvantaClearHistory"));
    ASSERT_NE(confirmation, nullptr);
    confirmation->buttons().last()->click();
    EXPECT_TRUE(model->history().isEmpty());
    EXPECT_EQ(model->dictionary().size(), 1);
    EXPECT_TRUE(page().emptyLabel()->isVisible());

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_page->hide();
    page().clearHistory();
    EXPECT_TRUE(page().findChildren<QMessageBox *>().isEmpty()) << "a page in no visible window asks nothing";
}
