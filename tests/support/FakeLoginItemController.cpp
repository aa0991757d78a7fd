#include "tests/support/FakeLoginItemController.h"

namespace orv::test {

void FakeLoginItemController::setEnabled(bool enable)
{
    setEnabledCalls.append(enable);
    registration = enable ? Status::enabled : Status::notRegistered;
    m_status = registration;
}

void FakeLoginItemController::refresh()
{
    ++refreshCalls;
    m_status = registration;
}

} // namespace orv::test
