#include "ui/HistoryListModel.h"

#include <QLocale>
#include <QRegularExpression>

namespace orv::ui {

namespace {

// The locale's long date without the weekday and with the month abbreviated: "MMM d, yyyy" in English,
// "d. MMM yyyy" in German.
QString abbreviatedDateFormat(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*"));
    format.remove(weekday);
    format.replace(QLatin1String("MMMM"), QLatin1String("MMM"));
    return format.trimmed();
}

// The locale's short time without seconds (some locales keep them in their short format).
QString shortTimeFormat(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    static const QRegularExpression seconds(QStringLiteral("[:.]ss?"));
    return format.remove(seconds);
}

} // namespace

void HistoryListModel::setRecords(const QList<TranscriptRecord> &records)
{
    beginResetModel();
    // A dictation's date never changes: it is formatted once, which is most of the cost of a reload.
    QHash<QUuid, QString> dates;
    dates.reserve(records.size());
    m_rows.clear();
    m_rows.reserve(records.size());
    for (const TranscriptRecord &record : records) {
        QString date = m_dates.value(record.id);
        if (date.isEmpty())
            date = dateText(record.date);
        dates.insert(record.id, date);
        m_rows.append(Row{date, preview(record.output)});
    }
    m_dates = std::move(dates);
    endResetModel();
}

int HistoryListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant HistoryListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.preview;
    case dateRole:
        return row.date;
    case Qt::AccessibleTextRole:
        return row.date + QStringLiteral(": ") + row.preview;
    default:
        return {};
    }
}

QString HistoryListModel::dateText(const QDateTime &date)
{
    static const QLocale locale;
    static const QString dateFormat = abbreviatedDateFormat(locale);
    static const QString timeFormat = shortTimeFormat(locale);
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), dateFormat) + QLatin1Char(' ') + locale.toString(local.time(), timeFormat);
}

QString HistoryListModel::preview(const QString &output)
{
    QString line = output;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

} // namespace orv::ui
