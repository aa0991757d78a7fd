#pragma once

#include "shortcuts/GlobalShortcut.h"
#include "shortcuts/ShortcutSettings.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace orv {

class AppModel;
class LinuxSettings;

// Owns the global shortcut service and keeps it in step with the model and the key choices: the six
// callbacks act on the model, the keys are registered once onboarding is complete (or always, when told
// so), Escape is captured only while a dictation runs, and a changed choice takes effect at once. A toggle
// that another program holds is refused: the previous working one stays in use and stored, and the model
// shows why.
class ShortcutController final : public QObject
{
    Q_OBJECT

public:
    // Builds the service over `keys`, the choices in use, which live as long as the controller.
    using Factory =
        std::function<std::unique_ptr<GlobalShortcut>(const ShortcutSettings &keys, GlobalShortcut::Callbacks)>;
    enum class Registration
    {
        afterOnboarding,
        always
    };

    // The settings must outlive the controller.
    ShortcutController(AppModel &model,
                       LinuxSettings &settings,
                       const Factory &makeShortcut,
                       Registration registration);
    ~ShortcutController() override;

    // Starts or stops the service as onboarding requires. A registration failure at the first start is shown
    // through the model's error message and not retried during this run.
    void updateRegistration();
    // At termination.
    void stop();
    // When the application becomes active: the service looks at the hold key's state again.
    void refreshFn();
    bool isRegistered() const { return m_registered; }
    GlobalShortcut *shortcut() const { return m_shortcut.get(); }
    const ShortcutSettings &keysInUse() const { return m_keys; }

private:
    struct Keys final : ShortcutSettings
    {
        QString hold;
        QString toggleName;

        QString holdKey() const override { return hold; }
        QString toggle() const override { return toggleName; }
    };

    void modelChanged();
    void choicesChanged();
    bool wantsRegistration() const;
    // Registers everything again with the keys in use; true when the toggle was registered.
    bool restart();
    void use(const QString &hold, const QString &toggle);

    QPointer<AppModel> m_model;
    LinuxSettings &m_settings;
    Registration m_registration;
    Keys m_keys;
    std::unique_ptr<GlobalShortcut> m_shortcut;
    bool m_registered = false;
    bool m_toggleWorks = false; // the toggle in use was registered at the last start
};

} // namespace orv
