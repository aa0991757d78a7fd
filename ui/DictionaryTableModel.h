#pragma once

#include "library/Records.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QList>

namespace orv::ui {

// The Dictionary page's table: Heard, Spelling, Source ("Automatic" or "Manual") and Count of each entry,
// in the model's order. Holds copies of what it shows; the page reloads it when the dictionary changed.
class DictionaryTableModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        heardColumn,
        replacementColumn,
        sourceColumn,
        countColumn,
        columns
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setEntries(const QList<DictionaryEntry> &entries);
    const QList<DictionaryEntry> &entries() const { return m_entries; }
    // The colour of the Source and Count columns, and the font of the Spelling column.
    void setLook(const QColor &secondary, const QFont &spelling);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<DictionaryEntry> m_entries;
    QColor m_secondary;
    QFont m_spelling;
};

} // namespace orv::ui
