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

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Orvanta's visible X windows (class "orvanta"): the main window is wide, the tray icon small.
QStringList orvantaWindows(bool wide)
{
    QStringList found;
    const QStringList ids = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                            QStringLiteral("--classname"), QStringLiteral("^orvanta$")})
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &id : ids) {
        const QString geometry = run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), id});
        const qsizetype at = geometry.indexOf(QLatin1String("Geometry: "));
        const int width = at < 0 ? 0 : geometry.mid(at + 10).section(QLatin1Char('x'), 0, 0).toInt();
        if (width > 0 && (width > 100) == wide)
            found.append(id);
    }
    return found;
}

struct Orvanta : RunningOrvanta
{
    Orvanta(const QString &home, bool setupDone, const QStringList &arguments = {})
        : RunningOrvanta(QStringLiteral(ORVANTA_BINARY), home, setupDone, arguments)
    {}
};

class WindowsDesktop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!privateDesktopReady(false))
            GTEST_SKIP() << "needs the private desktop of scripts/with-desktop.sh (X server, tray, D-Bus, AT-SPI)";
        ASSERT_TRUE(home.isValid());
    }

    QString settingsFile() const { return home.filePath(QStringLiteral("config/orvanta/orvanta.conf")); }
    static std::optional<AccessibleNode>
    showing(const AccessibleNode &app, const QString &role, const QString &name, int timeoutMs = 10000)
    {
        std::optional<AccessibleNode> found;
        waitUntil(
            [&] {
                found = app.find([&](const AccessibleNode &node) {
                    return node.role() == role && node.name() == name && node.isShowing();
                });
                return found.has_value();
            },
            timeoutMs);
        return found;
    }
    static bool mainWindowShowing(const AccessibleNode &app)
    {
        const std::optional<AccessibleNode> frame = app.find(QStringLiteral("frame"), QStringLiteral("Orvanta"));
        return frame && frame->isShowing();
    }
    static void press(const AccessibleNode &app, const QString &button)
    {
        const std::optional<AccessibleNode> found = showing(app, QStringLiteral("push button"), button);
        ASSERT_TRUE(found) << "no button " << button.toStdString();
        ASSERT_TRUE(found->isEnabled()) << button.toStdString();
        ASSERT_TRUE(found->doAction(QStringLiteral("Press"))) << button.toStdString();
    }
    // Every control a screen reader lands on has a name.
    static void expectEveryControlNamed(const AccessibleNode &app, const char *where)
    {
        static const QStringList controls{
            QStringLiteral("push button"),  QStringLiteral("toggle button"), QStringLiteral("check box"),
            QStringLiteral("radio button"), QStringLiteral("combo box"),     QStringLiteral("text"),
            QStringLiteral("entry"),        QStringLiteral("password text"), QStringLiteral("spin button"),
            QStringLiteral("slider"),       QStringLiteral("list"),          QStringLiteral("list box"),
            QStringLiteral("table"),        QStringLiteral("tree table"),    QStringLiteral("page tab list")};
        QStringList unnamed;
        int checked = 0;
        app.walk([&](const AccessibleNode &node) {
            if (!controls.contains(node.role()) || !node.isShowing())
                return;
            ++checked;
            if (node.name().trimmed().isEmpty())
                unnamed.append(node.role() + QStringLiteral(" at ") +
                               QStringLiteral("%1,%2").arg(node.extents().x()).arg(node.extents().y()));
        });
        EXPECT_GT(checked, 0) << where;
        EXPECT_TRUE(unnamed.isEmpty()) << where << ": " << unnamed.join(QStringLiteral("; ")).toStdString();
    }
    // Alt+F4 to the window manager, which asks the window to close.
    static void closeWithWindowManager(const QString &window)
    {
        run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window,
                                        QStringLiteral("key"), QStringLiteral("alt+F4")});
    }

    // Right-clicks the tray icon and picks the menu's row-th item with the keyboard (a screen reader meets the
    // menu through focus events: popups are not children of the application's accessible node).
    static bool pickFromTrayMenu(int row)
    {
        QStringList tray;
        waitUntil([&] { return !(tray = orvantaWindows(false)).isEmpty(); }, 10000);
        if (tray.isEmpty())
            return false;
        run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"), tray.first(),
                                        QStringLiteral("11"), QStringLiteral("11"), QStringLiteral("click"),
                                        QStringLiteral("3"), QStringLiteral("sleep"), QStringLiteral("0.5")});
        QStringList keys{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80")};
        for (int i = 0; i <= row; ++i)
            keys.append(QStringLiteral("Down"));
        keys.append(QStringLiteral("Return"));
        run(QStringLiteral("xdotool"), keys);
        return true;
    }

    QTemporaryDir home;
};

} // namespace

TEST_F(WindowsDesktop, aFirstRunWalksThroughSetupToThePagesWithEveryControlNamed)
{
    Orvanta orvanta(home.path(), false);
    const std::optional<AccessibleNode> app = orvanta.application();
    ASSERT_TRUE(app) << "Orvanta never appeared on the accessibility bus";
    ASSERT_TRUE(waitUntil([&] { return mainWindowShowing(*app); }, 15000));

    ASSERT_TRUE(showing(*app, QStringLiteral("label"), QStringLiteral("1 of 3")));
    expectEveryControlNamed(*app, "welcome");
    press(*app, QStringLiteral("Continue"));
    ASSERT_TRUE(showing(*app, QStringLiteral("label"), QStringLiteral("2 of 3")));
    expectEveryControlNamed(*app, "permissions");
    press(*app, QStringLiteral("Continue"));
    ASSERT_TRUE(showing(*app, QStringLiteral("label"), QStringLiteral("3 of 3")));
    expectEveryControlNamed(*app, "keys");
    press(*app, QStringLiteral("Open Orvanta"));

    const std::optional<AccessibleNode> navigation =
        showing(*app, QStringLiteral("list"), QStringLiteral("Navigation"));
    ASSERT_TRUE(navigation);
    QStringList rows;
    for (const AccessibleNode &row : navigation->children())
        rows.append(row.name());
    EXPECT_EQ(rows, (QStringList{QStringLiteral("Overview"), QStringLiteral("History"), QStringLiteral("Dictionary"),
                                 QStringLiteral("Settings")}));
    EXPECT_TRUE(showing(*app, QStringLiteral("push button"), QStringLiteral("Start dictation")));
    expectEveryControlNamed(*app, "pages");
    // The other pages, reached as a keyboard user does: the sidebar has the focus, Down shows the next page.
    const QStringList window = orvantaWindows(true);
    ASSERT_EQ(window.size(), 1);
    for (int row = 1; row < rows.size(); ++row) {
        run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window.first(),
                                        QStringLiteral("key"), QStringLiteral("Down")});
        ASSERT_TRUE(showing(*app, QStringLiteral("label"), rows.at(row))) << rows.at(row).toStdString();
        expectEveryControlNamed(*app, qPrintable(rows.at(row)));
    }
    EXPECT_TRUE(
        QSettings(settingsFile(), QSettings::IniFormat).value(QStringLiteral("orvanta.onboarding.complete")).toBool());
}

TEST_F(WindowsDesktop, theTrayRunsADictationAndTheApplicationOutlivesItsWindow)
{
    Orvanta orvanta(home.path(), true);
    const std::optional<AccessibleNode> app = orvanta.application();
    ASSERT_TRUE(app);
    ASSERT_TRUE(waitUntil([&] { return mainWindowShowing(*app); }, 15000));

    ASSERT_TRUE(pickFromTrayMenu(0)) << "no tray icon"; // "Start Recording"
    ASSERT_TRUE(showing(*app, QStringLiteral("push button"), QStringLiteral("Finish dictation"), 20000))
        << "the dictation started from the tray did not reach recording";
    ASSERT_TRUE(pickFromTrayMenu(1)); // "Cancel Recording"
    EXPECT_TRUE(showing(*app, QStringLiteral("push button"), QStringLiteral("Start dictation")));

    // Closing the window keeps the process and its tray icon; a click on the icon brings the window back.
    const QStringList window = orvantaWindows(true);
    ASSERT_EQ(window.size(), 1);
    closeWithWindowManager(window.first());
    ASSERT_TRUE(waitUntil([&] { return !mainWindowShowing(*app); }, 5000));
    EXPECT_EQ(orvanta.process().state(), QProcess::Running);
    const QStringList tray = orvantaWindows(false);
    ASSERT_EQ(tray.size(), 1) << "the tray icon stays";
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("--window"), tray.first(), QStringLiteral("11"),
         QStringLiteral("11"), QStringLiteral("click"), QStringLiteral("1")});
    EXPECT_TRUE(waitUntil([&] { return mainWindowShowing(*app); }, 5000));
}

TEST_F(WindowsDesktop, aSecondStartShowsTheFirstWindowAndADeadFirstBlocksNothing)
{
    auto first = std::make_unique<Orvanta>(home.path(), true);
    std::optional<AccessibleNode> app = first->application();
    ASSERT_TRUE(app);
    ASSERT_TRUE(waitUntil([&] { return mainWindowShowing(*app); }, 15000));
    const QStringList window = orvantaWindows(true);
    ASSERT_EQ(window.size(), 1);
    closeWithWindowManager(window.first());
    ASSERT_TRUE(waitUntil([&] { return !mainWindowShowing(*app); }, 5000));

    Orvanta second(home.path(), true);
    ASSERT_TRUE(second.process().waitForFinished(15000));
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return mainWindowShowing(*app); }, 5000)) << "the first instance shows its window";

    // A crash leaves no name behind that could stop the next start.
    ::kill(static_cast<pid_t>(first->process().processId()), SIGKILL);
    first->process().waitForFinished(5000);
    first.reset();
    Orvanta third(home.path(), true);
    app = third.application();
    ASSERT_TRUE(app) << "the start after a crash did not come up";
    EXPECT_TRUE(waitUntil([&] { return mainWindowShowing(*app); }, 15000));
    EXPECT_EQ(third.process().state(), QProcess::Running);
}

TEST_F(WindowsDesktop, aLoginStartAfterSetupShowsOnlyTheTrayIcon)
{
    Orvanta orvanta(home.path(), true, {QStringLiteral("--autostart")});
    const std::optional<AccessibleNode> app = orvanta.application();
    ASSERT_TRUE(app);
    ASSERT_TRUE(waitUntil([] { return !orvantaWindows(false).isEmpty(); }, 15000)) << "no tray icon";
    EXPECT_FALSE(mainWindowShowing(*app));
    EXPECT_TRUE(orvantaWindows(true).isEmpty());
}
