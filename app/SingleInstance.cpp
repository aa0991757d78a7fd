#include "app/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

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
                                   QDBusConnectionInterface::DontAllowReplacement)))
        return Claim::first;

    // Hand over only to an Orvanta of this user: anything else holding the name would be told what to show
    // and let this start end without a word.
    const QDBusReply<uint> uid = bus->serviceUid(serviceName());
    const QDBusReply<uint> pid = bus->servicePid(serviceName());
    const QString process = pid.isValid() ? QStringLiteral(" (process %1)").arg(pid.value()) : QString();
    if (uid.isValid() && uid.value() != ::getuid()) {
        passwd entry{};
        passwd *found = nullptr;
        char buffer[4096];
        const QString account = getpwuid_r(uid.value(), &entry, buffer, sizeof buffer, &found) == 0 && found
                                    ? QString::fromLocal8Bit(found->pw_name)
                                    : QString::number(uid.value());
        m_refusal = QStringLiteral("A program of the account “%1”%2 holds the name %3 on your session bus, so "
                                   "Orvanta does not start.")
                        .arg(account, process, serviceName());
        return Claim::refused;
    }
    const QString ours = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString theirs =
        pid.isValid() ? QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid.value())).canonicalFilePath() : QString();
    if (!theirs.isEmpty() && theirs != ours) {
        m_refusal = QStringLiteral("Another program, %1%2, holds the name %3 on your session bus, so Orvanta cannot "
                                   "start. Quit that program and start Orvanta again.")
                        .arg(theirs, process, serviceName());
        return Claim::refused;
    }

    const QDBusMessage request =
        QDBusMessage::createMethodCall(serviceName(), objectPath(), serviceName(), QStringLiteral("ShowWindow"));
    const QDBusMessage answer = m_bus.call(request, QDBus::Block, static_cast<int>(m_answerTimeout.count()));
    if (answer.type() == QDBusMessage::ReplyMessage)
        return Claim::forwarded;
    m_refusal = QStringLiteral("Orvanta is already running%1 but does not answer. Quit it and start Orvanta again.")
                    .arg(process);
    return Claim::refused;
}

void SingleInstance::ShowWindow()
{
    Q_EMIT showWindowRequested();
}

} // namespace orv
