#pragma once

#include <QDBusConnection>
#include <QObject>

#include <chrono>
#include <optional>

namespace orv {

// One Orvanta per user session: the first instance owns the session-bus name io.orvanta.Orvanta and
// answers ShowWindow, Toggle and Cancel; a later start asks it to show its main window and exits. The name
// is held without allowing replacement, so no other program can take it from a running Orvanta; the bus
// itself frees the name of a process that died. A later start, and `orvanta toggle`/`cancel`, talk only to
// an Orvanta of this user; a holder that is another program, another account's, or does not answer is
// refused with a sentence saying so.
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
        refused,   // another program holds the name, or an Orvanta that does not answer: see refusal()
    };
    // What a later start does when an Orvanta already runs.
    enum class Running
    {
        showIt,   // ask it to show its main window (the windowed application)
        refuseMe, // end with a sentence (`orvanta dictate`: two would both act on every key)
    };
    // A command for the running instance, as `orvanta toggle` and `orvanta cancel` send it.
    enum class Command
    {
        toggle,
        cancel,
    };

    static QString serviceName() { return QStringLiteral("io.orvanta.Orvanta"); }
    static QString objectPath() { return QStringLiteral("/io/orvanta/Orvanta"); }

    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(),
                            std::chrono::milliseconds answerTimeout = std::chrono::seconds(3),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    Claim claim(Running running = Running::showIt);
    // Why the claim was refused, as a sentence.
    const QString &refusal() const { return m_refusal; }

    // Tells the running Orvanta of this user to start or finish (toggle) or to cancel the dictation. None
    // when delivered; otherwise why not, as a sentence.
    static std::optional<QString> send(Command command,
                                       QDBusConnection bus = QDBusConnection::sessionBus(),
                                       std::chrono::milliseconds answerTimeout = std::chrono::seconds(3));

public Q_SLOTS:
    Q_SCRIPTABLE void ShowWindow();
    Q_SCRIPTABLE void Toggle();
    Q_SCRIPTABLE void Cancel();

Q_SIGNALS:
    void showWindowRequested();
    void toggleRequested();
    void cancelRequested();

private:
    QDBusConnection m_bus;
    std::chrono::milliseconds m_answerTimeout;
    bool m_registered = false;
    QString m_refusal;
};

} // namespace orv
