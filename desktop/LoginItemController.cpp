#include "desktop/LoginItemController.h"

namespace orv {

LoginItemController::LoginItemController(Operations operations)
    : m_operations(std::move(operations)), m_status(m_operations.readStatus())
{}

void LoginItemController::setEnabled(bool enable)
{
    m_status = m_operations.readStatus();
    m_errorMessage.reset();
    // Waiting for the desktop's approval counts as switched on: enabling does not register again.
    const bool registered = m_status == Status::enabled || m_status == Status::requiresApproval;
    Expected<void, QString> outcome;
    if (enable && !registered)
        outcome = m_operations.registerItem();
    else if (!enable && m_status != Status::notRegistered)
        outcome = m_operations.unregisterItem();
    if (!outcome) {
        const QString action = enable ? QStringLiteral("enable") : QStringLiteral("disable");
        m_errorMessage = QStringLiteral("Couldn’t %1 launch at login. %2").arg(action, outcome.error());
    }
    m_status = m_operations.readStatus();
}

void LoginItemController::refresh()
{
    m_status = m_operations.readStatus();
}

void LoginItemController::openSettings()
{
    if (m_operations.openSettings)
        m_operations.openSettings();
}

} // namespace orv
