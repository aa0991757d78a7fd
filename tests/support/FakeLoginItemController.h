#pragma once

#include "desktop/AbstractLoginItemController.h"

#include <QList>

namespace orv::test {

// A login item whose registration the test sets; counts what the model asked.
class FakeLoginItemController final : public AbstractLoginItemController
{
public:
    Status status() const override { return m_status; }
    std::optional<QString> errorMessage() const override { return error; }
    void setEnabled(bool enable) override
    {
        setEnabledCalls.append(enable);
        m_status = registration = enable ? Status::enabled : Status::notRegistered;
    }
    void refresh() override
    {
        ++refreshCalls;
        m_status = registration;
    }
    void openSettings() override {}

    // What the platform reports on the next refresh().
    Status registration = Status::notRegistered;
    std::optional<QString> error;
    int refreshCalls = 0;
    QList<bool> setEnabledCalls;

private:
    Status m_status = Status::notRegistered;
};

} // namespace orv::test
