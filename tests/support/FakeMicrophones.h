#pragma once

#include "speech/AbstractMicrophones.h"

#include <optional>

namespace orv::test {

// A sound server's inputs the test sets, with the choice kept in memory and the meter recorded.
class FakeMicrophones final : public AbstractMicrophones
{
public:
    // Replaces the list and tells onChanged.
    void setMicrophones(QList<Microphone> list);
    // Sends a level to the running meter; false when none runs.
    bool sendLevel(float level);

    QList<Microphone> microphones() const override { return m_list; }
    Microphone chosen() const override { return m_chosen; }
    Expected<void, QString> choose(const QString &name) override;
    void startMeter(const QString &name, std::function<void(float)> onLevel) override;
    void stopMeter() override { m_onLevel = nullptr; }
    bool isMetering() const override { return bool(m_onLevel); }

    QString meteredSource() const { return m_metered; }
    int meterStarts() const { return m_meterStarts; }
    std::optional<QString> refusal; // choose() answers this when set

private:
    QList<Microphone> m_list;
    Microphone m_chosen;
    QString m_metered;
    std::function<void(float)> m_onLevel;
    int m_meterStarts = 0;
};

} // namespace orv::test
