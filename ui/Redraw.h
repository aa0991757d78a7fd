#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

// Setters for the views that redraw on every model notification (a dozen a second while recording): each
// touches the widget only when the value differs. Qt sends an accessibility event for every accessible
// name or description set, changed or not, which a screen reader would hear as chatter.
namespace orv::ui::redraw {

inline void text(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

inline void toolTip(QWidget *widget, const QString &text)
{
    if (widget->toolTip() != text)
        widget->setToolTip(text);
}

inline void accessibleName(QWidget *widget, const QString &text)
{
    if (widget->accessibleName() != text)
        widget->setAccessibleName(text);
}

inline void accessibleDescription(QWidget *widget, const QString &text)
{
    if (widget->accessibleDescription() != text)
        widget->setAccessibleDescription(text);
}

// A sentence shown as tooltip and read as accessible help.
inline void help(QWidget *widget, const QString &sentence)
{
    toolTip(widget, sentence);
    accessibleDescription(widget, sentence);
}

} // namespace orv::ui::redraw
