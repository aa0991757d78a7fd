#pragma once

#include "library/KeyValueStore.h"

#include <array>
#include <optional>

namespace orv {

// How far the user has got through the first-run flow, kept in the settings store across launches.
class OnboardingState
{
public:
    enum class Step
    {
        welcome = 0,
        permissions = 1,
        shortcut = 2
    };
    static constexpr std::array<Step, 3> allSteps{Step::welcome, Step::permissions, Step::shortcut};
    // Only 0, 1 and 2 name a step.
    static std::optional<Step> stepFromRaw(qint64 raw);

    static inline const QString stepKey = QStringLiteral("orvanta.onboarding.step");
    static inline const QString completeKey = QStringLiteral("orvanta.onboarding.complete");

    // Reads both keys; never fails. The store must outlive this object.
    explicit OnboardingState(KeyValueStore &store);

    Step step() const { return m_step; }
    bool isComplete() const { return m_isComplete; }

    void advance(bool permissionsReady);
    void goBack();
    void complete();
    void reset();

private:
    void write();

    KeyValueStore &m_store;
    Step m_step = Step::welcome;
    bool m_isComplete = false;
};

} // namespace orv
