#include "app/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace orv {

SingleInstance::SingleInstance(QDBusConnection bus, std::chrono::milliseconds answerTimeout, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)), m_answerTimeout(answerTimeout)
{}

SingleInstance::~SingleInstance()
{
    if (!m_registered)
        return;
    m_bus.unregisterObject(objectPath());
    if (QDBusConnectionInterface *bus = m_bus.interface())
        bus->unregisterService(serviceName());
}

SingleInstance::Claim SingleInstance::claim()
{
    QDBusConnectionInterface *bus = m_bus.isConnected() ? m_bus.interface() : nullptr;
    if (!bus)
        return Claim::alone;
    // The object is there before the name, so a request arriving at once is answered.
    m_registered = m_bus.registerObject(objectPath(), this, QDBusConnection::ExportScriptableSlots);

    const auto owned = [](const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> &reply) {
        return reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    };
    if (owned(bus->registerService(serviceName(), QDBusConnectionInterface::DontQueueService,
                                   QDBusConnectionInterface::AllowReplacement)))
        return Claim::first;

    const QDBusMessage request =
        QDBusMessage::createMethodCall(serviceName(), objectPath(), serviceName(), QStringLiteral("ShowWindow"));
    const QDBusMessage answer = m_bus.call(request, QDBus::Block, static_cast<int>(m_answerTimeout.count()));
    if (answer.type() == QDBusMessage::ReplyMessage)
        return Claim::forwarded;

    // The holder did not answer: this start takes the name over rather than being blocked by it.
    bus->registerService(serviceName(), QDBusConnectionInterface::ReplaceExistingService,
                         QDBusConnectionInterface::AllowReplacement);
    return Claim::first;
}

void SingleInstance::ShowWindow()
{
    Q_EMIT showWindowRequested();
}

} // namespace orv
