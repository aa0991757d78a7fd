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
using namespace Qt::StringLiterals;
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
    dictate(u"first line\nsecond line"_s);
    ASSERT_EQ(model->history().size(), 1);
    EXPECT_EQ(page().countLabel()->text(), u"1 dictation"_s);
    EXPECT_FALSE(page().emptyLabel()->isVisible());
    EXPECT_EQ(selectedRow(), 0);
    EXPECT_EQ(page().editor()->toPlainText(), u"first line\nsecond line"_s);
    EXPECT_FALSE(page().editor()->isReadOnly());
    const TranscriptRecord &record = model->history().first();
    EXPECT_TRUE(page().detailLabel()->text().endsWith(u" · "_s + record.applicationName));
    EXPECT_EQ(page().detailLabel()->toolTip(), record.formatter);
    EXPECT_EQ(page().table()->model()->index(0, 0).data().toString(), u"first line second line"_s)
        << "the row shows the text on one line";
    EXPECT_FALSE(page().saveButton()->isEnabled());
    for (QPushButton *button : {page().copyButton(), page().deleteButton(), page().clearButton()})
        EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();

    dictate(u"another"_s);
    EXPECT_EQ(page().countLabel()->text(), u"2 dictations"_s);
    page().deleteRecord();
    page().deleteRecord();
    EXPECT_FALSE(page().countLabel()->isVisible());
    EXPECT_TRUE(page().emptyLabel()->isVisible());
    EXPECT_TRUE(page().editor()->toPlainText().isEmpty());
    EXPECT_TRUE(page().editor()->isReadOnly());
    EXPECT_FALSE(page().selectedID().has_value());
    for (QPushButton *button : {page().saveButton(), page().copyButton(), page().deleteButton(), page().clearButton()})
        EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
}

TEST_F(HistoryPageTest, anEditSurvivesEveryOtherNotificationAndLeavingTheDictationSavesIt)
{
    seed({u"newest words"_s, u"call Jon about the plan"_s});
    choose(1);
    EXPECT_EQ(page().editor()->toPlainText(), u"call Jon about the plan"_s);
    type(u"call John about the plan"_s);
    EXPECT_TRUE(page().isDirty());
    EXPECT_EQ(page().changeLabel()->text(), u"Unsaved"_s);
    EXPECT_TRUE(page().saveButton()->isEnabled());

    // Level reports, ticks and a whole new dictation leave the edit alone.
    notifyNothing();
    scheduler.advanceSeconds(3);
    dictate(u"arrives meanwhile"_s);
    ASSERT_EQ(model->history().size(), 3);
    EXPECT_EQ(selectedRow(), 2) << "the edited dictation stays selected where it moved";
    EXPECT_EQ(page().editor()->toPlainText(), u"call John about the plan"_s);
    EXPECT_EQ(page().changeLabel()->text(), u"Unsaved"_s);
    EXPECT_EQ(output(2), u"call Jon about the plan"_s) << "nothing saved yet";

    choose(0);
    EXPECT_EQ(output(2), u"call John about the plan"_s) << "leaving the edited dictation saves it";
    EXPECT_EQ(page().editor()->toPlainText(), output(0));
    EXPECT_FALSE(page().isDirty());
    EXPECT_EQ(model->dictionary().size(), 1) << "and learns from it (what: the model's test)";
}

TEST_F(HistoryPageTest, saveRefusesBlankTextCopyTakesTheTextAsItStandsDeleteSelectsTheFirstRemainingAndClearingAsks)
{
    seed({u"send it to Jon"_s, u"two"_s, u"three"_s}, {entry(u"teh"_s, u"the"_s, true)});
    type(u"  \n  "_s);
    page().saveCorrection();
    EXPECT_EQ(output(0), u"send it to Jon"_s);
    EXPECT_EQ(page().changeLabel()->text(), u"Unsaved"_s);
    EXPECT_TRUE(page().saveButton()->isEnabled());

    type(u"send it to John"_s);
    page().copyResult();
    EXPECT_EQ(QApplication::clipboard()->text(), u"send it to John"_s) << "the unsaved text is copied";
    page().saveCorrection();
    EXPECT_EQ(output(0), u"send it to John"_s);
    EXPECT_EQ(page().changeLabel()->text(), u"Saved. Learned: Jon → John"_s);
    EXPECT_FALSE(page().saveButton()->isEnabled());

    model->setPreferences(Preferences{.autoLearn = false});
    type(u"send it to Johnny"_s);
    page().saveCorrection();
    EXPECT_EQ(page().changeLabel()->accessibleDescription(), u"Automatic learning is off"_s);

    choose(2);
    page().deleteRecord();
    EXPECT_EQ(model->history().size(), 2);
    EXPECT_EQ(selectedRow(), 0);
    EXPECT_EQ(page().editor()->toPlainText(), u"send it to Johnny"_s);

    page().clearHistory();
    auto *confirmation = page().findChild<QMessageBox *>(u"OrvantaClearHistory"_s);
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(confirmation->windowModality(), Qt::WindowModal);
    EXPECT_EQ(confirmation->defaultButton(), confirmation->escapeButton()) << "Return keeps the history";

    confirmation->escapeButton()->click();
    EXPECT_FALSE(confirmation->isVisible());
    EXPECT_EQ(model->history().size(), 2) << "cancelled";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the answered question is gone
    page().clearHistory();
    confirmation = page().findChild<QMessageBox *>(u"OrvantaClearHistory"_s);
    ASSERT_NE(confirmation, nullptr);
    confirmation->buttons().last()->click();
    EXPECT_TRUE(model->history().isEmpty());
    EXPECT_EQ(model->dictionary().size(), 2) << "the dictionary is kept";
    EXPECT_TRUE(page().emptyLabel()->isVisible());

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_page->hide();
    page().clearHistory();
    EXPECT_TRUE(page().findChildren<QMessageBox *>().isEmpty()) << "a page in no visible window asks nothing";
}
