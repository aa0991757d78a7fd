#pragma once

#include "speech/AbstractMicrophones.h"

#include <optional>

namespace orv::test {

// A sound server's inputs the test sets (setMicrophones tells onChanged), the choice kept in memory, and the
// meter's callback held for the test to send levels through.
class FakeMicrophones final : public AbstractMicrophones
{
public:
    void setMicrophones(QList<Microphone> list)
    {
        m_list = std::move(list);
        if (onChanged)
            onChanged();
    }
    QList<Microphone> microphones() const override { return m_list; }
    Microphone chosen() const override { return m_chosen; }
    Expected<void, QString> choose(const QString &name) override
    {
        if (refusal)
            return unexpected(*refusal);
        m_chosen = Microphone{name, displayName(m_list, name)};
        return {};
    }
    void startMeter(const QString &name, std::function<void(float)> onLevel) override
    {
        metered = name;
        meterLevel = std::move(onLevel);
    }
    void stopMeter() override { meterLevel = nullptr; }
    bool isMetering() const override { return bool(meterLevel); }

    std::optional<QString> refusal; // what choose() answers when set
    QString metered;
    std::function<void(float)> meterLevel;

private:
    QList<Microphone> m_list;
    Microphone m_chosen;
};

} // namespace orv::test
