#pragma once

#include "library/OnboardingState.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace orv {

class LinuxSettings;

class AppModel;

namespace ui {

class MicrophoneChooser;
class PermissionRow;

// The three-page setup flow shown in the main window until onboarding is complete: welcome with launch at
// login, permissions, and the keys. It renders the model's onboarding step and forwards the buttons to the
// model; only the current page's controls exist.
class OnboardingViewController final : public QWidget
{
    Q_OBJECT

public:
    // The controls; those of pages not shown are null.
    struct Controls
    {
        QLabel *progress = nullptr;
        QLabel *heading = nullptr;
        QLabel *subtitle = nullptr;
        QWidget *page = nullptr;
        QPushButton *nextButton = nullptr;
        QPushButton *backButton = nullptr;
        QPushButton *laterButton = nullptr;
        QPointer<QCheckBox> loginCheckbox;
        QPointer<QLabel> loginStatus;
        QPointer<QLabel> loginError;
        QPointer<QPushButton> loginSettings;
        QPointer<QPushButton> permissionButton;
        QPointer<QPushButton> accessibilityButton;
        QPointer<PermissionRow> microphone;
        QPointer<MicrophoneChooser> microphoneChooser;
        QPointer<PermissionRow> speech;
        QPointer<PermissionRow> accessibility;
        QPointer<QLabel> permissionError;
        QPointer<QLabel> shortcutNote;
    };

    // choices: the Linux choices, for the keys step on a Wayland session; may be null.
    explicit OnboardingViewController(AppModel &model, LinuxSettings *choices = nullptr, QWidget *parent = nullptr);

    void refresh();
    void advance();
    void goBack();
    void setUpLater();
    void changeLoginItem();
    void openLoginItems();
    void enableDictation();
    void enableAccessibility();

    const Controls &controls() const { return m_controls; }
    std::optional<OnboardingState::Step> renderedStep() const { return m_renderedStep; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuildPage(OnboardingState::Step step);
    void buildWelcome(QVBoxLayout *layout);
    void buildPermissions(QVBoxLayout *layout);
    void buildShortcut(QVBoxLayout *layout);
    void refreshWelcome();
    void refreshPermissions();
    bool dictationAuthorized() const;
    void focusFirstControl();

    AppModel &m_model;
    LinuxSettings *m_choices = nullptr;
    Controls m_controls;
    QVBoxLayout *m_pageSlot = nullptr;
    std::optional<OnboardingState::Step> m_renderedStep;
};

} // namespace ui
} // namespace orv
