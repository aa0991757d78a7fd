#pragma once

#include "shortcuts/GlobalShortcut.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace orv {

class AppModel;

// Owns the global shortcut service and keeps it in step with the model: the six callbacks act on the
// model, the keys are registered once onboarding is complete (or always, when told so), and Escape is
// captured only while a dictation runs.
class ShortcutController final : public QObject
{
    Q_OBJECT

public:
    using Factory = std::function<std::unique_ptr<GlobalShortcut>(GlobalShortcut::Callbacks)>;
    enum class Registration
    {
        afterOnboarding,
        always
    };

    ShortcutController(AppModel &model, const Factory &makeShortcut, Registration registration);
    ~ShortcutController() override;

    // Starts or stops the service as onboarding requires. A registration failure is shown through the
    // model's error message and not retried during this run.
    void updateRegistration();
    // At termination.
    void stop();
    // When the application becomes active: the service looks at the hold key's state again.
    void refreshFn();
    bool isRegistered() const { return m_registered; }
    GlobalShortcut *shortcut() const { return m_shortcut.get(); }

private:
    void modelChanged();
    bool wantsRegistration() const;

    QPointer<AppModel> m_model;
    Registration m_registration;
    std::unique_ptr<GlobalShortcut> m_shortcut;
    bool m_registered = false;
};

} // namespace orv
