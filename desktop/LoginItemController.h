#pragma once

#include "base/Expected.h"
#include "desktop/AbstractLoginItemController.h"

#include <functional>

namespace orv {

// Launch at login: remembers the last known registration status and the last error, and changes the
// registration through four operations set at construction.
class LoginItemController final : public AbstractLoginItemController
{
public:
    struct Operations
    {
        std::function<Status()> readStatus;
        std::function<Expected<void, QString>()> registerItem; // error: a sentence describing the failure
        std::function<Expected<void, QString>()> unregisterItem;
        std::function<void()> openSettings;
    };

    explicit LoginItemController(Operations operations);

    Status status() const override { return m_status; }
    std::optional<QString> errorMessage() const override { return m_errorMessage; }
    void setEnabled(bool enable) override;
    void refresh() override;
    void openSettings() override;

private:
    Operations m_operations;
    Status m_status;
    std::optional<QString> m_errorMessage;
};

} // namespace orv
