#pragma once

#include "shortcuts/GlobalShortcut.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

#include <functional>
#include <memory>

namespace orv {

class ShortcutSettings;

// The hold key and the toggle through the desktop portal's GlobalShortcuts interface (KDE Plasma 5.27,
// GNOME 48 and later): one session with two shortcuts, "hold" (Hold to dictate) and "toggle", which the
// user binds in the desktop's own dialog. Activated and Deactivated of "hold" are the hold key's press and
// release, fed to the tap as the X11 backend's are; Activated of "toggle" is the toggle's press. The portal
// cannot take Escape for the time of a dictation only, so cancelling is the panel's or `orvanta cancel`'s.
//
// The session is set up asynchronously (each step answers through a Request object's Response signal):
// registering the toggle succeeds at once while the portal is offered, and a refusal later (the user
// dismissed the dialog, the portal failed) turns the backend untrusted, so the service says the hold key
// is unavailable.
class PortalShortcutBackend : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    static constexpr std::int32_t statusNotOffered = 3;

    static QString holdId() { return QStringLiteral("hold"); }
    static QString toggleId() { return QStringLiteral("toggle"); }

    // Whether the session bus's portal lists the GlobalShortcuts interface.
    static bool offered(const QDBusConnection &bus);

    PortalShortcutBackend(QDBusConnection bus, const ShortcutSettings &settings);
    ~PortalShortcutBackend() override;

    // The hot-key and tap members of a table bound to `backend`; the session notices are left to the caller.
    static void fill(GlobalShortcut::Operations &operations, std::shared_ptr<PortalShortcutBackend> backend);

    // The session is bound (the shortcuts exist); false before, and after a refusal.
    bool isBound() const { return m_bound; }
    bool failed() const { return !m_failure.isEmpty(); }
    // Why the portal refused, as a sentence; empty while nothing went wrong.
    const QString &failure() const { return m_failure; }
    // What the desktop bound the shortcuts to, as it describes them ("Ctrl+Alt+Space"); empty when unknown.
    QString triggerOf(const QString &id) const { return m_triggers.value(id).toString(); }

    // Reported when the session is bound or refused.
    std::function<void()> onStateChange;

    bool createTap(std::function<bool(const GlobalShortcut::TapEvent &)> onEvent);
    void enableTap(bool enabled) { m_tapEnabled = enabled; }
    void removeTap();
    std::uint64_t modifierFlags() const;
    std::int32_t installHotKeyHandler(std::function<bool(GlobalShortcut::HotKey)> handler);
    void removeHotKeyHandler();
    std::int32_t registerHotKey(GlobalShortcut::HotKey key);
    void unregisterHotKey(GlobalShortcut::HotKey) {}

private Q_SLOTS:
    void response(uint code, const QVariantMap &results);
    void activated(const QDBusMessage &signal);
    void deactivated(const QDBusMessage &signal);

private:
    enum class Step
    {
        none,
        creating,
        binding,
        bound,
    };

    void createSession();
    void bindShortcuts();
    // Calls a portal method that answers with a Request; its Response arrives in response().
    bool request(const QString &method, const QVariantList &arguments, const QString &token);
    void fail(const QString &why);
    void holdChanged(bool down);

    QDBusConnection m_bus;
    const ShortcutSettings &m_settings;
    Step m_step = Step::none;
    QString m_requestPath;
    QString m_session;
    bool m_bound = false;
    QString m_failure;
    QVariantMap m_triggers;
    int m_tokens = 0;

    std::function<bool(const GlobalShortcut::TapEvent &)> m_onTapEvent;
    bool m_tapEnabled = false;
    bool m_holdDown = false;
    std::function<bool(GlobalShortcut::HotKey)> m_hotKeyHandler;
};

} // namespace orv
