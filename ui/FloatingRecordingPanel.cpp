#include "ui/FloatingRecordingPanel.h"

#include "ui/UIComponents.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace orv::ui {

namespace {

constexpr qreal cornerRadius = 18; // points

// Screen readers speak a notification when it becomes showing (a plain window they would pass over in
// silence), with its name and description: "Orvanta dictation", "Orvanta. {status}".
QAccessibleInterface *panelAccessible(const QString &key, QObject *object)
{
    if (key == QLatin1String(FloatingRecordingPanel::staticMetaObject.className()))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
    return nullptr;
}

} // namespace

FloatingRecordingPanel::FloatingRecordingPanel(bool translucent, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_translucent(translucent)
{
    static const bool installed = [] {
        QAccessible::installFactory(panelAccessible);
        return true;
    }();
    Q_UNUSED(installed);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setAttribute(Qt::WA_NoSystemBackground, translucent);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Orvanta dictation"));
    setAccessibleName(QStringLiteral("Orvanta dictation"));
}

void FloatingRecordingPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &colours = palette();
    QColor fill = cardColor(colours);
    const QColor border = separatorColor(colours);
    if (!m_translucent) {
        painter.fillRect(rect(), fill);
        painter.setPen(border);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    fill.setAlphaF(0.94f);
    const qreal radius = pixelsForPoints(cornerRadius);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(shape, fill);
    painter.setPen(QPen(border, 1));
    painter.drawPath(shape);
}

void FloatingRecordingPanel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_grab = event->globalPosition().toPoint() - pos();
    event->accept();
}

void FloatingRecordingPanel::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_grab || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    move(event->globalPosition().toPoint() - *m_grab);
    event->accept();
}

void FloatingRecordingPanel::mouseReleaseEvent(QMouseEvent *event)
{
    m_grab.reset();
    QWidget::mouseReleaseEvent(event);
}

} // namespace orv::ui
