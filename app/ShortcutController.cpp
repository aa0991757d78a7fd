#include "app/ShortcutController.h"

#include "core/AppModel.h"

namespace orv {

ShortcutController::ShortcutController(AppModel &model, const Factory &makeShortcut, Registration registration)
    : m_model(&model), m_registration(registration)
{
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
    m_shortcut = makeShortcut(std::move(callbacks));
    connect(&model, &AppModel::changed, this, &ShortcutController::modelChanged);
}

ShortcutController::~ShortcutController()
{
    stop();
}

bool ShortcutController::wantsRegistration() const
{
    return m_registration == Registration::always || m_model->onboarding().isComplete();
}

void ShortcutController::updateRegistration()
{
    if (!m_model || !m_shortcut)
        return;
    const bool wanted = wantsRegistration();
    if (wanted && !m_registered) {
        m_registered = true;
        auto started = m_shortcut->start();
        if (!started) {
            m_model->setErrorMessage(started.error().description());
            m_model->notifyChanged();
        }
    } else if (!wanted && m_registered) {
        m_registered = false;
        m_shortcut->stop();
    }
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
