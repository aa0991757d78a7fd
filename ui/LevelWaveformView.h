#pragma once

#include <QList>
#include <QRectF>
#include <QWidget>

namespace orv::ui {

// The recording panel's level meter: 45 rounded bars centred on the middle line, shaped like a wave while
// the level moves, or all the same height when the desktop asks for reduced motion. A silent meter still
// shows 4-point stubs. Read by assistive tools as "Microphone level" with the level as its value.
class LevelWaveformView final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int barCount = 45;

    explicit LevelWaveformView(QWidget *parent = nullptr);

    // The bars for a view of `size` at `level` (clamped to 0…1); `unit` is the pixels of one layout point.
    static QList<QRectF> bars(const QSizeF &size, float level, bool reduceMotion, qreal unit = 1.0);

    float level() const { return m_level; }
    bool reduceMotion() const { return m_reduceMotion; }
    // Each repaints only when the value changed.
    void setLevel(float level);
    void setReduceMotion(bool reduce);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    float m_level = 0;
    bool m_reduceMotion = false;
};

} // namespace orv::ui
