#pragma once

#include "desktop/AbstractLoginItemController.h"

#include <QString>

namespace orv::ui {

// What the windows call a login item's registration status.
inline QString loginStatusText(AbstractLoginItemController::Status status)
{
    using Status = AbstractLoginItemController::Status;
    switch (status) {
    case Status::notRegistered:
        return QStringLiteral("Off");
    case Status::enabled:
        return QStringLiteral("Enabled");
    case Status::requiresApproval:
        return QStringLiteral("Needs approval");
    case Status::notFound:
        return QStringLiteral("App unavailable");
    }
    return QStringLiteral("Unavailable");
}

} // namespace orv::ui
