#include "ui/DictionaryViewController.h"

#include "base/PlatformText.h"
#include "core/AppModel.h"
#include "ui/Card.h"
#include "ui/DictionaryTableModel.h"
#include "ui/SymbolView.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace orv::ui {

namespace {

constexpr qreal dictionaryMargin = 28;

struct ColumnSize
{
    qreal initial;
    qreal minimum;
};
constexpr ColumnSize columnSizes[] = {{175, 90}, {185, 90}, {120, 90}, {70, 55}};

} // namespace

DictionaryViewController::DictionaryViewController(AppModel &model, QWidget *parent)
    : QWidget(parent), m_model(model), m_entries(new DictionaryTableModel(this))
{
    setAccessibleName(QStringLiteral("Dictionary"));

    auto *layout = new QVBoxLayout(this);
    const int inset = pixelsForPoints(dictionaryMargin);
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->setSpacing(pixelsForPoints(14));
    auto *titles = new QVBoxLayout;
    titles->setSpacing(pixelsForPoints(2));
    titles->addWidget(label(QStringLiteral("Dictionary"), 26, QFont::Bold));
    m_countLabel = label(QString(), 12, QFont::Normal, Tone::secondary);
    titles->addWidget(m_countLabel);
    layout->addLayout(titles);
    layout->addWidget(buildEntryRow());
    layout->addWidget(buildTable(), 1);

    m_deleteButton = new QPushButton(symbols::icon(QStringLiteral("trash")), QStringLiteral("&Remove"));
    m_deleteButton->setAccessibleName(QStringLiteral("Remove selected dictionary entry"));
    m_deleteButton->setToolTip(QStringLiteral("Remove selected word"));
    m_deleteButton->setEnabled(false);
    connect(m_deleteButton, &QPushButton::clicked, this, &DictionaryViewController::deleteEntry);
    layout->addWidget(m_deleteButton, 0, Qt::AlignLeft);

    connect(&m_model, &AppModel::changed, this, &DictionaryViewController::refresh);
    refresh();
}

DictionaryViewController::~DictionaryViewController() = default;

QWidget *DictionaryViewController::buildEntryRow()
{
    m_heardField = new QLineEdit;
    m_heardField->setPlaceholderText(QStringLiteral("Heard"));
    m_heardField->setToolTip(QStringLiteral("Dictated spelling"));
    m_heardField->setAccessibleName(QStringLiteral("Phrase recognized by dictation"));
    m_replacementField = new QLineEdit;
    m_replacementField->setPlaceholderText(QStringLiteral("Spelling"));
    m_replacementField->setToolTip(QStringLiteral("Preferred spelling"));
    m_replacementField->setAccessibleName(QStringLiteral("Preferred spelling or replacement"));
    for (QLineEdit *field : {m_heardField, m_replacementField})
        connect(field, &QLineEdit::textChanged, this, &DictionaryViewController::fieldsChanged);
    connect(m_replacementField, &QLineEdit::returnPressed, this, &DictionaryViewController::addEntry);

    m_addButton = new QPushButton(symbols::icon(QStringLiteral("plus")), QStringLiteral("&Add"));
    describe(m_addButton, QStringLiteral("Add"));
    m_addButton->setEnabled(false);
    connect(m_addButton, &QPushButton::clicked, this, &DictionaryViewController::addEntry);

    m_entryProblem = label(QString(), 12, QFont::Normal, Tone::error, true);
    m_entryProblem->hide();

    auto *arrow = new SymbolView(QStringLiteral("arrow.right"), 13);
    arrow->setTintRole(QPalette::PlaceholderText);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(pixelsForPoints(10));
    row->addWidget(m_heardField, 1); // the two fields share the width equally
    row->addWidget(arrow);
    row->addWidget(m_replacementField, 1);
    row->addWidget(m_addButton);
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(pixelsForPoints(6));
    layout->addLayout(row);
    layout->addWidget(m_entryProblem);
    return card(content, 12);
}

QWidget *DictionaryViewController::buildTable()
{
    m_table = new QTableView;
    m_entries->setLook(palette().color(QPalette::PlaceholderText), ui::font(13, QFont::Medium));
    m_table->setModel(m_entries);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideRight);
    m_table->setShowGrid(false);
    m_table->setFont(ui::font(13));
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(pixelsForPoints(35));
    QHeaderView *header = m_table->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setMinimumSectionSize(pixelsForPoints(columnSizes[DictionaryTableModel::countColumn].minimum));
    for (int column = 0; column < DictionaryTableModel::columns; ++column)
        header->resizeSection(column, pixelsForPoints(columnSizes[column].initial));
    connect(header, &QHeaderView::sectionResized, this, [header](int column, int, int size) {
        const int minimum = pixelsForPoints(columnSizes[column].minimum);
        if (size < minimum)
            header->resizeSection(column, minimum);
    });
    m_table->setAccessibleName(QStringLiteral("Learned dictionary entries"));
    m_table->setAccessibleDescription(QStringLiteral("Corrections are learned on %1 and used in future dictations. "
                                                     "Count shows how often a correction has been learned.")
                                          .arg(platform::thisComputer()));
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &DictionaryViewController::selectionChanged);

    m_emptyLabel = label(QStringLiteral("No words yet"), 13, QFont::Normal, Tone::secondary);
    m_emptyLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_emptyLabel->setContentsMargins(0, pixelsForPoints(30), 0, 0);
    m_emptyLabel->setAccessibleDescription(
        QStringLiteral("Correct a dictation to add words automatically, or add a spelling above."));
    m_emptyLabel->setToolTip(m_emptyLabel->accessibleDescription());

    m_tableOrEmpty = new QStackedWidget;
    m_tableOrEmpty->addWidget(m_table);
    m_tableOrEmpty->addWidget(m_emptyLabel);
    return m_tableOrEmpty;
}

void DictionaryViewController::refresh()
{
    draw(m_model.dictionary());
}

void DictionaryViewController::draw(const QList<DictionaryEntry> &entries)
{
    const qsizetype count = entries.size();
    m_countLabel->setText(count == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(count));
    m_countLabel->setVisible(count > 0);
    m_emptyLabel->setVisible(count == 0);
    m_tableOrEmpty->setCurrentWidget(count == 0 ? static_cast<QWidget *>(m_emptyLabel) : m_table);

    const int row = selectedRow();
    const std::optional<QUuid> selected =
        row >= 0 ? std::optional<QUuid>(m_entries->entries().at(row).id) : std::nullopt;

    bool unchanged = m_snapshot.size() == count;
    for (qsizetype i = 0; unchanged && i < count; ++i) {
        const Signature &drawn = m_snapshot.at(i);
        const DictionaryEntry &entry = entries.at(i);
        unchanged = drawn.id == entry.id && drawn.heard == entry.heard && drawn.replacement == entry.replacement &&
                    drawn.count == entry.occurrenceCount;
    }
    if (unchanged)
        return; // the table and its selection stay as they are

    m_snapshot.clear();
    m_snapshot.reserve(count);
    for (const DictionaryEntry &entry : entries)
        m_snapshot.append(Signature{entry.id, entry.heard, entry.replacement, entry.occurrenceCount});
    m_entries->setEntries(entries);
    if (selected) {
        for (qsizetype i = 0; i < count; ++i) {
            if (entries.at(i).id == *selected) {
                m_table->selectRow(int(i));
                break;
            }
        }
    }
    m_deleteButton->setEnabled(selectedRow() >= 0);
}

int DictionaryViewController::selectedRow() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.first().row() >= m_entries->entries().size())
        return -1;
    return rows.first().row();
}

std::optional<QString> DictionaryViewController::typedEntryProblem() const
{
    const struct
    {
        QLineEdit *field;
        const char *name;
    } fields[] = {{m_heardField, "The heard phrase"}, {m_replacementField, "The spelling"}};
    for (const auto &f : fields) {
        const qsizetype length = graphemeCount(f.field->text().trimmed());
        if (length > AppModel::dictionaryFieldLimit)
            return QStringLiteral("%1 is %2 characters long; an entry holds at most %3. Shorten it to add it.")
                .arg(QLatin1String(f.name))
                .arg(length)
                .arg(AppModel::dictionaryFieldLimit);
    }
    return std::nullopt;
}

void DictionaryViewController::fieldsChanged()
{
    const std::optional<QString> problem = typedEntryProblem();
    m_entryProblem->setText(problem.value_or(QString()));
    m_entryProblem->setVisible(problem.has_value());
    m_addButton->setEnabled(!problem && !m_heardField->text().trimmed().isEmpty() &&
                            !m_replacementField->text().trimmed().isEmpty());
}

void DictionaryViewController::selectionChanged()
{
    m_deleteButton->setEnabled(selectedRow() >= 0);
}

void DictionaryViewController::addEntry()
{
    const QString heard = m_heardField->text().trimmed();
    const QString replacement = m_replacementField->text().trimmed();
    if (heard.isEmpty() || replacement.isEmpty() || typedEntryProblem())
        return; // the fields keep what was typed; the line under them says why
    m_model.addDictionaryEntry(heard, replacement);
    m_heardField->clear();
    m_replacementField->clear();
    m_addButton->setEnabled(false);
    if (window()->isVisible())
        m_heardField->setFocus();
}

void DictionaryViewController::deleteEntry()
{
    const int row = selectedRow();
    if (row >= 0)
        m_model.deleteDictionaryEntry(m_entries->entries().at(row).id);
}

} // namespace orv::ui
