#include "ui/Card.h"

#include "ui/UIComponents.h"

#include <QPainter>

namespace orv::ui {

Card::Card(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
}

void Card::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen border(separatorColor(palette()));
    border.setWidthF(1.0); // a hairline on a 1x screen; 0.5 of a point is not drawable there
    painter.setPen(border);
    painter.setBrush(cardColor(palette()));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

} // namespace orv::ui
