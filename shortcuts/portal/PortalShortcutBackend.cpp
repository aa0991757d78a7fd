#include "shortcuts/portal/PortalShortcutBackend.h"

#include "shortcuts/ShortcutKeys.h"
#include "shortcuts/ShortcutSettings.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>

namespace orv {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut
{
    QString id;
    QVariantMap options;
};

} // namespace
} // namespace orv

Q_DECLARE_METATYPE(orv::PortalShortcut)

namespace orv {

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.options;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.options;
    argument.endStructure();
    return argument;
}

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        return true;
    }();
    (void)registered;
}

// The toggle spelled as the portal's suggested trigger expects it (freedesktop key names): "CTRL+ALT+space".
QString preferredTrigger(const QString &toggle)
{
    const auto parsed = shortcutkeys::parseToggle(toggle);
    if (!parsed)
        return {};
    return parsed.value().spelled(
        {QStringLiteral("CTRL"), QStringLiteral("ALT"), QStringLiteral("SHIFT"), QStringLiteral("LOGO")},
        parsed.value().keysymName());
}

} // namespace

bool PortalShortcutBackend::offered(const QDBusConnection &bus)
{
    if (!bus.isConnected())
        return false;
    const QDBusMessage answer = bus.call(
        QDBusMessage::createMethodCall(portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                       QStringLiteral("Introspect")),
        QDBus::Block, 5000);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return false;
    return answer.arguments().constFirst().toString().contains(QStringLiteral("\"%1\"").arg(shortcutsInterface));
}

PortalShortcutBackend::PortalShortcutBackend(QDBusConnection bus, const ShortcutSettings &settings)
    : m_bus(std::move(bus)), m_settings(settings)
{
    registerTypes();
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(activated(QDBusMessage)));
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Deactivated"), this,
                  SLOT(deactivated(QDBusMessage)));
}

PortalShortcutBackend::~PortalShortcutBackend()
{
    if (!m_session.isEmpty())
        m_bus.call(QDBusMessage::createMethodCall(portalService, m_session,
                                                  QStringLiteral("org.freedesktop.portal.Session"),
                                                  QStringLiteral("Close")),
                   QDBus::NoBlock);
}

void PortalShortcutBackend::fill(GlobalShortcut::Operations &ops, std::shared_ptr<PortalShortcutBackend> backend)
{
    PortalShortcutBackend *self = backend.get();
    ops.createTap = [self](std::function<bool(const GlobalShortcut::TapEvent &)> onEvent,
                           std::function<void(GlobalShortcut::TapDisabled)>) { return self->createTap(onEvent); };
    ops.enableTap = [self](bool enabled) { self->enableTap(enabled); };
    ops.removeTap = [self] { self->removeTap(); };
    ops.modifierFlags = [self] { return self->modifierFlags(); };
    ops.isTrusted = [self] { return !self->failed(); };
    ops.isSecureInput = [] { return false; };
    ops.installHotKeyHandler = [self](std::function<bool(GlobalShortcut::HotKey)> handler) {
        return self->installHotKeyHandler(std::move(handler));
    };
    ops.removeHotKeyHandler = [self] { self->removeHotKeyHandler(); };
    ops.registerHotKey = [self](GlobalShortcut::HotKey key) { return self->registerHotKey(key); };
    ops.unregisterHotKey = [self](GlobalShortcut::HotKey key) { self->unregisterHotKey(key); };
    ops.waylandSession = true;
    ops.owner = std::move(backend);
}

bool PortalShortcutBackend::createTap(std::function<bool(const GlobalShortcut::TapEvent &)> onEvent)
{
    if (failed())
        return false;
    m_onTapEvent = std::move(onEvent);
    m_holdDown = false;
    createSession();
    return true;
}

void PortalShortcutBackend::removeTap()
{
    m_onTapEvent = nullptr;
    m_tapEnabled = false;
}

std::uint64_t PortalShortcutBackend::modifierFlags() const
{
    return m_holdDown ? FnHoldState::fnFlag : 0;
}

std::int32_t PortalShortcutBackend::installHotKeyHandler(std::function<bool(GlobalShortcut::HotKey)> handler)
{
    m_hotKeyHandler = std::move(handler);
    return 0;
}

void PortalShortcutBackend::removeHotKeyHandler()
{
    m_hotKeyHandler = nullptr;
}

std::int32_t PortalShortcutBackend::registerHotKey(GlobalShortcut::HotKey key)
{
    if (key != GlobalShortcut::HotKey::toggle || failed())
        return statusNotOffered;
    createSession();
    return 0;
}

void PortalShortcutBackend::createSession()
{
    if (m_step != Step::none)
        return;
    m_step = Step::creating;
    const QString token = QStringLiteral("orvanta%1").arg(++m_tokens);
    const QVariantMap options{{QStringLiteral("handle_token"), token},
                              {QStringLiteral("session_handle_token"), QStringLiteral("orvanta_keys")}};
    if (!request(QStringLiteral("CreateSession"), {options}, token))
        return;
}

void PortalShortcutBackend::bindShortcuts()
{
    m_step = Step::binding;
    const QString token = QStringLiteral("orvanta%1").arg(++m_tokens);
    QVariantMap toggle{{QStringLiteral("description"), QStringLiteral("Start or finish a dictation")}};
    if (const QString trigger = preferredTrigger(m_settings.toggle()); !trigger.isEmpty())
        toggle.insert(QStringLiteral("preferred_trigger"), trigger);
    const QList<PortalShortcut> shortcuts{
        {holdId(), {{QStringLiteral("description"), QStringLiteral("Hold to dictate")}}},
        {toggleId(), toggle},
    };
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString(),
             QVariantMap{{QStringLiteral("handle_token"), token}}},
            token);
}

bool PortalShortcutBackend::request(const QString &method, const QVariantList &arguments, const QString &token)
{
    // The Response may come before the call's answer: listen on the path the portal derives from our
    // connection's name and the token, and on the one it answers if that differs.
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString expected = QStringLiteral("%1/request/%2/%3").arg(portalPath, sender, token);
    const auto listen = [this](const QString &path) {
        m_requestPath = path;
        m_bus.connect(portalService, path, requestInterface, QStringLiteral("Response"), this,
                      SLOT(response(uint, QVariantMap)));
    };
    listen(expected);
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    call.setArguments(arguments);
    const QDBusMessage answer = m_bus.call(call, QDBus::Block, 10000);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
        m_bus.disconnect(portalService, expected, requestInterface, QStringLiteral("Response"), this,
                         SLOT(response(uint, QVariantMap)));
        fail(QStringLiteral("The desktop's shortcut service did not answer (%1).").arg(answer.errorMessage()));
        return false;
    }
    const QString handle = answer.arguments().constFirst().value<QDBusObjectPath>().path();
    if (!handle.isEmpty() && handle != expected) {
        m_bus.disconnect(portalService, expected, requestInterface, QStringLiteral("Response"), this,
                         SLOT(response(uint, QVariantMap)));
        listen(handle);
    }
    return true;
}

void PortalShortcutBackend::response(uint code, const QVariantMap &results)
{
    const QDBusMessage &signal = message();
    if (signal.path() != m_requestPath)
        return;
    m_bus.disconnect(portalService, m_requestPath, requestInterface, QStringLiteral("Response"), this,
                     SLOT(response(uint, QVariantMap)));
    m_requestPath.clear();
    if (code != 0) {
        fail(code == 1 ? QStringLiteral("The shortcuts were not confirmed in the desktop's dialog.")
                       : QStringLiteral("The desktop's shortcut service refused the shortcuts."));
        return;
    }
    if (m_step == Step::creating) {
        m_session = results.value(QStringLiteral("session_handle")).toString();
        if (m_session.isEmpty())
            m_session = results.value(QStringLiteral("session_handle")).value<QDBusObjectPath>().path();
        if (m_session.isEmpty()) {
            fail(QStringLiteral("The desktop's shortcut service gave no session."));
            return;
        }
        bindShortcuts();
        return;
    }
    if (m_step == Step::binding) {
        m_step = Step::bound;
        m_bound = true;
        QList<PortalShortcut> bound;
        const QVariant shortcuts = results.value(QStringLiteral("shortcuts"));
        if (shortcuts.canConvert<QDBusArgument>())
            shortcuts.value<QDBusArgument>() >> bound;
        for (const PortalShortcut &shortcut : bound)
            m_triggers.insert(shortcut.id, shortcut.options.value(QStringLiteral("trigger_description")));
        if (onStateChange)
            onStateChange();
    }
}

void PortalShortcutBackend::fail(const QString &why)
{
    m_step = Step::none;
    m_bound = false;
    m_failure = why;
    holdChanged(false);
    if (onStateChange)
        onStateChange();
}

// Activated and Deactivated: (o session_handle, s shortcut_id, t timestamp, a{sv} options).
void PortalShortcutBackend::activated(const QDBusMessage &signal)
{
    const QVariantList arguments = signal.arguments();
    if (arguments.size() < 2 || arguments.at(0).value<QDBusObjectPath>().path() != m_session || !m_bound)
        return;
    const QString id = arguments.at(1).toString();
    if (id == holdId())
        holdChanged(true);
    else if (id == toggleId() && m_hotKeyHandler)
        m_hotKeyHandler(GlobalShortcut::HotKey::toggle);
}

void PortalShortcutBackend::deactivated(const QDBusMessage &signal)
{
    const QVariantList arguments = signal.arguments();
    if (arguments.size() >= 2 && arguments.at(0).value<QDBusObjectPath>().path() == m_session &&
        arguments.at(1).toString() == holdId())
        holdChanged(false);
}

void PortalShortcutBackend::holdChanged(bool down)
{
    if (down == m_holdDown)
        return;
    m_holdDown = down;
    if (m_onTapEvent && m_tapEnabled)
        m_onTapEvent({FnHoldState::flagsChangedType, FnHoldState::fnKeyCode, down ? FnHoldState::fnFlag : 0});
}

} // namespace orv
