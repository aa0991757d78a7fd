#include "ui/DictionaryTableModel.h"

namespace orv::ui {

void DictionaryTableModel::setEntries(const QList<DictionaryEntry> &entries)
{
    beginResetModel();
    m_entries = entries;
    endResetModel();
}

void DictionaryTableModel::setLook(const QColor &secondary, const QFont &spelling)
{
    m_secondary = secondary;
    m_spelling = spelling;
}

int DictionaryTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int DictionaryTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columns;
}

QVariant DictionaryTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const DictionaryEntry &entry = m_entries.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case heardColumn:
            return entry.heard;
        case replacementColumn:
            return entry.replacement;
        case sourceColumn:
            return entry.automatic ? QStringLiteral("Automatic") : QStringLiteral("Manual");
        case countColumn:
            // An entry typed in by hand and never learned again has been counted by no one.
            return !entry.automatic && entry.occurrenceCount <= 1 ? QString() : QString::number(entry.occurrenceCount);
        }
        return {};
    case Qt::FontRole:
        return column == replacementColumn ? QVariant(m_spelling) : QVariant();
    case Qt::ForegroundRole:
        return (column == sourceColumn || column == countColumn) && m_secondary.isValid() ? QVariant(m_secondary)
                                                                                          : QVariant();
    default:
        return {};
    }
}

QVariant DictionaryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case heardColumn:
        return QStringLiteral("Heard");
    case replacementColumn:
        return QStringLiteral("Spelling");
    case sourceColumn:
        return QStringLiteral("Source");
    case countColumn:
        return QStringLiteral("Count");
    }
    return {};
}

} // namespace orv::ui
