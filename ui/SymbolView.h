#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

#include <optional>

namespace orv::ui {

// One of our symbols drawn at a size given in the layout's points, in a fixed colour or in a colour of the
// palette (so it follows a light or dark palette). Decoration only: it has no accessible name.
class SymbolView final : public QWidget
{
    Q_OBJECT

public:
    SymbolView(QString symbol, qreal points, QWidget *parent = nullptr);

    const QString &symbol() const { return m_symbol; }
    std::optional<QColor> tint() const { return m_tint; }
    void setSymbol(const QString &symbol);
    void setTint(std::optional<QColor> tint);
    void setTintRole(QPalette::ColorRole role);
    // The width the symbol is centred in (wider than the symbol for aligned columns).
    void setBoxWidth(int width);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    int m_pixels;
    int m_boxWidth;
    std::optional<QColor> m_tint;
    QPalette::ColorRole m_role = QPalette::WindowText;
};

} // namespace orv::ui
