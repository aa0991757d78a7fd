#pragma once

#include <QColor>
#include <QIconEngine>

#include <optional>

namespace orv::ui {

// Draws one of our monochrome symbols at any size in one colour, or in the palette's colour for the icon's
// mode (button text, disabled text, highlighted text).
class SymbolIconEngine final : public QIconEngine
{
public:
    SymbolIconEngine(QString symbol, std::optional<QColor> tint);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
    QIconEngine *clone() const override;
    QString key() const override { return QStringLiteral("OrvantaSymbol"); }
    QString iconName() override { return m_symbol; }

private:
    QColor colour(QIcon::Mode mode) const;

    QString m_symbol;
    std::optional<QColor> m_tint;
};

} // namespace orv::ui
