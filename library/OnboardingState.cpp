#include "library/OnboardingState.h"

namespace orv {

std::optional<OnboardingState::Step> OnboardingState::stepFromRaw(qint64 raw)
{
    for (Step step : allSteps) {
        if (static_cast<qint64>(step) == raw)
            return step;
    }
    return std::nullopt;
}

OnboardingState::OnboardingState(KeyValueStore &store) : m_store(store)
{
    m_step = stepFromRaw(m_store.integer(stepKey).value_or(0)).value_or(Step::welcome);
    m_isComplete = m_store.boolean(completeKey).value_or(false);
}

void OnboardingState::advance(bool permissionsReady)
{
    if (m_isComplete)
        return;
    switch (m_step) {
    case Step::welcome:
        m_step = Step::permissions;
        break;
    case Step::permissions:
        if (!permissionsReady)
            return;
        m_step = Step::shortcut;
        break;
    case Step::shortcut:
        m_isComplete = true;
        break;
    }
    write();
}

void OnboardingState::goBack()
{
    if (m_isComplete || m_step == Step::welcome)
        return;
    m_step = m_step == Step::shortcut ? Step::permissions : Step::welcome;
    write();
}

void OnboardingState::complete()
{
    m_isComplete = true;
    write();
}

void OnboardingState::reset()
{
    m_step = Step::welcome;
    m_isComplete = false;
    write();
}

void OnboardingState::write()
{
    m_store.setInteger(stepKey, static_cast<qint64>(m_step));
    m_store.setBoolean(completeKey, m_isComplete);
}

} // namespace orv
