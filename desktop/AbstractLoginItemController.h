#pragma once

#include <QString>

#include <optional>

namespace orv {

// Launch at login. On Linux an XDG autostart entry.
class AbstractLoginItemController
{
public:
    enum class Status
    {
        notRegistered = 0,
        enabled = 1,
        requiresApproval = 2,
        notFound = 3
    };

    virtual ~AbstractLoginItemController() = default;

    virtual Status status() const = 0;
    virtual std::optional<QString> errorMessage() const = 0;
    virtual void setEnabled(bool enable) = 0;
    // status = the current registration, read again.
    virtual void refresh() = 0;
    virtual void openSettings() = 0;
};

} // namespace orv
