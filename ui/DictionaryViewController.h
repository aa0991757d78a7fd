#pragma once

#include "library/Records.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableView;

namespace orv {

class AppModel;

namespace ui {

class DictionaryTableModel;

// The Dictionary page: the preferred spellings every dictation goes through, learned or typed in, with a row
// for adding one by hand and a button removing the selected one. The table is reloaded only when an entry
// was added, removed or changed, keeping the selected entry selected.
class DictionaryViewController final : public QWidget
{
    Q_OBJECT

public:
    explicit DictionaryViewController(AppModel &model, QWidget *parent = nullptr);
    ~DictionaryViewController() override;

    // Redraws from the model's dictionary.
    void refresh();
    // Redraws from these entries (the model's, normally).
    void draw(const QList<DictionaryEntry> &entries);
    void addEntry();
    void deleteEntry();

    QTableView *table() const { return m_table; }
    QLabel *countLabel() const { return m_countLabel; }
    QLabel *entryProblem() const { return m_entryProblem; }
    QLabel *emptyLabel() const { return m_emptyLabel; }
    QLineEdit *heardField() const { return m_heardField; }
    QLineEdit *replacementField() const { return m_replacementField; }
    QPushButton *addButton() const { return m_addButton; }
    QPushButton *deleteButton() const { return m_deleteButton; }

private:
    struct Signature
    {
        QUuid id;
        QString heard;
        QString replacement;
        qint64 count = 0;
        bool operator==(const Signature &) const = default;
    };

    QWidget *buildEntryRow();
    QWidget *buildTable();
    int selectedRow() const;
    void fieldsChanged();
    std::optional<QString> typedEntryProblem() const;
    void selectionChanged();

    AppModel &m_model;
    DictionaryTableModel *m_entries;
    QTableView *m_table = nullptr;
    QStackedWidget *m_tableOrEmpty = nullptr;
    QLabel *m_countLabel = nullptr;
    QLabel *m_entryProblem = nullptr; // why the typed entry cannot be added
    QLabel *m_emptyLabel = nullptr;
    QLineEdit *m_heardField = nullptr;
    QLineEdit *m_replacementField = nullptr;
    QPushButton *m_addButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QList<Signature> m_snapshot;
};

} // namespace ui
} // namespace orv
