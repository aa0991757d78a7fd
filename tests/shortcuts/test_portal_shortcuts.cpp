// The portal backend against a scripted GlobalShortcuts portal on a private session bus.
#include "base/LiveScheduler.h"
#include "shortcuts/GlobalShortcut.h"
#include "shortcuts/portal/PortalShortcutBackend.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/Files.h"

#include "tests/support/FakeShortcutPlatform.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace orv {
namespace {

const QString desktopPath = u"/org/freedesktop/portal/desktop"_s;
const QString shortcutsInterface = u"org.freedesktop.portal.GlobalShortcuts"_s;

// The portal as xdg-desktop-portal shows it: the interfaces it lists, CreateSession and BindShortcuts
// answered through Request objects, and Activated/Deactivated sent when the test presses.
class ScriptedPortal final : public QDBusVirtualObject
{
public:
    explicit ScriptedPortal(QDBusConnection bus, bool offersShortcuts)
        : m_bus(std::move(bus)), m_offers(offersShortcuts)
    {}

    uint bindAnswer = 0; // 0 bound, 1 the user dismissed the dialog
    QString session;
    QStringList boundIds;
    QStringList descriptions;
    QString preferredToggle;

    QString introspect(const QString &) const override
    {
        QString xml = u"<interface name=\"org.freedesktop.portal.Settings\"/>"_s;
        if (m_offers)
            xml += u"<interface name=\"%1\"/>"_s.arg(shortcutsInterface);
        return xml;
    }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        if (message.interface() != shortcutsInterface)
            return false;
        QString sender = message.service().mid(1);
        sender.replace(u'.', u'_');
        QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().constLast());
        const QString request =
            u"%1/request/%2/%3"_s.arg(desktopPath, sender, options.value(u"handle_token"_s).toString());
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        uint code = 0;
        QVariantMap results;
        if (message.member() == u"CreateSession"_s) {
            session =
                u"%1/session/%2/%3"_s.arg(desktopPath, sender, options.value(u"session_handle_token"_s).toString());
            results.insert(u"session_handle"_s, session);
        } else if (message.member() == u"BindShortcuts"_s) {
            const QDBusArgument shortcuts = message.arguments().at(1).value<QDBusArgument>();
            shortcuts.beginArray();
            while (!shortcuts.atEnd()) {
                QString id;
                QVariantMap shortcutOptions;
                shortcuts.beginStructure();
                shortcuts >> id >> shortcutOptions;
                shortcuts.endStructure();
                boundIds << id;
                descriptions << shortcutOptions.value(u"description"_s).toString();
                if (id == PortalShortcutBackend::toggleId())
                    preferredToggle = shortcutOptions.value(u"preferred_trigger"_s).toString();
            }
            shortcuts.endArray();
            code = bindAnswer;
        } else {
            return false;
        }
        // The answer comes later, as the desktop's dialog gives it.
        QTimer::singleShot(10, [this, request, code, results] {
            QDBusMessage response =
                QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
            response << code << results;
            m_bus.send(response);
        });
        return true;
    }

    void press(const QString &id, bool down, const QString &inSession = {})
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(desktopPath, shortcutsInterface, down ? u"Activated"_s : u"Deactivated"_s);
        signal << QVariant::fromValue(QDBusObjectPath(inSession.isEmpty() ? session : inSession)) << id
               << qulonglong{1000} << QVariantMap{};
        m_bus.send(signal);
    }

private:
    QDBusConnection m_bus;
    bool m_offers;
};

class PortalShortcutsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // No activatable services: the installed portal must not start in place of the scripted one.
        const QString config = folder.filePath(u"bus.conf"_s);
        ASSERT_TRUE(test::writeFile(
            config, "<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(folder.path()) +
                        "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                        "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>"));
        bus.start(u"dbus-daemon"_s, {u"--config-file="_s + config, u"--nofork"_s, u"--print-address=1"_s});
        if (!bus.waitForReadyRead(5000))
            GTEST_SKIP() << "dbus-daemon did not start";
        address = QString::fromUtf8(bus.readLine()).trimmed();
        portalThread.start();
    }
    void TearDown() override
    {
        shortcut.reset();
        portalThread.quit();
        portalThread.wait();
        portal.reset();
        for (const QString &name : {u"client"_s, u"portal"_s})
            QDBusConnection::disconnectFromBus(name);
        bus.terminate();
        bus.waitForFinished();
    }

    QDBusConnection connection(const QString &name) { return QDBusConnection::connectToBus(address, name); }

    // The portal answers on a thread of its own: the backend's calls wait for their answers.
    ScriptedPortal &servePortal(bool offersShortcuts)
    {
        QDBusConnection::disconnectFromBus(u"portal"_s);
        QDBusConnection portalBus = connection(u"portal"_s);
        portal = std::make_unique<ScriptedPortal>(portalBus, offersShortcuts);
        portal->moveToThread(&portalThread);
        portalBus.registerVirtualObject(desktopPath, portal.get());
        portalBus.interface()->registerService(u"org.freedesktop.portal.Desktop"_s);
        return *portal;
    }

    void make()
    {
        backend = std::make_shared<PortalShortcutBackend>(connection(u"client"_s), keys);
        GlobalShortcut::Operations ops;
        ops.observeSession = [](auto, auto) {};
        ops.stopObservingSession = [] {};
        PortalShortcutBackend::fill(ops, backend);
        shortcut = std::make_unique<GlobalShortcut>(
            scheduler, std::move(ops), keys,
            test::loggingCallbacks(log, [this](const QString &text) { status = text; }));
    }

    QTemporaryDir folder;
    QProcess bus;
    QString address;
    QThread portalThread;
    std::unique_ptr<ScriptedPortal> portal;
    LiveScheduler scheduler;
    test::FixedShortcutSettings keys;
    std::shared_ptr<PortalShortcutBackend> backend;
    std::unique_ptr<GlobalShortcut> shortcut;
    QStringList log;
    QString status;
};

// A desktop lists the interface only where it has it; without a portal at all nothing is offered either.
TEST_F(PortalShortcutsTest, offeredOnlyWhereThePortalListsGlobalShortcuts)
{
    EXPECT_FALSE(PortalShortcutBackend::offered(connection(u"client"_s)));
    servePortal(false);
    EXPECT_FALSE(PortalShortcutBackend::offered(connection(u"client"_s)));
    servePortal(true);
    EXPECT_TRUE(PortalShortcutBackend::offered(connection(u"client"_s)));
}

// Hold to dictate and the toggle are bound in one session; the hold shortcut's press and release begin and
// finish, its press under another session's handle is not ours, and Escape is not taken.
TEST_F(PortalShortcutsTest, holdAndToggleArriveAsTheX11KeysDo)
{
    servePortal(true);
    make();
    ASSERT_TRUE(shortcut->start());
    ASSERT_TRUE(test::waitUntil([&] { return backend->isBound(); }));
    EXPECT_EQ(portal->boundIds, QStringList({u"hold"_s, u"toggle"_s}));
    EXPECT_EQ(portal->descriptions.value(0), u"Hold to dictate"_s);
    EXPECT_EQ(portal->preferredToggle, u"CTRL+ALT+space"_s);
    EXPECT_EQ(status, GlobalShortcut::statusTexts(keys.holdKey()).ready);
    log.clear();

    portal->press(u"hold"_s, true);
    portal->press(u"hold"_s, true); // a held key repeats
    ASSERT_TRUE(test::waitUntil([&] { return log.size() == 1; }));
    portal->press(u"hold"_s, false);
    ASSERT_TRUE(test::waitUntil([&] { return log.size() == 2; }));
    portal->press(u"toggle"_s, true, desktopPath + u"/session/other/x"_s);
    portal->press(u"toggle"_s, true);
    ASSERT_TRUE(test::waitUntil([&] { return log.size() == 3; }));
    EXPECT_EQ(log, QStringList({u"fn begin"_s, u"fn finish"_s, u"toggle"_s}));

    shortcut->setCancelEnabled(true);
    EXPECT_FALSE(shortcut->cancelEnabled()) << "the portal cannot take Escape for a dictation only";
}

// The user dismisses the desktop's dialog: the hold key says it cannot be read, and a press that arrives
// anyway starts nothing.
TEST_F(PortalShortcutsTest, aDismissedDialogLeavesTheHoldKeyUnavailable)
{
    servePortal(true).bindAnswer = 1;
    make();
    ASSERT_TRUE(shortcut->start());
    ASSERT_TRUE(test::waitUntil([&] { return backend->failed(); }));
    EXPECT_TRUE(test::waitUntil([&] { return status == GlobalShortcut::statusTexts(keys.holdKey()).wayland; }));
    test::waitUntil([] { return false; }, 100);
    log.clear();
    portal->press(u"hold"_s, true);
    portal->press(u"toggle"_s, true);
    test::waitUntil([] { return false; }, 100);
    EXPECT_TRUE(log.isEmpty()) << log.join(u',').toStdString();
}

} // namespace
} // namespace orv
