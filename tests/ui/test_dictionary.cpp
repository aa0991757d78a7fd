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
    int selectedRow()
    {
        const QModelIndexList rows = page().table()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }

    std::unique_ptr<DictionaryViewController> m_page;
};

} // namespace

TEST_F(DictionaryPageTest, theCountTheEmptyLineAndTheColumnsFollowTheDictionary)
{
    seed({});
    EXPECT_FALSE(page().countLabel()->isVisible());
    EXPECT_TRUE(page().emptyLabel()->isVisible());
    EXPECT_EQ(page().emptyLabel()->text(), QStringLiteral("No words yet"));
    EXPECT_FALSE(page().table()->isVisible());
    EXPECT_FALSE(page().addButton()->isEnabled());
    EXPECT_FALSE(page().deleteButton()->isEnabled());

    typeEntry(QStringLiteral("cube control"), QStringLiteral("kubectl"));
    QTest::keyClick(page().replacementField(), Qt::Key_Return);
    EXPECT_EQ(page().countLabel()->text(), QStringLiteral("1 entry"));
    EXPECT_FALSE(page().emptyLabel()->isVisible());
    EXPECT_EQ(row(0), (QStringList{QStringLiteral("cube control"), QStringLiteral("kubectl"), QStringLiteral("Manual"),
                                   QString()}))
        << "no count for an entry typed in and never learned";
    EXPECT_TRUE(page().heardField()->text().isEmpty());
    EXPECT_TRUE(page().replacementField()->text().isEmpty());
    EXPECT_FALSE(page().addButton()->isEnabled());
    EXPECT_EQ(page().focusWidget(), page().heardField()) << "ready for the next entry";

    model->learn(QStringLiteral("jon"), QStringLiteral("John"), true);
    model->notifyChanged();
    EXPECT_EQ(page().countLabel()->text(), QStringLiteral("2 entries"));
    EXPECT_EQ(cell(0, 2), QStringLiteral("Automatic"));
}

TEST_F(DictionaryPageTest, addingNeedsBothFieldsAndRefusesTooLongSpellings)
{
    seed({}, {entry(QStringLiteral("teh"), QStringLiteral("the"), true, 3)});
    typeEntry(QStringLiteral("   "), QStringLiteral("Spelling"));
    EXPECT_FALSE(page().addButton()->isEnabled());
    QTest::keyClick(page().replacementField(), Qt::Key_Return);
    EXPECT_EQ(model->dictionary().size(), 1) << "Return does nothing while a field is blank";
    EXPECT_EQ(page().replacementField()->text(), QStringLiteral("Spelling"));

    typeEntry(QStringLiteral("long one"), QString(10000, QLatin1Char('x')));
    EXPECT_FALSE(page().addButton()->isEnabled());
    QTest::keyClick(page().replacementField(), Qt::Key_Return);
    EXPECT_EQ(model->dictionary().size(), 1) << "too long";
    EXPECT_EQ(page().replacementField()->text().size(), 10000) << "what was typed stays to be shortened";
    EXPECT_TRUE(page().entryProblem()->isVisible());
    EXPECT_TRUE(page().entryProblem()->text().contains(QStringLiteral("at most 100")));
}

TEST_F(DictionaryPageTest, theSelectionSurvivesOtherChangesAndRemoveTakesTheSelectedEntry)
{
    seed({}, {entry(QStringLiteral("post gress"), QStringLiteral("Postgres"), true),
              entry(QStringLiteral("cube control"), QStringLiteral("kubectl"), false)});
    page().table()->selectRow(1);
    EXPECT_TRUE(page().deleteButton()->isEnabled());

    QSignalSpy resets(page().table()->model(), &QAbstractItemModel::modelReset);
    notifyNothing();
    EXPECT_EQ(resets.count(), 0) << "nothing changed, nothing reloaded";

    model->applyCorrection(QStringLiteral("call Jon now"), QStringLiteral("call John now")); // learned elsewhere
    ASSERT_EQ(model->dictionary().size(), 3);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(selectedRow(), 2) << "the selected entry stays selected where it moved";
    EXPECT_EQ(cell(selectedRow(), 0), QStringLiteral("cube control"));

    page().deleteButton()->click();
    EXPECT_EQ(model->dictionary().size(), 2);
    EXPECT_EQ(cell(0, 0), QStringLiteral("Jon"));
    EXPECT_EQ(cell(1, 0), QStringLiteral("post gress"));
    EXPECT_FALSE(page().deleteButton()->isEnabled()) << "no entry is selected any more";
}
