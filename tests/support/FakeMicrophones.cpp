#include "tests/support/FakeMicrophones.h"

namespace orv::test {

void FakeMicrophones::setMicrophones(QList<Microphone> list)
{
    m_list = std::move(list);
    if (onChanged)
        onChanged();
}

bool FakeMicrophones::sendLevel(float level)
{
    if (!m_onLevel)
        return false;
    m_onLevel(level);
    return true;
}

Expected<void, QString> FakeMicrophones::choose(const QString &name)
{
    if (refusal)
        return unexpected(*refusal);
    m_chosen = Microphone{name, name.isEmpty() ? QString() : displayName(m_list, name)};
    return {};
}

void FakeMicrophones::startMeter(const QString &name, std::function<void(float)> onLevel)
{
    m_metered = name;
    m_onLevel = std::move(onLevel);
    ++m_meterStarts;
}

} // namespace orv::test
