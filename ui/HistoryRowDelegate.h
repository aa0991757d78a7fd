#pragma once

#include <QStyledItemDelegate>

namespace orv::ui {

// Draws a History row: the date in small secondary text, under it the preview in at most two lines,
// truncated at the end. Rows are 65 points high.
class HistoryRowDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The text as the row draws it: the lines that fit `width`, at most two, the second truncated.
    static QStringList twoLines(const QString &text, const QFont &font, int width);
};

} // namespace orv::ui
