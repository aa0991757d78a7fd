#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

namespace orv::ui {

// The recording panel's window: a frameless tool window above normal windows that never takes the
// keyboard focus (the window manager is told it takes no input, and it is shown without activation), so
// the application being dictated into keeps its focus even when the panel is clicked. Dragging its
// background moves it. Rounded and translucent where a compositing manager draws the desktop; square and
// opaque where none does, since transparent corners would show black.
class FloatingRecordingPanel final : public QWidget
{
    Q_OBJECT

public:
    explicit FloatingRecordingPanel(bool translucent, QWidget *parent = nullptr);

    bool isTranslucent() const { return m_translucent; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_translucent;
    // Where the pointer grabbed the background, relative to the window's corner, while dragging.
    std::optional<QPoint> m_grab;
};

} // namespace orv::ui
