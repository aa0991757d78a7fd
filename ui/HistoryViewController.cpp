#include "ui/HistoryViewController.h"

#include "base/PlatformText.h"
#include "core/AppModel.h"
#include "ui/Dialogs.h"
#include "ui/HistoryListModel.h"
#include "ui/HistoryRowDelegate.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv::ui {

namespace {

constexpr qreal listWidth = 242;
constexpr qreal historyMargin = 28;

} // namespace

HistoryViewController::HistoryViewController(AppModel &model, QWidget *parent)
    : QWidget(parent), m_model(model), m_rows(new HistoryListModel(this))
{
    setAccessibleName(QStringLiteral("History"));

    auto *titles = new QVBoxLayout;
    titles->setSpacing(pixelsForPoints(2));
    titles->addWidget(label(QStringLiteral("History"), 26, QFont::Bold));
    m_countLabel = label(QString(), 12, QFont::Normal, Tone::secondary);
    titles->addWidget(m_countLabel);
    m_clearButton = new QPushButton(QStringLiteral("C&lear History…"));
    describe(m_clearButton, QStringLiteral("Clear History…"));
    connect(m_clearButton, &QPushButton::clicked, this, &HistoryViewController::clearHistory);
    auto *header = new QHBoxLayout;
    header->addLayout(titles, 1);
    header->addWidget(m_clearButton, 0, Qt::AlignTop);

    auto *body = new QHBoxLayout;
    body->setSpacing(pixelsForPoints(20));
    body->addWidget(buildList());
    m_detail = buildDetail();
    body->addWidget(m_detail, 1);

    auto *layout = new QVBoxLayout(this);
    const int inset = pixelsForPoints(historyMargin);
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->setSpacing(pixelsForPoints(18));
    layout->addLayout(header);
    layout->addLayout(body, 1);

    connect(&m_model, &AppModel::changed, this, &HistoryViewController::refresh);
    refresh();
}

HistoryViewController::~HistoryViewController() = default;

QWidget *HistoryViewController::buildList()
{
    m_table = new QListView;
    m_table->setModel(m_rows);
    m_table->setItemDelegate(new HistoryRowDelegate(m_table));
    m_table->setUniformItemSizes(true);
    m_table->setSpacing(pixelsForPoints(2)); // 4 points between rows
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_table->setFixedWidth(pixelsForPoints(listWidth));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAccessibleName(QStringLiteral("Saved dictations"));
    m_table->setAccessibleDescription(
        QStringLiteral("History is stored on %1. Editing a dictation can teach word corrections.")
            .arg(platform::thisComputer()));
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryViewController::selectionChanged);

    // "No dictations", centred over the list, 30 points below its top.
    m_emptyLabel = label(QStringLiteral("No dictations"), 13, QFont::Normal, Tone::secondary, true);
    m_emptyLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_emptyLabel->setMaximumWidth(pixelsForPoints(206));
    auto *centred = new QHBoxLayout;
    centred->addStretch(1);
    centred->addWidget(m_emptyLabel, 100); // as wide as it may be, so that it wraps only when it must
    centred->addStretch(1);
    auto *overlay = new QVBoxLayout(m_table->viewport());
    overlay->setContentsMargins(0, pixelsForPoints(30), 0, 0);
    overlay->addLayout(centred);
    overlay->addStretch(1);
    return m_table;
}

QWidget *HistoryViewController::buildDetail()
{
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(pixelsForPoints(10));

    m_detailLabel = label(QString(), 12, QFont::Normal, Tone::secondary);
    layout->addWidget(m_detailLabel);
    m_editor = textEditor(QStringLiteral("Edit the selected dictation"));
    m_editor->setAccessibleDescription(QStringLiteral(
        "Edit the selected dictation. Saving learns corrected words when automatic learning is enabled."));
    m_editor->setMinimumHeight(pixelsForPoints(300));
    connect(m_editor, &QPlainTextEdit::textChanged, this, &HistoryViewController::editorChanged);
    layout->addWidget(m_editor, 1);
    m_changeLabel = label(QString(), 12, QFont::Normal, Tone::secondary);
    layout->addWidget(m_changeLabel);

    // One look for the row: plain buttons of one height, each with its symbol.
    m_saveButton = new QPushButton(symbols::icon(QStringLiteral("checkmark.circle.fill")), QStringLiteral("&Save"));
    m_saveButton->setAccessibleName(QStringLiteral("Save correction"));
    m_saveButton->setToolTip(QStringLiteral("Save correction"));
    m_saveButton->setAccessibleDescription(
        QStringLiteral("Saving learns corrected words when automatic learning is enabled."));
    connect(m_saveButton, &QPushButton::clicked, this, &HistoryViewController::saveCorrection);
    m_copyButton = new QPushButton(symbols::icon(QStringLiteral("doc.on.doc")), QStringLiteral("&Copy"));
    describe(m_copyButton, QStringLiteral("Copy"));
    connect(m_copyButton, &QPushButton::clicked, this, &HistoryViewController::copyResult);
    m_deleteButton = new QPushButton(symbols::icon(QStringLiteral("trash")), QStringLiteral("Dele&te"));
    describe(m_deleteButton, QStringLiteral("Delete"));
    connect(m_deleteButton, &QPushButton::clicked, this, &HistoryViewController::deleteRecord);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(pixelsForPoints(8));
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_copyButton);
    buttons->addWidget(m_deleteButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return column;
}

void HistoryViewController::refresh()
{
    const QList<TranscriptRecord> &history = m_model.history();
    const qsizetype count = history.size();
    m_countLabel->setText(count == 1 ? QStringLiteral("1 dictation") : QStringLiteral("%1 dictations").arg(count));
    m_countLabel->setVisible(count > 0);
    m_emptyLabel->setVisible(count == 0);
    m_clearButton->setEnabled(count > 0);
    m_detail->setVisible(count > 0); // no empty editor beside "No dictations"

    bool unchanged = m_snapshot.size() == count;
    for (qsizetype i = 0; unchanged && i < count; ++i)
        unchanged = m_snapshot.at(i).id == history.at(i).id && m_snapshot.at(i).output == history.at(i).output;
    if (unchanged && m_selectedID)
        return; // nothing shown has changed, and the editor keeps what the user is typing

    m_snapshot.clear();
    m_snapshot.reserve(count);
    for (const TranscriptRecord &record : history)
        m_snapshot.append(Signature{record.id, record.output});
    m_rows->setRecords(history);

    if (m_selectedID) {
        const auto found = std::find_if(history.begin(), history.end(),
                                        [&](const TranscriptRecord &record) { return record.id == *m_selectedID; });
        if (found != history.end()) {
            const int row = int(found - history.begin());
            selectRow(row);
            if (!m_dirty)
                showRecord(row);
            return;
        }
    }
    if (count == 0) {
        m_selectedID.reset();
        m_drawing = true;
        m_editor->clear();
        m_drawing = false;
        m_editor->setReadOnly(true);
        m_detailLabel->clear();
        m_detailLabel->setToolTip(QString());
        m_detailLabel->setAccessibleDescription(QString());
        setChange(QString());
        m_saveButton->setEnabled(false);
        m_copyButton->setEnabled(false);
        m_deleteButton->setEnabled(false);
        return;
    }
    selectRow(0);
    showRecord(0);
}

void HistoryViewController::selectRow(int row)
{
    const QModelIndex index = m_rows->index(row);
    m_drawing = true;
    m_table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_drawing = false;
    m_table->scrollTo(index);
}

void HistoryViewController::showRecord(int row)
{
    const QList<TranscriptRecord> &history = m_model.history();
    if (row < 0 || row >= history.size())
        return;
    const TranscriptRecord &record = history.at(row);
    if (m_selectedID == record.id && m_dirty)
        return; // the unsaved text stays
    m_selectedID = record.id;
    m_dirty = false;
    m_editor->setReadOnly(false);
    if (m_editor->toPlainText() != record.output) { // the same text keeps the cursor where the user left it
        m_drawing = true;
        m_editor->setPlainText(record.output);
        m_drawing = false;
    }
    m_detailLabel->setText(HistoryListModel::dateText(record.date) + QStringLiteral(" · ") + record.applicationName);
    m_detailLabel->setToolTip(record.formatter);
    m_detailLabel->setAccessibleDescription(QStringLiteral("Formatted with %1.").arg(record.formatter));
    setChange(QString());
    m_saveButton->setEnabled(false);
    m_copyButton->setEnabled(true);
    m_deleteButton->setEnabled(true);
}

void HistoryViewController::selectionChanged()
{
    if (m_drawing)
        return;
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    const QList<TranscriptRecord> &history = m_model.history();
    if (selected.isEmpty() || selected.first().row() >= history.size())
        return;
    const QUuid chosen = history.at(selected.first().row()).id;
    if (m_dirty && m_selectedID && *m_selectedID != chosen) {
        // Leaving an edited dictation saves it, with the same learning as "Save".
        const QUuid previous = *m_selectedID;
        m_dirty = false;
        m_selectedID = chosen;
        m_model.editTranscript(previous, m_editor->toPlainText());
    }
    // The save above may have redrawn the list: find the chosen dictation again.
    const auto found = std::find_if(history.begin(), history.end(),
                                    [&](const TranscriptRecord &record) { return record.id == chosen; });
    if (found != history.end())
        showRecord(int(found - history.begin()));
}

void HistoryViewController::editorChanged()
{
    if (m_drawing)
        return;
    m_dirty = true;
    m_saveButton->setEnabled(m_selectedID.has_value());
    setChange(QStringLiteral("Unsaved"));
}

void HistoryViewController::setChange(const QString &text, const QString &help)
{
    m_changeLabel->setText(text);
    m_changeLabel->setToolTip(help);
    m_changeLabel->setAccessibleDescription(help);
}

void HistoryViewController::saveCorrection()
{
    if (!m_selectedID)
        return;
    const QString text = m_editor->toPlainText();
    if (text.trimmed().isEmpty())
        return; // stays unsaved
    m_dirty = false;
    m_model.editTranscript(*m_selectedID, text);
    const QString &learned = m_model.lastLearning();
    setChange(learned.isEmpty() ? QStringLiteral("Saved") : QStringLiteral("Saved. ") + learned,
              m_model.preferences().autoLearn ? QStringLiteral("Word corrections learned automatically")
                                              : QStringLiteral("Automatic learning is off"));
    m_changeLabel->setWordWrap(true);
    m_saveButton->setEnabled(false);
}

void HistoryViewController::copyResult()
{
    QGuiApplication::clipboard()->setText(m_editor->toPlainText());
}

void HistoryViewController::deleteRecord()
{
    if (!m_selectedID)
        return;
    m_dirty = false;
    m_model.deleteRecord(*m_selectedID);
}

void HistoryViewController::clearHistory()
{
    if (!window()->isVisible())
        return;
    QPointer<HistoryViewController> page(this);
    QPointer<AppModel> model(&m_model);
    askBeforeDeleting(window(),
                      {QStringLiteral("OrvantaClearHistory"), QStringLiteral("Clear History"),
                       QStringLiteral("Clear dictation history?"),
                       QStringLiteral("Deletes saved dictations. Keeps your dictionary."),
                       QStringLiteral("&Clear History"), QStringLiteral("C&ancel")},
                      [page, model] {
                          if (page)
                              page->m_dirty = false;
                          if (model)
                              model->clearHistory();
                      });
}

} // namespace orv::ui
