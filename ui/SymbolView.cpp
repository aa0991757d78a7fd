#include "ui/SymbolView.h"

#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QPainter>

namespace orv::ui {

SymbolView::SymbolView(QString symbol, qreal points, QWidget *parent)
    : QWidget(parent), m_symbol(std::move(symbol)), m_pixels(pixelsForPoints(points)), m_boxWidth(m_pixels)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

void SymbolView::setSymbol(const QString &symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    update();
}

void SymbolView::setTint(std::optional<QColor> tint)
{
    if (tint == m_tint)
        return;
    m_tint = std::move(tint);
    update();
}

void SymbolView::setTintRole(QPalette::ColorRole role)
{
    m_tint.reset();
    m_role = role;
    update();
}

void SymbolView::setBoxWidth(int width)
{
    m_boxWidth = std::max(width, m_pixels);
    updateGeometry();
}

QSize SymbolView::sizeHint() const
{
    return {m_boxWidth, m_pixels};
}

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Scaled down proportionally when the layout gives less room.
    const int side = std::min({m_pixels, width(), height()});
    const QColor colour = m_tint.value_or(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, m_role));
    const QRect target((width() - side) / 2, (height() - side) / 2, side, side);
    painter.drawPixmap(target, symbols::pixmap(m_symbol, colour, side, devicePixelRatioF()));
}

} // namespace orv::ui
