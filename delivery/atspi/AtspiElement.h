#pragma once

#include "delivery/AccessibleElement.h"

#include <QString>

#include <memory>

typedef struct _AtspiAccessible AtspiAccessible;

namespace orv::atspi {

class AtspiWorker;

// An AT-SPI object, or the application of a process (which is found when it is read). Equality is by
// bus name and object path, so it needs no call. The reference is dropped on the worker thread.
class AtspiElement final : public AccessibleElement
{
public:
    // Takes over one reference of accessible (worker thread).
    static std::shared_ptr<AtspiElement> adopt(AtspiAccessible *accessible, std::weak_ptr<AtspiWorker> worker);
    static std::shared_ptr<AtspiElement> application(qint64 processID);
    ~AtspiElement() override;

    bool isEqual(const AccessibleElement &other) const override;

    // Worker thread only.
    AtspiAccessible *accessible() const { return m_accessible; }
    qint64 applicationProcess() const { return m_applicationProcess; }

private:
    AtspiElement() = default;

    AtspiAccessible *m_accessible = nullptr;
    std::weak_ptr<AtspiWorker> m_worker;
    QString m_bus;
    QString m_path;
    qint64 m_applicationProcess = 0;
};

} // namespace orv::atspi
