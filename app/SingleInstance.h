#pragma once

#include <QDBusConnection>
#include <QObject>

#include <chrono>

namespace orv {

// One Orvanta per user session: the first instance owns the session-bus name io.orvanta.Orvanta and
// answers ShowWindow; a later start asks it to show its main window and exits. A holder that no longer
// answers (stopped, hung) loses the name to the new start; the bus itself frees the name of a process
// that died.
class SingleInstance final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.orvanta.Orvanta")

public:
    enum class Claim
    {
        first,     // this process owns the name now
        forwarded, // the running instance was asked to show its window
        alone,     // no session bus: run without the guarantee
    };

    static QString serviceName() { return QStringLiteral("io.orvanta.Orvanta"); }
    static QString objectPath() { return QStringLiteral("/io/orvanta/Orvanta"); }

    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(),
                            std::chrono::milliseconds answerTimeout = std::chrono::seconds(3),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    Claim claim();

public Q_SLOTS:
    Q_SCRIPTABLE void ShowWindow();

Q_SIGNALS:
    void showWindowRequested();

private:
    QDBusConnection m_bus;
    std::chrono::milliseconds m_answerTimeout;
    bool m_registered = false;
};

} // namespace orv
