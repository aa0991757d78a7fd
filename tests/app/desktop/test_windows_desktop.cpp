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
using namespace Qt::StringLiterals;

namespace {

// xdotool's output; the arguments are separated by spaces.
QString xdotool(const QString &arguments)
{
    QProcess process;
    process.start(u"xdotool"_s, arguments.split(' '_L1));
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Orvanta's visible X windows (class "orvanta"): the main window is wide, the tray icon small.
QStringList orvantaWindows(bool wide)
{
    QStringList found;
    for (const QString &id :
         xdotool(u"search --onlyvisible --classname ^orvanta$"_s).split('\n'_L1, Qt::SkipEmptyParts)) {
        const QString geometry = xdotool(u"getwindowgeometry "_s + id);
        const qsizetype at = geometry.indexOf("Geometry: "_L1);
        const int width = at < 0 ? 0 : geometry.mid(at + 10).section('x'_L1, 0, 0).toInt();
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
        const std::optional<AccessibleNode> frame = app->find(u"frame"_s, u"Orvanta"_s);
        return frame && frame->isShowing();
    }
    bool mainWindowShows(bool showing, int timeoutMs = 5000)
    {
        return waitUntil([&] { return mainWindowShowing() == showing; }, timeoutMs);
    }
    std::optional<AccessibleNode> showing(const QString &role, const QString &name, int timeoutMs = 10000) const
    {
        std::optional<AccessibleNode> found;
        const auto matches = [&](const AccessibleNode &node) {
            return node.role() == role && node.name() == name && node.isShowing();
        };
        waitUntil([&] { return (found = app->find(matches)).has_value(); }, timeoutMs);
        return found;
    }
    void press(const QString &button) const
    {
        const std::optional<AccessibleNode> found = showing(u"push button"_s, button);
        ASSERT_TRUE(found) << "no button " << button.toStdString();
        ASSERT_TRUE(found->isEnabled()) << button.toStdString();
        ASSERT_TRUE(found->doAction(u"Press"_s)) << button.toStdString();
    }
    // Every control a screen reader lands on has a name.
    void expectEveryControlNamed(const char *where) const
    {
        static const QStringList controls =
            u"push button|toggle button|check box|radio button|combo box|text|entry|"
            u"password text|spin button|slider|list|list box|table|tree table|page tab list"_s.split('|'_L1);
        QStringList unnamed;
        int checked = 0;
        app->walk([&](const AccessibleNode &node) {
            if (!controls.contains(node.role()) || !node.isShowing())
                return;
            ++checked;
            if (node.name().trimmed().isEmpty())
                unnamed.append(node.role() + u" at %1,%2"_s.arg(node.extents().x()).arg(node.extents().y()));
        });
        EXPECT_GT(checked, 0) << where;
        EXPECT_TRUE(unnamed.isEmpty()) << where << ": " << unnamed.join(u"; "_s).toStdString();
    }
    // Alt+F4 to the window manager, which asks the window to close.
    static void closeWithWindowManager(const QString &window)
    {
        xdotool(u"windowactivate --sync %1 key alt+F4"_s.arg(window));
    }
    // Clicks the tray icon with the button; false when there is no icon.
    static bool clickTray(int button)
    {
        QStringList tray;
        waitUntil([&] { return !(tray = orvantaWindows(false)).isEmpty(); }, 10000);
        if (tray.size() != 1)
            return false;
        xdotool(u"mousemove --window %1 11 11 click %2 sleep 0.5"_s.arg(tray.first()).arg(button));
        return true;
    }
    // Right-clicks the tray icon and picks the menu's row-th item with the keyboard (a screen reader meets the
    // menu through focus events: popups are not children of the application's accessible node).
    static bool pickFromTrayMenu(int row)
    {
        if (!clickTray(3))
            return false;
        xdotool(u"key --delay 80 "_s + u"Down "_s.repeated(row + 1) + u"Return"_s);
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
        ASSERT_TRUE(showing(u"label"_s, u"%1 of 3"_s.arg(step + 1))) << steps[step];
        expectEveryControlNamed(steps[step]);
        press(step < 2 ? u"Continue"_s : u"Open Orvanta"_s);
    }

    const std::optional<AccessibleNode> navigation = showing(u"list"_s, u"Navigation"_s);
    ASSERT_TRUE(navigation);
    QStringList rows;
    for (const AccessibleNode &row : navigation->children())
        rows.append(row.name());
    EXPECT_EQ(rows, (QStringList{u"Overview"_s, u"History"_s, u"Dictionary"_s, u"Settings"_s}));
    EXPECT_TRUE(showing(u"push button"_s, u"Start dictation"_s));
    expectEveryControlNamed("pages");
    // The other pages, reached as a keyboard user does: the sidebar has the focus, Down shows the next page.
    const QString window = mainWindow();
    for (int row = 1; row < rows.size(); ++row) {
        xdotool(u"windowactivate --sync %1 key Down"_s.arg(window));
        ASSERT_TRUE(showing(u"label"_s, rows.at(row))) << rows.at(row).toStdString();
        expectEveryControlNamed(qPrintable(rows.at(row)));
    }
    EXPECT_TRUE(QSettings(home.filePath(u"config/orvanta/orvanta.conf"_s), QSettings::IniFormat)
                    .value(u"orvanta.onboarding.complete"_s)
                    .toBool());
}

TEST_F(WindowsDesktop, theTrayRunsADictationAndTheApplicationOutlivesItsWindow)
{
    ASSERT_TRUE(start(true));
    ASSERT_TRUE(mainWindowShows(true, 15000));
    ASSERT_TRUE(pickFromTrayMenu(0)) << "no tray icon"; // "Start Recording"
    ASSERT_TRUE(showing(u"push button"_s, u"Finish dictation"_s, 20000))
        << "the dictation started from the tray did not reach recording";
    ASSERT_TRUE(pickFromTrayMenu(1)); // "Cancel Recording"
    EXPECT_TRUE(showing(u"push button"_s, u"Start dictation"_s));

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
    ASSERT_TRUE(start(true, {u"--autostart"_s}));
    ASSERT_TRUE(waitUntil([] { return !orvantaWindows(false).isEmpty(); }, 15000)) << "no tray icon";
    EXPECT_FALSE(mainWindowShowing());
    EXPECT_TRUE(orvantaWindows(true).isEmpty());
}
