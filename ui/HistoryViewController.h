#pragma once

#include <QList>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <optional>

class QLabel;
class QListView;
class QPlainTextEdit;
class QPushButton;

namespace orv {

class AppModel;

namespace ui {

class HistoryListModel;

// The History page: the saved dictations, newest first, and an editor for the selected one. Saving an edit
// (or leaving an edited dictation for another) hands the text to the model, which learns corrected words.
// Redraws only when a dictation was added, removed or changed, so an edit being typed survives every
// other notification of the model.
class HistoryViewController final : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryViewController(AppModel &model, QWidget *parent = nullptr);
    ~HistoryViewController() override;

    void refresh();
    void saveCorrection();
    void copyResult();
    void deleteRecord();
    // Asks first, in a window-modal dialog; does nothing while the page is in no visible window.
    void clearHistory();

    QListView *table() const { return m_table; }
    QPlainTextEdit *editor() const { return m_editor; }
    QLabel *countLabel() const { return m_countLabel; }
    QLabel *detailLabel() const { return m_detailLabel; }
    QLabel *emptyLabel() const { return m_emptyLabel; }
    QLabel *changeLabel() const { return m_changeLabel; }
    QPushButton *saveButton() const { return m_saveButton; }
    QPushButton *copyButton() const { return m_copyButton; }
    QPushButton *deleteButton() const { return m_deleteButton; }
    QPushButton *clearButton() const { return m_clearButton; }
    const std::optional<QUuid> &selectedID() const { return m_selectedID; }
    bool isDirty() const { return m_dirty; }

private:
    // What a row showed when it was last drawn.
    struct Signature
    {
        QUuid id;
        QString output;
        bool operator==(const Signature &) const = default;
    };

    QWidget *buildList();
    QWidget *buildDetail();
    void showRecord(int row);
    void selectRow(int row);
    void selectionChanged();
    void editorChanged();
    void setChange(const QString &text, const QString &help = {});

    AppModel &m_model;
    HistoryListModel *m_rows;
    QListView *m_table = nullptr;
    QLabel *m_countLabel = nullptr;
    QLabel *m_detailLabel = nullptr;
    QLabel *m_emptyLabel = nullptr;
    QLabel *m_changeLabel = nullptr;
    QPlainTextEdit *m_editor = nullptr;
    QWidget *m_detail = nullptr; // the editor and its buttons
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_copyButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_clearButton = nullptr;
    std::optional<QUuid> m_selectedID;
    QList<Signature> m_snapshot;
    bool m_dirty = false;
    // Set while the page itself changes the selection or the editor, whose signals then mean nothing.
    bool m_drawing = false;
};

} // namespace ui
} // namespace orv
