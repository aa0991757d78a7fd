#include "tests/support/QtPrinters.h"
#include "tests/ui/PagesHarness.h"
#include "ui/DictionaryViewController.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;
using ui::DictionaryViewController;

namespace {

class DictionaryPageTest : public PagesTest
{
protected:
    DictionaryViewController &page() { return shownOnce(m_page, {900, 700}, *model); }
    QString cell(int row, int column) { return page().table()->model()->index(row, column).data().toString(); }
    QStringList row(int row) { return {cell(row, 0), cell(row, 1), cell(row, 2), cell(row, 3)}; }
    void typeEntry(const QString &heard, const QString &replacement)
    {
        page().heardField()->setText(heard);
        page().replacementField()->setText(replacement);
    }
    int selectedRow() { return page().table()->selectionModel()->selectedRows().value(0).row(); }

    std::unique_ptr<DictionaryViewController> m_page;
};

} // namespace

TEST_F(DictionaryPageTest, theCountTheEmptyLineAndTheColumnsFollowTheDictionaryAndAddingNeedsBothFieldsShortEnough)
{
    seed({});
    EXPECT_FALSE(page().countLabel()->isVisible());
    EXPECT_TRUE(page().emptyLabel()->isVisible());
    EXPECT_FALSE(page().table()->isVisible());
    EXPECT_FALSE(page().addButton()->isEnabled());
    EXPECT_FALSE(page().deleteButton()->isEnabled());

    typeEntry(u"cube control"_s, u"kubectl"_s);
    QTest::keyClick(page().replacementField(), Qt::Key_Return);
    EXPECT_EQ(page().countLabel()->text(), u"1 entry"_s);
    EXPECT_FALSE(page().emptyLabel()->isVisible());
    EXPECT_EQ(row(0), (QStringList{u"cube control"_s, u"kubectl"_s, u"Manual"_s, QString()}))
        << "no count for an entry typed in and never learned";
    EXPECT_TRUE(page().heardField()->text().isEmpty());
    EXPECT_TRUE(page().replacementField()->text().isEmpty());
    EXPECT_FALSE(page().addButton()->isEnabled());
    EXPECT_EQ(page().focusWidget(), page().heardField()) << "ready for the next entry";

    model->learn(u"jon"_s, u"John"_s, true);
    model->notifyChanged();
    EXPECT_EQ(page().countLabel()->text(), u"2 entries"_s);
    EXPECT_EQ(cell(0, 2), u"Automatic"_s);

    // Adding needs both fields and refuses too long spellings.
    typeEntry(u"   "_s, u"Spelling"_s);
    EXPECT_FALSE(page().addButton()->isEnabled());
    QTest::keyClick(page().replacementField(), Qt::Key_Return);
    EXPECT_EQ(model->dictionary().size(), 2) << "Return does nothing while a field is blank";
    EXPECT_EQ(page().replacementField()->text(), u"Spelling"_s);

    typeEntry(u"long one"_s, QString(10000, u'x'));
    EXPECT_FALSE(page().addButton()->isEnabled());
    QTest::keyClick(page().replacementField(), Qt::Key_Return);
    EXPECT_EQ(model->dictionary().size(), 2) << "too long";
    EXPECT_EQ(page().replacementField()->text().size(), 10000) << "what was typed stays to be shortened";
    EXPECT_TRUE(page().entryProblem()->isVisible());
    EXPECT_TRUE(page().entryProblem()->text().contains(u"at most 100"_s));
}

TEST_F(DictionaryPageTest, theSelectionSurvivesOtherChangesAndRemoveTakesTheSelectedEntry)
{
    seed({}, {entry(u"post gress"_s, u"Postgres"_s, true), entry(u"cube control"_s, u"kubectl"_s, false)});
    page().table()->selectRow(1);
    EXPECT_TRUE(page().deleteButton()->isEnabled());

    QSignalSpy resets(page().table()->model(), &QAbstractItemModel::modelReset);
    notifyNothing();
    EXPECT_EQ(resets.count(), 0) << "nothing changed, nothing reloaded";

    model->applyCorrection(u"call Jon now"_s, u"call John now"_s); // learned elsewhere
    ASSERT_EQ(model->dictionary().size(), 3);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(selectedRow(), 2) << "the selected entry stays selected where it moved";
    EXPECT_EQ(cell(selectedRow(), 0), u"cube control"_s);

    page().deleteButton()->click();
    EXPECT_EQ(model->dictionary().size(), 2);
    EXPECT_EQ(cell(0, 0), u"Jon"_s);
    EXPECT_EQ(cell(1, 0), u"post gress"_s);
    EXPECT_FALSE(page().deleteButton()->isEnabled()) << "no entry is selected any more";
}
