#include "app/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace orv {

namespace {

struct Holder
{
    QString uniqueName; // the connection holding the name now: asked directly, so it cannot change meanwhile
    QString process;    // " (process N)" or empty
    std::optional<QString> problem; // why it is no Orvanta of this user; `consequence` ends the sentence
};

// Who holds the name, and whether it is an Orvanta of this user. Anything else holding the name would be
// told what to do and answer whatever it likes.
Holder holderOf(const QDBusConnection &connection, QDBusConnectionInterface &bus, const QString &consequence)
{
    Holder holder;
    // Asked plainly: the interface's own call warns on stderr when nobody holds the name.
    const QDBusMessage owner = connection.call(
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"))
        << SingleInstance::serviceName());
    if (owner.type() != QDBusMessage::ReplyMessage || owner.arguments().isEmpty())
        return holder;
    holder.uniqueName = owner.arguments().constFirst().toString();
    const QDBusReply<uint> uid = bus.serviceUid(holder.uniqueName);
    const QDBusReply<uint> pid = bus.servicePid(holder.uniqueName);
    holder.process = pid.isValid() ? QStringLiteral(" (process %1)").arg(pid.value()) : QString();
    if (uid.isValid() && uid.value() != ::getuid()) {
        passwd entry{};
        passwd *found = nullptr;
        char buffer[4096];
        const QString account = getpwuid_r(uid.value(), &entry, buffer, sizeof buffer, &found) == 0 && found
                                    ? QString::fromLocal8Bit(found->pw_name)
                                    : QString::number(uid.value());
        holder.problem = QStringLiteral("A program of the account “%1”%2 holds the name %3 on your session bus, so %4")
                             .arg(account, holder.process, SingleInstance::serviceName(), consequence);
        return holder;
    }
    const QString ours = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString theirs =
        pid.isValid() ? QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid.value())).canonicalFilePath() : QString();
    if (!theirs.isEmpty() && theirs != ours)
        holder.problem = QStringLiteral("Another program, %1%2, holds the name %3 on your session bus, so %4")
                             .arg(theirs, holder.process, SingleInstance::serviceName(), consequence);
    return holder;
}

} // namespace

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

SingleInstance::Claim SingleInstance::claim(Running running)
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

    const Holder holder = holderOf(m_bus, *bus, QStringLiteral("Orvanta does not start."));
    if (holder.problem) {
        m_refusal = *holder.problem;
        return Claim::refused;
    }
    if (running == Running::refuseMe) {
        m_refusal = QStringLiteral("Orvanta is already running%1 and answers your keys; quit it before starting "
                                   "another one. To start or finish from a command, use: orvanta toggle")
                        .arg(holder.process);
        return Claim::refused;
    }
    const QDBusMessage request =
        QDBusMessage::createMethodCall(holder.uniqueName, objectPath(), serviceName(), QStringLiteral("ShowWindow"));
    const QDBusMessage answer = m_bus.call(request, QDBus::Block, static_cast<int>(m_answerTimeout.count()));
    if (answer.type() == QDBusMessage::ReplyMessage)
        return Claim::forwarded;
    m_refusal = QStringLiteral("Orvanta is already running%1 but does not answer. Quit it and start Orvanta again.")
                    .arg(holder.process);
    return Claim::refused;
}

std::optional<QString>
SingleInstance::send(Command command, QDBusConnection bus, std::chrono::milliseconds answerTimeout)
{
    const QString notRunning =
        QStringLiteral("Orvanta is not running, so there is nothing to %1. Start it first "
                       "with: orvanta (or orvanta dictate)")
            .arg(command == Command::toggle ? QStringLiteral("start or finish") : QStringLiteral("cancel"));
    QDBusConnectionInterface *interface = bus.isConnected() ? bus.interface() : nullptr;
    if (!interface)
        return QStringLiteral("There is no session bus to reach Orvanta through (DBUS_SESSION_BUS_ADDRESS is not "
                              "set or does not answer).");
    const Holder holder = holderOf(bus, *interface, QStringLiteral("nothing was sent to it."));
    if (holder.problem)
        return holder.problem;
    if (holder.uniqueName.isEmpty())
        return notRunning;
    const QString method = command == Command::toggle ? QStringLiteral("Toggle") : QStringLiteral("Cancel");
    const QDBusMessage answer =
        bus.call(QDBusMessage::createMethodCall(holder.uniqueName, objectPath(), serviceName(), method), QDBus::Block,
                 static_cast<int>(answerTimeout.count()));
    if (answer.type() == QDBusMessage::ReplyMessage)
        return std::nullopt;
    if (answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
        return notRunning; // it ended meanwhile
    if (answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
        return QStringLiteral("The running Orvanta%1 is an older version without this command. Quit it and start "
                              "it again.")
            .arg(holder.process);
    return QStringLiteral("Orvanta is running%1 but does not answer. Quit it and start it again.").arg(holder.process);
}

void SingleInstance::ShowWindow()
{
    Q_EMIT showWindowRequested();
}

void SingleInstance::Toggle()
{
    Q_EMIT toggleRequested();
}

void SingleInstance::Cancel()
{
    Q_EMIT cancelRequested();
}

} // namespace orv
