#pragma once

#include <QLineEdit>

#include <functional>

namespace orv::ui {

// A shortcut recorder. Focused, it reads "Press a shortcut…" and takes the next key pressed with its
// modifiers as the new combination; Backspace clears what it shows to record again, Escape puts the current
// combination back. Typing does not enter text: a letter alone is reported like any other key, and the
// owner says why it is no shortcut.
class ShortcutField final : public QLineEdit
{
    Q_OBJECT

public:
    explicit ShortcutField(QWidget *parent = nullptr);

    // A key pressed in the field, by name with its modifiers ("Ctrl+Alt+K", "F9", "D"); or the reason the
    // pressed key cannot be part of any shortcut.
    std::function<void(const QString &name)> onCombination;
    std::function<void(const QString &reason)> onRefusedKey;

    // The combination the field shows; ends recording.
    void setCombination(const QString &name);
    const QString &combination() const { return m_combination; }
    bool isRecording() const { return m_recording; }

    // The name of a pressed key with its modifiers; empty for a modifier alone and "?" when the key has no
    // name a shortcut can use.
    static QString combinationName(int key, Qt::KeyboardModifiers modifiers);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void record();
    void stopRecording();

    QString m_combination;
    bool m_recording = false;
};

} // namespace orv::ui
