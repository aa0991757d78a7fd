#include "ui/LevelWaveformView.h"

#include "ui/UIComponents.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orv::ui {

namespace {

constexpr qreal gap = 4;        // points between bars
constexpr qreal stub = 4;       // points a silent bar keeps
constexpr qreal steadyBar = 17; // points of level with reduced motion
constexpr qreal pattern[] = {0.55, 0.85, 0.7, 1.0, 0.6};

// A level meter with its value, as assistive tools expect of one.
class LevelAccessible final : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit LevelAccessible(LevelWaveformView *view) : QAccessibleWidget(view, QAccessible::ProgressBar) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return QStringLiteral("Microphone level");
        if (t == QAccessible::Value)
            return QString::number(qRound(currentValue().toDouble() * 100)) + QLatin1Char('%');
        return QAccessibleWidget::text(t);
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override
    {
        return double(std::clamp(static_cast<LevelWaveformView *>(widget())->level(), 0.0f, 1.0f));
    }
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return 1.0; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 0.0; }
};

QAccessibleInterface *levelAccessible(const QString &key, QObject *object)
{
    if (key == QLatin1String(LevelWaveformView::staticMetaObject.className()))
        return new LevelAccessible(static_cast<LevelWaveformView *>(object));
    return nullptr;
}

} // namespace

LevelWaveformView::LevelWaveformView(QWidget *parent) : QWidget(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(levelAccessible);
        return true;
    }();
    Q_UNUSED(installed);
    setAccessibleName(QStringLiteral("Microphone level"));
    setFixedHeight(pixelsForPoints(30));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

QList<QRectF> LevelWaveformView::bars(const QSizeF &size, float level, bool reduceMotion, qreal unit)
{
    const qreal width = size.width();
    const qreal height = size.height();
    const qreal w = (width - (barCount - 1) * gap * unit) / barCount;
    const qreal l = std::clamp(double(level), 0.0, 1.0);
    QList<QRectF> result;
    result.reserve(barCount);
    for (int i = 0; i < barCount; ++i) {
        const qreal variable = reduceMotion ? l * steadyBar * unit
                                            : (std::sin(qreal(i) / (barCount - 1) * std::numbers::pi) * 0.8 + 0.2) * l *
                                                  pattern[i % 5] * (height - stub * unit);
        const qreal h = variable + stub * unit;
        result.append(QRectF((w + gap * unit) * i, (height - h) / 2, std::max(w, 2.0 * unit), h));
    }
    return result;
}

void LevelWaveformView::setLevel(float level)
{
    if (level == m_level)
        return;
    m_level = level;
    update();
}

void LevelWaveformView::setReduceMotion(bool reduce)
{
    if (reduce == m_reduceMotion)
        return;
    m_reduceMotion = reduce;
    update();
}

void LevelWaveformView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor fill = palette().color(QPalette::Highlight);
    fill.setAlphaF(0.85f);
    painter.setBrush(fill);
    const qreal unit = pixelsForPoints(100) / 100.0;
    for (const QRectF &bar : bars(size(), m_level, m_reduceMotion, unit)) {
        const qreal radius = bar.width() / 2;
        painter.drawRoundedRect(bar, radius, radius);
    }
}

} // namespace orv::ui
