#pragma once

#include "library/Records.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QUuid>

namespace orv::ui {

// The History page's list: one row per saved dictation, newest first, with its date and a one-paragraph
// preview of its text. Holds copies of what it shows; the page reloads it when the history changed.
class HistoryListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        dateRole = Qt::UserRole + 1, // the date as the row shows it; Qt::DisplayRole is the preview
    };

    using QAbstractListModel::QAbstractListModel;

    void setRecords(const QList<TranscriptRecord> &records);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // An abbreviated date and a short time in the user's locale ("Mar 4, 2025 9:41 AM").
    static QString dateText(const QDateTime &date);
    // The text on one line: every line feed becomes a space.
    static QString preview(const QString &output);

private:
    struct Row
    {
        QString date;
        QString preview;
    };
    QList<Row> m_rows;
    QHash<QUuid, QString> m_dates; // by dictation
};

} // namespace orv::ui
