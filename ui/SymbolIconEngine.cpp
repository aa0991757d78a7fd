#include "ui/SymbolIconEngine.h"

#include "ui/Symbols.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

namespace orv::ui {

SymbolIconEngine::SymbolIconEngine(QString symbol, std::optional<QColor> tint)
    : m_symbol(std::move(symbol)), m_tint(std::move(tint))
{}

QColor SymbolIconEngine::colour(QIcon::Mode mode) const
{
    const QPalette palette = QApplication::palette();
    if (mode == QIcon::Disabled)
        return palette.color(QPalette::Disabled, QPalette::ButtonText);
    if (mode == QIcon::Selected)
        return palette.color(QPalette::Active, QPalette::HighlightedText);
    return m_tint.value_or(palette.color(QPalette::Active, QPalette::ButtonText));
}

void SymbolIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const int side = std::min(rect.width(), rect.height());
    const QRect square(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
    painter->drawPixmap(square, symbols::pixmap(m_symbol, colour(mode), side, ratio));
}

QPixmap SymbolIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return scaledPixmap(size, mode, state, 1.0);
}

QPixmap SymbolIconEngine::scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale)
{
    return symbols::pixmap(m_symbol, colour(mode), std::min(size.width(), size.height()), scale);
}

QIconEngine *SymbolIconEngine::clone() const
{
    return new SymbolIconEngine(m_symbol, m_tint);
}

} // namespace orv::ui
