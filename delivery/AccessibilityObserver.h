#pragma once

#include "base/Task.h"
#include "delivery/AccessibleElement.h"

#include <QString>

namespace orv {

// Notifications of one application's accessibility tree ("AXValueChanged", "AXUIElementDestroyed"),
// delivered on the main thread to the callback the observer was created with. Destroying the observer
// stops every delivery at once.
class AccessibilityObserver
{
public:
    virtual ~AccessibilityObserver() = default;
    virtual Task<bool> addNotification(Element element, QString name) = 0;
};

} // namespace orv
