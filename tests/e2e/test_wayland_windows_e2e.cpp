// The windowed orvanta on a headless Wayland desktop with no X server at all (scripts/with-wayland.sh): it
// picks Qt's Wayland platform itself, its main window shows its pages to a screen reader, its tray icon goes
// to the desktop's StatusNotifier watcher, and a SIGTERM ends it cleanly.
#include "tests/support/QtPrinters.h"
#include "tests/support/RunningOrvanta.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

// The tray of a Wayland desktop (KDE, GNOME's AppIndicator extension, waybar): there is no X tray to embed
// into, so an icon exists only once it registers with this watcher on the session bus.
class TrayWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    // The bus names of the processes whose icons registered.
    QStringList senders;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &) { senders.append(message().service()); }
    void RegisterStatusNotifierHost(const QString &) {}
};

// The window of process `pid` in sway's tree of outputs, workspaces and containers.
QJsonObject swayWindow(const QJsonObject &node, qint64 pid)
{
    if (node.value("pid"_L1).toInteger() == pid)
        return node;
    for (const char *children : {"nodes", "floating_nodes"})
        for (const QJsonValue &child : node.value(QLatin1String(children)).toArray())
            if (const QJsonObject found = swayWindow(child.toObject(), pid); !found.isEmpty())
                return found;
    return {};
}

QJsonObject swayTree()
{
    const QDir runtime(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    const QStringList sockets = runtime.entryList({u"sway-ipc.*.sock"_s}, QDir::System);
    if (sockets.isEmpty())
        return {};
    QProcess swaymsg;
    swaymsg.start(u"swaymsg"_s, {u"-s"_s, runtime.filePath(sockets.first()), u"-r"_s, u"-t"_s, u"get_tree"_s});
    swaymsg.waitForFinished(10000);
    return QJsonDocument::fromJson(swaymsg.readAllStandardOutput()).object();
}

} // namespace

TEST(WaylandWindows, orvantaOpensItsWindowAndTrayNativelyAndQuitsOnSigterm)
{
    const QString compositor = qEnvironmentVariable("ORVANTA_TEST_WAYLAND");
    if (compositor.isEmpty())
        GTEST_SKIP() << "needs the Wayland desktop of scripts/with-wayland.sh";
    TrayWatcher tray;
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerObject(u"/StatusNotifierWatcher"_s, &tray,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(bus.registerService(u"org.kde.StatusNotifierWatcher"_s));

    // The platform is the application's own choice: nothing names it, and no session type tells Qt, as with a
    // compositor started by hand from a console.
    qunsetenv("QT_QPA_PLATFORM");
    qunsetenv("XDG_SESSION_TYPE");
    qunsetenv("DISPLAY");
    QTemporaryDir home;
    RunningOrvanta orvanta(QStringLiteral(ORVANTA_BINARY), home.path(), true);
    const qint64 pid = orvanta.process().processId();
    const std::optional<AccessibleNode> app = orvanta.application();
    ASSERT_TRUE(app) << "orvanta never appeared on the accessibility bus";
    ASSERT_TRUE(waitUntil(
        [&] {
            const std::optional<AccessibleNode> frame = app->find(u"frame"_s, u"Orvanta"_s);
            return frame && frame->isShowing();
        },
        15000));
    const std::optional<AccessibleNode> navigation = app->find(u"list"_s, u"Navigation"_s);
    ASSERT_TRUE(navigation);
    QStringList pages;
    for (const AccessibleNode &row : navigation->children())
        pages.append(row.name());
    EXPECT_EQ(pages, (QStringList{u"Overview"_s, u"History"_s, u"Dictionary"_s, u"Settings"_s}));

    // Qt loads one platform plugin; had it fallen back to X11 (or offscreen) the window would not be on screen.
    QFile maps(u"/proc/%1/maps"_s.arg(pid));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    EXPECT_TRUE(mapped.contains("/platforms/libqwayland-")) << "Qt's Wayland platform plugin is not loaded";
    EXPECT_FALSE(mapped.contains("/platforms/libqxcb")) << "Qt's X11 platform plugin is loaded";
    // sway runs without XWayland and tells which shell a window came through.
    if (compositor == "sway"_L1) {
        QJsonObject window;
        ASSERT_TRUE(waitUntil([&] { return !(window = swayWindow(swayTree(), pid)).isEmpty(); }, 10000))
            << "sway lists no window of orvanta";
        EXPECT_EQ(window.value("shell"_L1).toString(), u"xdg_shell"_s);
        EXPECT_EQ(window.value("app_id"_L1).toString(), u"io.orvanta.Orvanta"_s);
        EXPECT_TRUE(window.value("visible"_L1).toBool());
    }
    ASSERT_TRUE(waitUntil([&] { return !tray.senders.isEmpty(); }, 10000)) << "no tray icon registered";
    EXPECT_EQ(bus.interface()->servicePid(tray.senders.first()).value(), pid);

    ::kill(static_cast<pid_t>(pid), SIGTERM);
    // Qt asks the watcher again as the icon goes away at exit: the loop keeps serving it meanwhile.
    ASSERT_TRUE(waitUntil([&] { return orvanta.process().state() == QProcess::NotRunning; }, 10000))
        << "orvanta did not end on SIGTERM";
    EXPECT_EQ(orvanta.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(orvanta.process().exitCode(), 0);
}

#include "test_wayland_windows_e2e.moc"
