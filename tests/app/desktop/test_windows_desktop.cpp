// The real orvanta on the private desktop (scripts/with-desktop.sh: Xvfb, openbox, trayer, D-Bus, AT-SPI,
// PulseAudio), driven as a user and a screen reader would: over the accessibility tree, the tray icon and
// the window manager's keys, each run with a fresh home.
#include "tests/support/QtPrinters.h"
#include "tests/support/RunningOrvanta.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace orv::test;

namespace {

// xdotool's output; the arguments are separated by spaces.
QString xdotool(const QString &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments.split(QLatin1Char(' ')));
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Orvanta's visible X windows (class "orvanta"): the main window is wide, the tray icon small.
QStringList orvantaWindows(bool wide)
{
    QStringList found;
    for (const QString &id : xdotool(QStringLiteral("search --onlyvisible --classname ^orvanta$"))
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString geometry = xdotool(QStringLiteral("getwindowgeometry ") + id);
        const qsizetype at = geometry.indexOf(QLatin1String("Geometry: "));
        const int width = at < 0 ? 0 : geometry.mid(at + 10).section(QLatin1Char('x'), 0, 0).toInt();
        if (width > 0 && (width > 100) == wide)
            found.append(id);
    }
    return found;
}

// The one main window, or nothing.
QString mainWindow()
{
    const QStringList windows = orvantaWindows(true);
    EXPECT_EQ(windows.size(), 1);
    return windows.value(0);
}

class WindowsDesktop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!privateDesktopReady(false))
            GTEST_SKIP() << "needs the private desktop of scripts/with-desktop.sh (X server, tray, D-Bus, AT-SPI)";
        ASSERT_TRUE(home.isValid());
    }

    // Starts orvanta with a home of this test's; false when it never appeared on the accessibility bus.
    bool start(bool setupDone, const QStringList &arguments = {})
    {
        orvanta = std::make_unique<RunningOrvanta>(QStringLiteral(ORVANTA_BINARY), home.path(), setupDone, arguments);
        app = orvanta->application();
        return app.has_value();
    }
    bool mainWindowShowing() const
    {
        const std::optional<AccessibleNode> frame = app->find(QStringLiteral("frame"), QStringLiteral("Orvanta"));
        return frame && frame->isShowing();
    }
    bool mainWindowShows(bool showing, int timeoutMs = 5000)
    {
        return waitUntil([&] { return mainWindowShowing() == showing; }, timeoutMs);
    }
    std::optional<AccessibleNode> showing(const QString &role, const QString &name, int timeoutMs = 10000) const
    {
        std::optional<AccessibleNode> found;
        waitUntil(
            [&] {
                found = app->find([&](const AccessibleNode &node) {
                    return node.role() == role && node.name() == name && node.isShowing();
                });
                return found.has_value();
            },
            timeoutMs);
        return found;
    }
    void press(const QString &button) const
    {
        const std::optional<AccessibleNode> found = showing(QStringLiteral("push button"), button);
        ASSERT_TRUE(found) << "no button " << button.toStdString();
        ASSERT_TRUE(found->isEnabled()) << button.toStdString();
        ASSERT_TRUE(found->doAction(QStringLiteral("Press"))) << button.toStdString();
    }
    // Every control a screen reader lands on has a name.
    void expectEveryControlNamed(const char *where) const
    {
        static const QStringList controls{
            QStringLiteral("push button"),  QStringLiteral("toggle button"), QStringLiteral("check box"),
            QStringLiteral("radio button"), QStringLiteral("combo box"),     QStringLiteral("text"),
            QStringLiteral("entry"),        QStringLiteral("password text"), QStringLiteral("spin button"),
            QStringLiteral("slider"),       QStringLiteral("list"),          QStringLiteral("list box"),
            QStringLiteral("table"),        QStringLiteral("tree table"),    QStringLiteral("page tab list")};
        QStringList unnamed;
        int checked = 0;
        app->walk([&](const AccessibleNode &node) {
            if (!controls.contains(node.role()) || !node.isShowing())
                return;
            ++checked;
            if (node.name().trimmed().isEmpty())
                unnamed.append(node.role() +
                               QStringLiteral(" at %1,%2").arg(node.extents().x()).arg(node.extents().y()));
        });
        EXPECT_GT(checked, 0) << where;
        EXPECT_TRUE(unnamed.isEmpty()) << where << ": " << unnamed.join(QStringLiteral("; ")).toStdString();
    }
    // Alt+F4 to the window manager, which asks the window to close.
    static void closeWithWindowManager(const QString &window)
    {
        xdotool(QStringLiteral("windowactivate --sync %1 key alt+F4").arg(window));
    }
    // Clicks the tray icon with the button; false when there is no icon.
    static bool clickTray(int button)
    {
        QStringList tray;
        waitUntil([&] { return !(tray = orvantaWindows(false)).isEmpty(); }, 10000);
        if (tray.size() != 1)
            return false;
        xdotool(QStringLiteral("mousemove --window %1 11 11 click %2 sleep 0.5").arg(tray.first()).arg(button));
        return true;
    }
    // Right-clicks the tray icon and picks the menu's row-th item with the keyboard (a screen reader meets the
    // menu through focus events: popups are not children of the application's accessible node).
    static bool pickFromTrayMenu(int row)
    {
        if (!clickTray(3))
            return false;
        xdotool(QStringLiteral("key --delay 80 ") + QStringLiteral("Down ").repeated(row + 1) +
                QStringLiteral("Return"));
        return true;
    }

    QTemporaryDir home;
    std::unique_ptr<RunningOrvanta> orvanta;
    std::optional<AccessibleNode> app;
};

} // namespace

TEST_F(WindowsDesktop, aFirstRunWalksThroughSetupToThePagesWithEveryControlNamed)
{
    ASSERT_TRUE(start(false)) << "Orvanta never appeared on the accessibility bus";
    ASSERT_TRUE(mainWindowShows(true, 15000));
    const char *steps[] = {"welcome", "permissions", "keys"};
    for (int step = 0; step < 3; ++step) {
        ASSERT_TRUE(showing(QStringLiteral("label"), QStringLiteral("%1 of 3").arg(step + 1))) << steps[step];
        expectEveryControlNamed(steps[step]);
        press(step < 2 ? QStringLiteral("Continue") : QStringLiteral("Open Orvanta"));
    }

    const std::optional<AccessibleNode> navigation = showing(QStringLiteral("list"), QStringLiteral("Navigation"));
    ASSERT_TRUE(navigation);
    QStringList rows;
    for (const AccessibleNode &row : navigation->children())
        rows.append(row.name());
    EXPECT_EQ(rows, (QStringList{QStringLiteral("Overview"), QStringLiteral("History"), QStringLiteral("Dictionary"),
                                 QStringLiteral("Settings")}));
    EXPECT_TRUE(showing(QStringLiteral("push button"), QStringLiteral("Start dictation")));
    expectEveryControlNamed("pages");
    // The other pages, reached as a keyboard user does: the sidebar has the focus, Down shows the next page.
    const QString window = mainWindow();
    for (int row = 1; row < rows.size(); ++row) {
        xdotool(QStringLiteral("windowactivate --sync %1 key Down").arg(window));
        ASSERT_TRUE(showing(QStringLiteral("label"), rows.at(row))) << rows.at(row).toStdString();
        expectEveryControlNamed(qPrintable(rows.at(row)));
    }
    EXPECT_TRUE(QSettings(home.filePath(QStringLiteral("config/orvanta/orvanta.conf")), QSettings::IniFormat)
                    .value(QStringLiteral("orvanta.onboarding.complete"))
                    .toBool());
}

TEST_F(WindowsDesktop, theTrayRunsADictationAndTheApplicationOutlivesItsWindow)
{
    ASSERT_TRUE(start(true));
    ASSERT_TRUE(mainWindowShows(true, 15000));
    ASSERT_TRUE(pickFromTrayMenu(0)) << "no tray icon"; // "Start Recording"
    ASSERT_TRUE(showing(QStringLiteral("push button"), QStringLiteral("Finish dictation"), 20000))
        << "the dictation started from the tray did not reach recording";
    ASSERT_TRUE(pickFromTrayMenu(1)); // "Cancel Recording"
    EXPECT_TRUE(showing(QStringLiteral("push button"), QStringLiteral("Start dictation")));

    // Closing the window keeps the process and its tray icon; a click on the icon brings the window back.
    closeWithWindowManager(mainWindow());
    ASSERT_TRUE(mainWindowShows(false));
    EXPECT_EQ(orvanta->process().state(), QProcess::Running);
    ASSERT_TRUE(clickTray(1)) << "the tray icon stays";
    EXPECT_TRUE(mainWindowShows(true));
}

TEST_F(WindowsDesktop, aSecondStartShowsTheFirstWindowAndADeadFirstBlocksNothing)
{
    ASSERT_TRUE(start(true));
    ASSERT_TRUE(mainWindowShows(true, 15000));
    closeWithWindowManager(mainWindow());
    ASSERT_TRUE(mainWindowShows(false));

    RunningOrvanta second(QStringLiteral(ORVANTA_BINARY), home.path(), true);
    ASSERT_TRUE(second.process().waitForFinished(15000));
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_TRUE(mainWindowShows(true)) << "the first instance shows its window";

    // A crash leaves no name behind that could stop the next start.
    ::kill(static_cast<pid_t>(orvanta->process().processId()), SIGKILL);
    orvanta->process().waitForFinished(5000);
    orvanta.reset();
    ASSERT_TRUE(start(true)) << "the start after a crash did not come up";
    EXPECT_TRUE(mainWindowShows(true, 15000));
    EXPECT_EQ(orvanta->process().state(), QProcess::Running);
}

TEST_F(WindowsDesktop, aLoginStartAfterSetupShowsOnlyTheTrayIcon)
{
    ASSERT_TRUE(start(true, {QStringLiteral("--autostart")}));
    ASSERT_TRUE(waitUntil([] { return !orvantaWindows(false).isEmpty(); }, 15000)) << "no tray icon";
    EXPECT_FALSE(mainWindowShowing());
    EXPECT_TRUE(orvantaWindows(true).isEmpty());
}
