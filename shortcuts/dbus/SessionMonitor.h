#pragma once

#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace orv {

// Tells the shortcut service when the computer sleeps, the session is locked or switched away, or the
// screen saver runs: logind on the system bus (Manager.PrepareForSleep; the session's Lock, Unlock and
// Active) and the screen-saver interfaces on the session bus (org.freedesktop.ScreenSaver,
// org.gnome.ScreenSaver ActiveChanged), each read once at start too, so that a start while locked is
// paused. Reports one suspend when the first reason appears and one resume when the last one is gone,
// so waking a locked computer does not resume the keys.
class SessionMonitor : public QObject
{
    Q_OBJECT

public:
    explicit SessionMonitor(QObject *parent = nullptr);
    ~SessionMonitor() override;

    // Connects to whichever buses exist; without them nothing is ever reported.
    void start(std::function<void()> onSuspend, std::function<void()> onResume);
    void stop();
    bool isSuspended() const { return m_reasons != 0; }

public Q_SLOTS:
    void noteSleeping(bool sleeping);
    void noteLocked(bool locked);
    void noteActive(bool active);
    void noteScreenSaver(bool active);

private Q_SLOTS:
    void sessionLocked();
    void sessionUnlocked();
    void sessionPropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);

private:
    enum Reason : unsigned
    {
        sleeping = 1,
        locked = 2,
        inactive = 4,
        screenSaver = 8
    };
    void setReason(Reason reason, bool present);
    void connectSession(const QString &path);
    void disconnectAll();

    std::function<void()> m_onSuspend;
    std::function<void()> m_onResume;
    unsigned m_reasons = 0;
    bool m_running = false;
    QString m_sessionPath;
    quint64 m_startCount = 0; // a session lookup answered after stop() or a later start() is ignored
};

} // namespace orv
