#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orv {

class LinuxSettings;

namespace ui {

// On a Wayland session: how starting and finishing reach Orvanta here (the desktop's global shortcuts, the
// command bound to a key, or the hold key read from the keyboard devices), the exact command to bind, a
// button that adds it to GNOME's keyboard shortcuts where GNOME runs, and the opt-in to read the keyboard
// devices where the user may. Hidden on X11, where the hold key and the toggle need nothing of this.
class SessionKeysCard final : public QWidget
{
    Q_OBJECT

public:
    // The settings must outlive the card.
    explicit SessionKeysCard(LinuxSettings &settings, QWidget *parent = nullptr);

    void refresh();
    void copyCommand();
    void addDesktopShortcut();
    void chooseInputDevices(bool read);

    QLabel *mechanism() const { return m_mechanism; }
    QLineEdit *command() const { return m_command; }
    QLabel *hint() const { return m_hint; }
    QPushButton *copyButton() const { return m_copy; }
    QPushButton *desktopButton() const { return m_desktop; }
    QLabel *desktopResult() const { return m_desktopResult; }
    QCheckBox *inputDevices() const { return m_inputDevices; }

private:
    LinuxSettings &m_settings;
    QLabel *m_mechanism;
    QLineEdit *m_command;
    QPushButton *m_copy;
    QLabel *m_hint;
    QPushButton *m_desktop;
    QLabel *m_desktopResult;
    QCheckBox *m_inputDevices;
    QLabel *m_inputDevicesNote;
};

} // namespace ui
} // namespace orv
