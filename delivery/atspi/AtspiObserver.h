#pragma once

#include "delivery/AccessibilityObserver.h"

#include <functional>
#include <memory>

namespace orv::atspi {

class AtspiWorker;

// Edit observation from AT-SPI events: "object:text-changed" of the watched element is
// "AXValueChanged"; its "defunct" state or its removal from its parent is "AXUIElementDestroyed".
// Events arrive on the worker thread and are handed to the callback on the main thread.
class AtspiObserver final : public AccessibilityObserver
{
public:
    AtspiObserver(std::shared_ptr<AtspiWorker> worker, std::function<void(QString)> callback);
    ~AtspiObserver() override;

    Task<bool> addNotification(Element element, QString name) override;

    struct Shared;

private:
    std::shared_ptr<AtspiWorker> m_worker;
    std::shared_ptr<Shared> m_shared;
};

} // namespace orv::atspi
