#include "app/ShortcutController.h"

#include "core/AppModel.h"
#include "library/LinuxSettings.h"

namespace orv {

ShortcutController::ShortcutController(AppModel &model,
                                       LinuxSettings &settings,
                                       const Factory &makeShortcut,
                                       Registration registration)
    : m_model(&model), m_settings(settings), m_registration(registration)
{
    use(settings.holdKey(), settings.toggle());
    QPointer<AppModel> weak(&model);
    GlobalShortcut::Callbacks callbacks;
    callbacks.onToggle = [weak] {
        if (weak)
            weak->toggle();
    };
    callbacks.onCancel = [weak] {
        if (weak)
            weak->cancelDictation();
    };
    callbacks.onFnBegin = [weak] {
        if (weak)
            weak->fnBegin();
    };
    callbacks.onFnFinish = [weak] {
        if (weak)
            weak->fnFinish();
    };
    callbacks.onFnCancel = [weak] {
        if (weak)
            weak->fnCancel();
    };
    callbacks.onFnStatus = [weak](const QString &text) {
        if (weak)
            weak->setFnShortcutStatus(text);
    };
    m_shortcut = makeShortcut(m_keys, std::move(callbacks));
    connect(&model, &AppModel::changed, this, &ShortcutController::modelChanged);
    connect(&settings, &LinuxSettings::changed, this, &ShortcutController::choicesChanged);
}

ShortcutController::~ShortcutController()
{
    stop();
}

bool ShortcutController::wantsRegistration() const
{
    return m_registration == Registration::always || m_model->onboarding().isComplete();
}

void ShortcutController::use(const QString &hold, const QString &toggle)
{
    m_keys.hold = hold;
    m_keys.toggleName = toggle;
    if (m_model)
        m_model->setShortcutNames({hold, toggle});
}

bool ShortcutController::restart()
{
    const auto started = m_shortcut->start();
    m_toggleWorks = started.hasValue();
    m_shortcut->setCancelEnabled(m_model && m_model->phase() != RecordingPhase::idle);
    if (m_model)
        m_model->setShortcutRegistrationError(started ? std::nullopt
                                                      : std::optional<QString>(started.error().description()));
    return m_toggleWorks;
}

void ShortcutController::updateRegistration()
{
    if (!m_model || !m_shortcut)
        return;
    const bool wanted = wantsRegistration();
    if (wanted && !m_registered) {
        m_registered = true;
        if (!restart() && m_model) {
            m_model->setErrorMessage(m_model->shortcutRegistrationError());
            m_model->notifyChanged();
        }
    } else if (!wanted && m_registered) {
        m_registered = false;
        m_shortcut->stop();
    }
}

void ShortcutController::choicesChanged()
{
    const QString hold = m_settings.holdKey();
    const QString toggle = m_settings.toggle();
    if (hold == m_keys.hold && toggle == m_keys.toggleName)
        return;
    const QString previousToggle = m_keys.toggleName;
    const bool previousWorked = m_toggleWorks;
    use(hold, toggle);
    if (!m_registered || !m_shortcut || restart())
        return;
    if (toggle == previousToggle || !previousWorked)
        return;
    // Another program holds the new toggle: the one that worked stays, in use and stored, and the model
    // keeps saying why the new one was refused.
    const std::optional<QString> refusal = m_model ? m_model->shortcutRegistrationError() : std::nullopt;
    use(hold, previousToggle);
    (void)m_settings.setToggle(previousToggle); // its change notice finds the keys in use unchanged
    restart();
    if (m_model)
        m_model->setShortcutRegistrationError(refusal);
}

void ShortcutController::stop()
{
    if (m_shortcut && m_registered)
        m_shortcut->stop();
    m_registered = false;
}

void ShortcutController::refreshFn()
{
    if (m_shortcut && m_registered)
        m_shortcut->refreshFn();
}

void ShortcutController::modelChanged()
{
    updateRegistration();
    if (m_model && m_shortcut)
        m_shortcut->setCancelEnabled(m_model->phase() != RecordingPhase::idle);
}

} // namespace orv
