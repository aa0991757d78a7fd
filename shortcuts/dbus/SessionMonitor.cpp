#include "shortcuts/dbus/SessionMonitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <unistd.h>

namespace orv {

namespace {
const QString login1Service = QStringLiteral("org.freedesktop.login1");
const QString login1Path = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

struct ScreenSaver
{
    const char *path;
    const char *interface;
};
constexpr ScreenSaver screenSavers[] = {
    {"/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {"/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {"/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
};
} // namespace

SessionMonitor::SessionMonitor(QObject *parent) : QObject(parent) {}

SessionMonitor::~SessionMonitor()
{
    stop();
}

void SessionMonitor::start(std::function<void()> onSuspend, std::function<void()> onResume)
{
    stop();
    m_onSuspend = std::move(onSuspend);
    m_onResume = std::move(onResume);
    m_running = true;
    const quint64 attempt = ++m_startCount;

    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        system.connect(login1Service, login1Path, managerInterface, QStringLiteral("PrepareForSleep"), this,
                       SLOT(noteSleeping(bool)));
        // Our own session: the one named by the environment, else the one our process belongs to.
        const QByteArray sessionId = qgetenv("XDG_SESSION_ID");
        QDBusMessage lookup = sessionId.isEmpty()
                                  ? QDBusMessage::createMethodCall(login1Service, login1Path, managerInterface,
                                                                   QStringLiteral("GetSessionByPID"))
                                  : QDBusMessage::createMethodCall(login1Service, login1Path, managerInterface,
                                                                   QStringLiteral("GetSession"));
        if (sessionId.isEmpty())
            lookup << static_cast<uint>(::getpid());
        else
            lookup << QString::fromLocal8Bit(sessionId);
        auto *watcher = new QDBusPendingCallWatcher(system.asyncCall(lookup, 2000), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            QDBusPendingReply<QDBusObjectPath> reply = *call;
            if (!m_running || attempt != m_startCount || reply.isError())
                return;
            connectSession(reply.value().path());
        });
    }

    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        for (const ScreenSaver &saver : screenSavers) {
            const QString path = QString::fromLatin1(saver.path);
            const QString interface = QString::fromLatin1(saver.interface);
            session.connect(QString(), path, interface, QStringLiteral("ActiveChanged"), this,
                            SLOT(noteScreenSaver(bool)));
            // A screen saver that already runs sends no signal until it stops: ask. The service has the
            // interface's name; where no such service exists the call fails and says nothing.
            const QDBusMessage ask =
                QDBusMessage::createMethodCall(interface, path, interface, QStringLiteral("GetActive"));
            auto *watcher = new QDBusPendingCallWatcher(session.asyncCall(ask, 2000), this);
            connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<bool> reply = *call;
                if (m_running && attempt == m_startCount && !reply.isError())
                    noteScreenSaver(reply.value());
            });
        }
    }
}

void SessionMonitor::connectSession(const QString &path)
{
    m_sessionPath = path;
    QDBusConnection system = QDBusConnection::systemBus();
    system.connect(login1Service, path, sessionInterface, QStringLiteral("Lock"), this, SLOT(sessionLocked()));
    system.connect(login1Service, path, sessionInterface, QStringLiteral("Unlock"), this, SLOT(sessionUnlocked()));
    system.connect(login1Service, path, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                   SLOT(sessionPropertiesChanged(QString, QVariantMap, QStringList)));
    // Started while locked or switched away: the state as it is now, read like a change of everything.
    QDBusMessage ask =
        QDBusMessage::createMethodCall(login1Service, path, propertiesInterface, QStringLiteral("GetAll"));
    ask << sessionInterface;
    auto *watcher = new QDBusPendingCallWatcher(system.asyncCall(ask, 2000), this);
    const quint64 attempt = m_startCount;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QVariantMap> reply = *call;
        if (m_running && attempt == m_startCount && !reply.isError())
            sessionPropertiesChanged(sessionInterface, reply.value(), {});
    });
}

void SessionMonitor::disconnectAll()
{
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        system.disconnect(login1Service, login1Path, managerInterface, QStringLiteral("PrepareForSleep"), this,
                          SLOT(noteSleeping(bool)));
        if (!m_sessionPath.isEmpty()) {
            system.disconnect(login1Service, m_sessionPath, sessionInterface, QStringLiteral("Lock"), this,
                              SLOT(sessionLocked()));
            system.disconnect(login1Service, m_sessionPath, sessionInterface, QStringLiteral("Unlock"), this,
                              SLOT(sessionUnlocked()));
            system.disconnect(login1Service, m_sessionPath, propertiesInterface, QStringLiteral("PropertiesChanged"),
                              this, SLOT(sessionPropertiesChanged(QString, QVariantMap, QStringList)));
        }
    }
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        for (const ScreenSaver &saver : screenSavers)
            session.disconnect(QString(), QString::fromLatin1(saver.path), QString::fromLatin1(saver.interface),
                               QStringLiteral("ActiveChanged"), this, SLOT(noteScreenSaver(bool)));
    }
    m_sessionPath.clear();
}

void SessionMonitor::stop()
{
    if (!m_running)
        return;
    m_running = false;
    ++m_startCount;
    disconnectAll();
    m_onSuspend = nullptr;
    m_onResume = nullptr;
    m_reasons = 0;
}

void SessionMonitor::setReason(Reason reason, bool present)
{
    if (!m_running)
        return;
    const bool wasSuspended = m_reasons != 0;
    m_reasons = present ? (m_reasons | reason) : (m_reasons & ~static_cast<unsigned>(reason));
    const bool suspended = m_reasons != 0;
    if (suspended && !wasSuspended && m_onSuspend)
        m_onSuspend();
    else if (!suspended && wasSuspended && m_onResume)
        m_onResume();
}

void SessionMonitor::noteSleeping(bool sleeping)
{
    setReason(Reason::sleeping, sleeping);
}

void SessionMonitor::noteLocked(bool isLocked)
{
    setReason(Reason::locked, isLocked);
}

void SessionMonitor::noteActive(bool active)
{
    setReason(Reason::inactive, !active);
}

void SessionMonitor::noteScreenSaver(bool active)
{
    setReason(Reason::screenSaver, active);
}

void SessionMonitor::sessionLocked()
{
    noteLocked(true);
}

void SessionMonitor::sessionUnlocked()
{
    noteLocked(false);
}

void SessionMonitor::sessionPropertiesChanged(const QString &interface,
                                              const QVariantMap &changed,
                                              const QStringList &invalidated)
{
    Q_UNUSED(invalidated);
    if (interface != sessionInterface)
        return;
    const auto active = changed.find(QStringLiteral("Active"));
    if (active != changed.end())
        noteActive(active->toBool());
    const auto lockedHint = changed.find(QStringLiteral("LockedHint"));
    if (lockedHint != changed.end())
        noteLocked(lockedHint->toBool());
}

} // namespace orv
