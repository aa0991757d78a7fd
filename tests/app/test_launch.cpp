#include "app/DisplayCheck.h"
#include "app/HugePages.h"
#include "app/QuitOnSignals.h"
#include "tests/support/QtPrinters.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Outcome
{
    int exitCode;
    QString standardError;
};

// Runs orvanta with no arguments (the windowed application) under the given display variables.
Outcome startWindows(const QString &display, const QString &waylandDisplay)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(u"XDG_RUNTIME_DIR"_s, u"/nonexistent"_s);
    if (!display.isEmpty())
        environment.insert(u"DISPLAY"_s, display);
    if (!waylandDisplay.isEmpty())
        environment.insert(u"WAYLAND_DISPLAY"_s, waylandDisplay);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ORVANTA_BINARY), {});
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {-1, u"did not exit"_s};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(Launch, withoutAReachableDisplayTheWindowsExplainInOneLineAndExitWith2)
{
    const Outcome none = startWindows({}, {});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(none.standardError.count('\n'_L1), 1) << none.standardError.toStdString();
    EXPECT_TRUE(none.standardError.contains("DISPLAY"_L1) && none.standardError.contains("WAYLAND_DISPLAY"_L1))
        << none.standardError.toStdString();

    const Outcome wayland = startWindows({}, u"wayland-0"_s);
    EXPECT_EQ(wayland.exitCode, 2);
    EXPECT_EQ(wayland.standardError,
              u"Orvanta cannot reach the Wayland compositor \"wayland-0\" named by WAYLAND_DISPLAY.\n"_s)
        << "a Wayland session is no reason to ask for X11";

    const Outcome unreachable = startWindows(u":4242"_s, {});
    EXPECT_EQ(unreachable.exitCode, 2) << "never a crash";
    EXPECT_EQ(unreachable.standardError, u"Orvanta cannot reach the X display \":4242\" named by DISPLAY.\n"_s);
}

TEST(Launch, anotherQtPlatformChosenOnPurposeIsNotCheckedForX11)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("DISPLAY");
    EXPECT_EQ(orv::displayProblem(false), std::nullopt);
    EXPECT_EQ(orv::displayProblem(true), std::nullopt);
    qputenv("QT_QPA_PLATFORM", "xcb");
    EXPECT_NE(orv::displayProblem(false), std::nullopt);
    EXPECT_NE(orv::displayProblem(true), std::nullopt) << "XWayland chosen on purpose needs its DISPLAY";
}

// A Wayland session's windows need only the compositor's socket, named or given as a path.
TEST(Launch, aWaylandSessionNeedsOnlyTheCompositorsSocket)
{
    QTemporaryDir runtime;
    const QByteArray path = QFile::encodeName(runtime.filePath(u"wayland-7"_s));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    const int compositor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(compositor, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(compositor, 4), 0);
    qunsetenv("QT_QPA_PLATFORM");
    qunsetenv("DISPLAY");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("WAYLAND_DISPLAY", "wayland-7");
    EXPECT_EQ(orv::displayProblem(true), std::nullopt);
    qputenv("WAYLAND_DISPLAY", QFile::encodeName(runtime.filePath(u"wayland-7"_s)));
    EXPECT_EQ(orv::displayProblem(true), std::nullopt);
    qputenv("WAYLAND_DISPLAY", "wayland-8");
    EXPECT_NE(orv::displayProblem(true), std::nullopt);
    orv::chooseQtPlatform(true);
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "wayland") << "never XWayland by accident";
    qputenv("QT_QPA_PLATFORM", "xcb");
    orv::chooseQtPlatform(true);
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "xcb") << "the user's choice stays";
    ::close(compositor);
}

// A stop the event loop cannot take (the command is still starting, or stuck where the loop does not run)
// ends the command at once, with the status the signal's default would give.
TEST(Launch, aStopSignalNoLoopCanTakeEndsTheCommandAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    static int argc = 1;
    static char name[] = "test_launch";
    static char *argv[] = {name, nullptr};
    EXPECT_EXIT(
        {
            QCoreApplication app(argc, argv);
            const orv::QuitOnSignals quit;
            std::raise(SIGTERM);
            std::_Exit(0);
        },
        testing::ExitedWithCode(128 + SIGTERM), "")
        << "while starting";
    EXPECT_EXIT(
        {
            QCoreApplication app(argc, argv);
            const orv::QuitOnSignals quit;
            QTimer::singleShot(0, [] {
                std::raise(SIGINT); // taken by the loop only once this returns, which it does not in time
                std::raise(SIGINT);
            });
            QCoreApplication::exec();
            std::_Exit(0);
        },
        testing::ExitedWithCode(128 + SIGINT), "")
        << "stuck";
}

// A start begins again for huge pages only once, only for a large library on a kernel that gives them when
// asked, and never drops or overrides a tunable of the user's.
TEST(HugePages, startsAgainOnlyWhenItHelpsAndKeepsTheUsersTunables)
{
    using orv::HugePages;
    const QByteArray madvise = "always [madvise] never\n";
    const qint64 large = HugePages::largeLibrary;
    EXPECT_EQ(HugePages::tunablesFor(large, madvise, std::nullopt, false), "glibc.malloc.hugetlb=1"_ba);
    EXPECT_EQ(HugePages::tunablesFor(large, madvise, "glibc.malloc.check=3"_ba, false),
              "glibc.malloc.check=3:glibc.malloc.hugetlb=1"_ba);
    EXPECT_FALSE(HugePages::tunablesFor(large, madvise, "glibc.malloc.hugetlb=0"_ba, false));
    EXPECT_FALSE(HugePages::tunablesFor(large, madvise, std::nullopt, true)) << "the second start";
    EXPECT_FALSE(HugePages::tunablesFor(large - 1, madvise, std::nullopt, false));
    EXPECT_FALSE(HugePages::tunablesFor(-1, madvise, std::nullopt, false)) << "no library";
    EXPECT_FALSE(HugePages::tunablesFor(large, "[always] madvise never\n", std::nullopt, false));
    EXPECT_FALSE(HugePages::tunablesFor(large, "always madvise [never]\n", std::nullopt, false));
    EXPECT_FALSE(HugePages::tunablesFor(large, QByteArray(), std::nullopt, false));
}
