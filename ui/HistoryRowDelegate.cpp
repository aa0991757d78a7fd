#include "ui/HistoryRowDelegate.h"

#include "ui/HistoryListModel.h"
#include "ui/UIComponents.h"

#include <QApplication>
#include <QPainter>
#include <QTextLayout>

namespace orv::ui {

namespace {

constexpr qreal rowPoints = 65;
constexpr qreal paddingPoints = 8;

} // namespace

QStringList HistoryRowDelegate::twoLines(const QString &text, const QFont &font, int width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    QTextLine second;
    if (first.isValid()) {
        first.setLineWidth(width);
        second = layout.createLine();
        if (second.isValid())
            second.setLineWidth(width);
    }
    layout.endLayout();
    if (!first.isValid())
        return {};
    QStringList lines{text.mid(first.textStart(), first.textLength()).trimmed()};
    if (second.isValid()) {
        const QFontMetrics metrics(font);
        lines.append(metrics.elidedText(text.mid(second.textStart()).trimmed(), Qt::ElideRight, width));
    }
    return lines;
}

void HistoryRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem background(option);
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget *view = option.widget;
    QStyle *style = view ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, view);

    const bool selected = option.state & QStyle::State_Selected;
    const QPalette &palette = option.palette;
    const QRect area = option.rect.adjusted(pixelsForPoints(paddingPoints), pixelsForPoints(6),
                                            -pixelsForPoints(paddingPoints), -pixelsForPoints(4));
    painter->save();
    const QFont dateFont = ui::font(11);
    painter->setFont(dateFont);
    painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    const QFontMetrics dateMetrics(dateFont);
    painter->drawText(QRect(area.left(), area.top(), area.width(), dateMetrics.height()), Qt::AlignLeft | Qt::AlignTop,
                      index.data(HistoryListModel::dateRole).toString());

    const QFont textFont = ui::font(13);
    const QFontMetrics textMetrics(textFont);
    painter->setFont(textFont);
    painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    int y = area.top() + dateMetrics.height() + pixelsForPoints(3);
    for (const QString &line : twoLines(index.data(Qt::DisplayRole).toString(), textFont, area.width())) {
        painter->drawText(QRect(area.left(), y, area.width(), textMetrics.height()), Qt::AlignLeft | Qt::AlignTop,
                          line);
        y += textMetrics.lineSpacing();
    }
    painter->restore();
}

QSize HistoryRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return {option.rect.width(), pixelsForPoints(rowPoints)};
}

} // namespace orv::ui
