#include "ui/ShortcutField.h"

#include <QKeyEvent>

namespace orv::ui {

namespace {

// The key's name as the shortcut settings write it (X11 key names).
QString keyName(int key)
{
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return QString(QChar(key));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    switch (key) {
    case Qt::Key_Space:
        return QStringLiteral("Space");
    case Qt::Key_Home:
        return QStringLiteral("Home");
    case Qt::Key_End:
        return QStringLiteral("End");
    case Qt::Key_Insert:
        return QStringLiteral("Insert");
    case Qt::Key_Delete:
        return QStringLiteral("Delete");
    case Qt::Key_PageUp:
        return QStringLiteral("Prior");
    case Qt::Key_PageDown:
        return QStringLiteral("Next");
    case Qt::Key_Pause:
        return QStringLiteral("Pause");
    case Qt::Key_Print:
        return QStringLiteral("Print");
    default:
        return {};
    }
}

bool isModifierKey(int key)
{
    return key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Shift || key == Qt::Key_Meta ||
           key == Qt::Key_Super_L || key == Qt::Key_Super_R || key == Qt::Key_AltGr;
}

} // namespace

ShortcutField::ShortcutField(QWidget *parent) : QLineEdit(parent)
{
    setReadOnly(true);
    setPlaceholderText(QStringLiteral("Press a shortcut…"));
}

void ShortcutField::setCombination(const QString &name)
{
    m_combination = name;
    stopRecording();
}

void ShortcutField::record()
{
    m_recording = true;
    clear();
}

void ShortcutField::stopRecording()
{
    m_recording = false;
    setText(m_combination);
}

QString ShortcutField::combinationName(int key, Qt::KeyboardModifiers modifiers)
{
    if (isModifierKey(key))
        return {};
    const QString name = keyName(key);
    if (name.isEmpty())
        return QStringLiteral("?");
    QString combination;
    if (modifiers & Qt::ControlModifier)
        combination += QStringLiteral("Ctrl+");
    if (modifiers & Qt::AltModifier)
        combination += QStringLiteral("Alt+");
    if (modifiers & Qt::ShiftModifier)
        combination += QStringLiteral("Shift+");
    if (modifiers & Qt::MetaModifier)
        combination += QStringLiteral("Super+");
    return combination + name;
}

bool ShortcutField::event(QEvent *event)
{
    // A combination pressed here is for the field, not for the window's menu shortcuts.
    if (event->type() == QEvent::ShortcutOverride && m_recording) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void ShortcutField::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier);
    const int key = event->key();
    if (!modifiers && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        QLineEdit::keyPressEvent(event); // the dialog's default button, if any
        return;
    }
    event->accept();
    if (!m_recording)
        record();
    if (!modifiers && key == Qt::Key_Escape) {
        stopRecording();
        return;
    }
    if (!modifiers && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) {
        clear();
        return;
    }
    const QString name = combinationName(key, modifiers);
    if (name.isEmpty())
        return; // a modifier on its own: the key comes next
    if (name == u"?") {
        if (onRefusedKey)
            onRefusedKey(QStringLiteral("That key cannot be part of a shortcut: use a letter, a digit, a function "
                                        "key, Space or a key such as Home or Insert."));
        return;
    }
    if (onCombination)
        onCombination(name);
}

void ShortcutField::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    record();
}

void ShortcutField::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    stopRecording();
}

} // namespace orv::ui
