#pragma once

#include "speech/AbstractMicrophones.h"

#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QProgressBar;

namespace orv {

class AppModel;

namespace ui {

// The "Microphone" list with a level meter beside it: "Desktop default (…)" first, then the sound server's
// inputs by description. A choice is kept at once for the next dictation. The meter listens while the
// chooser is on screen and no dictation runs, and stops when the page is left or the window hidden. It
// redraws from the model's change notification, and only when the list or the choice changed.
class MicrophoneChooser final : public QWidget
{
    Q_OBJECT

public:
    explicit MicrophoneChooser(AppModel &model, QWidget *parent = nullptr);
    ~MicrophoneChooser() override;

    void refresh();
    void choose(int index);

    QComboBox *popup() const { return m_popup; }
    QProgressBar *meter() const { return m_meter; }
    QLabel *problem() const { return m_problem; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Shown
    {
        QList<Microphone> list;
        Microphone chosen;
        bool operator==(const Shown &) const = default;
    };

    void updateMeter();
    void stopMeter();
    QString selectedName() const;

    AppModel &m_model;
    QComboBox *m_popup;
    QProgressBar *m_meter;
    QLabel *m_problem;
    std::optional<Shown> m_shown;
    std::optional<QString> m_metered; // the source this chooser's meter listens to
};

} // namespace ui
} // namespace orv
