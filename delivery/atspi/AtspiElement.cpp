#include "delivery/atspi/AtspiElement.h"

#include "delivery/atspi/AtspiWorker.h"

#include <atspi/atspi.h>

namespace orv::atspi {

std::shared_ptr<AtspiElement> AtspiElement::adopt(AtspiAccessible *accessible, std::weak_ptr<AtspiWorker> worker)
{
    if (!accessible)
        return nullptr;
    std::shared_ptr<AtspiElement> element(new AtspiElement);
    element->m_accessible = accessible;
    element->m_worker = std::move(worker);
    const AtspiObject *object = ATSPI_OBJECT(accessible);
    if (object->app && object->app->bus_name)
        element->m_bus = QString::fromUtf8(object->app->bus_name);
    if (object->path)
        element->m_path = QString::fromUtf8(object->path);
    return element;
}

std::shared_ptr<AtspiElement> AtspiElement::application(qint64 processID)
{
    std::shared_ptr<AtspiElement> element(new AtspiElement);
    element->m_applicationProcess = processID;
    return element;
}

AtspiElement::~AtspiElement()
{
    if (!m_accessible)
        return;
    if (auto worker = m_worker.lock())
        worker->submit([accessible = m_accessible] { g_object_unref(accessible); });
    // Without the worker the reference is left; libatspi is gone with it.
}

bool AtspiElement::isEqual(const AccessibleElement &other) const
{
    const auto *element = dynamic_cast<const AtspiElement *>(&other);
    if (!element)
        return false;
    if (m_applicationProcess || element->m_applicationProcess)
        return m_applicationProcess == element->m_applicationProcess;
    return !m_path.isEmpty() && m_bus == element->m_bus && m_path == element->m_path;
}

} // namespace orv::atspi
