#pragma once

#include <QLineEdit>

#include <functional>

namespace orv::ui {

// A field for a key combination: pressing Ctrl, Alt or Super with a key (or a function key alone) enters
// that combination at once; a combination can also be typed by name ("Ctrl+Shift+D") and confirmed with
// Return, which is how one held by another program, whose keys never reach this field, is entered.
class ShortcutField final : public QLineEdit
{
    Q_OBJECT

public:
    explicit ShortcutField(QWidget *parent = nullptr);

    // A combination pressed in the field, by name; or the reason the pressed key cannot be one.
    std::function<void(const QString &name)> onCombination;
    std::function<void(const QString &reason)> onRefusedKey;

    // The name of a pressed combination ("Ctrl+Alt+K", "F9"); empty when it is no combination (plain typing)
    // and "?" when the key has no name a shortcut can use.
    static QString combinationName(int key, Qt::KeyboardModifiers modifiers);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace orv::ui
