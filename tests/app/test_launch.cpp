// The orvanta program as a user starts it: its command line, the display it needs, stop signals and huge pages.
#include "app/DisplayCheck.h"
#include "app/HugePages.h"
#include "app/QuitOnSignals.h"
#include "tests/support/QtPrinters.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Outcome
{
    int exitCode = -1; // -2: it crashed
    QString out, err;
};

// The environment of a session that names no display but the ones given.
QProcessEnvironment withDisplays(const QString &display = {}, const QString &waylandDisplay = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(u"XDG_RUNTIME_DIR"_s, u"/nonexistent"_s);
    if (!display.isEmpty())
        environment.insert(u"DISPLAY"_s, display);
    if (!waylandDisplay.isEmpty())
        environment.insert(u"WAYLAND_DISPLAY"_s, waylandDisplay);
    return environment;
}

// Runs orvanta with a home of its own, never the user's library or settings.
Outcome orvanta(const QStringList &arguments,
                QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
                const QTemporaryDir *ownHome = nullptr)
{
    static QTemporaryDir shared;
    const QTemporaryDir &home = ownHome ? *ownHome : shared;
    environment.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
    environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ORVANTA_BINARY), arguments);
    if (!process.waitForFinished(30000))
        return {-1, {}, u"did not exit"_s}; // killed as the process goes
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(CommandLine, transcribeExplainsItselfOnRequest)
{
    const Outcome help = orvanta({u"transcribe"_s, u"--help"_s});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith(u"Usage: orvanta transcribe [options] AUDIO.wav\n"_s)) << help.out.toStdString();
    for (const char *option : {"--mode", "--language", "--library"})
        EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;
    EXPECT_TRUE(help.err.isEmpty());
}

// A path the system refuses (here 120 kB long) is no missing file: the real reason is said, and the
// sentence stays readable.
TEST(CommandLine, aPathTheSystemRefusesIsReportedWithTheRealReasonAndANamedPipeIsNeitherWaitedOnNorRead)
{
    const QString endless = u"/tmp/"_s + u"x"_s.repeated(120 * 1024) + u".wav"_s;
    const QString tooLong = QString::fromLocal8Bit(std::strerror(ENAMETOOLONG));

    const Outcome audio = orvanta({u"transcribe"_s, endless});
    EXPECT_EQ(audio.exitCode, 3);
    EXPECT_TRUE(audio.err.contains(tooLong)) << audio.err.left(300).toStdString();
    EXPECT_FALSE(audio.err.contains(u"does not exist"_s));

    const Outcome library = orvanta({u"transcribe"_s, u"--library"_s, endless, endless});
    EXPECT_EQ(library.exitCode, 7);
    EXPECT_TRUE(library.err.contains(tooLong)) << library.err.left(300).toStdString();
    EXPECT_FALSE(library.err.contains(u"does not exist"_s));
    EXPECT_LT(library.err.size(), 1000) << "the path is shortened in the sentence";

    // A named pipe in place of the settings file is left alone without waiting on it: the command says so
    // and goes on with the default choices.
    QTemporaryDir home;
    ASSERT_TRUE(QDir().mkpath(home.filePath(u"config/orvanta"_s)));
    ASSERT_EQ(::mkfifo(QFile::encodeName(home.filePath(u"config/orvanta/orvanta.conf"_s)).constData(), 0600), 0);
    const Outcome outcome = orvanta({u"transcribe"_s, u"--engine"_s, u"server"_s, home.filePath(u"missing.wav"_s)},
                                    QProcessEnvironment::systemEnvironment(), &home);
    EXPECT_EQ(outcome.exitCode, 3) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains(u"is not used: it is a named pipe"_s)) << outcome.err.toStdString();
}

TEST(Launch, withoutAReachableDisplayTheWindowsExplainInOneLineAndExitWith2)
{
    // The autostart entry's argument is such a launch too, not a usage error.
    for (const QStringList &arguments : {QStringList(), QStringList{u"--autostart"_s}}) {
        const Outcome none = orvanta(arguments, withDisplays());
        EXPECT_EQ(none.exitCode, 2) << arguments.join(u' ').toStdString();
        EXPECT_EQ(none.err.count('\n'_L1), 1) << none.err.toStdString();
        EXPECT_TRUE(none.err.contains("DISPLAY"_L1) && none.err.contains("WAYLAND_DISPLAY"_L1))
            << none.err.toStdString();
        EXPECT_FALSE(none.err.startsWith(u"Usage:"_s));
        EXPECT_TRUE(none.out.isEmpty());
    }
    const Outcome unknown = orvanta({u"--autostarts"_s}, withDisplays());
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.startsWith(u"Usage:"_s));

    const Outcome wayland = orvanta({}, withDisplays({}, u"wayland-0"_s));
    EXPECT_EQ(wayland.exitCode, 2);
    EXPECT_EQ(wayland.err, u"Orvanta cannot reach the Wayland compositor \"wayland-0\" named by WAYLAND_DISPLAY.\n"_s)
        << "a Wayland session is no reason to ask for X11";

    const Outcome unreachable = orvanta({}, withDisplays(u":4242"_s));
    EXPECT_EQ(unreachable.exitCode, 2) << "never a crash";
    EXPECT_EQ(unreachable.err, u"Orvanta cannot reach the X display \":4242\" named by DISPLAY.\n"_s);
}

// Another Qt platform chosen on purpose is not checked for X11; a Wayland session's windows need only the
// compositor's socket, named or given as a path.
TEST(Launch, aChosenQtPlatformIsNotCheckedForX11AndAWaylandSessionNeedsOnlyTheCompositorsSocket)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("DISPLAY");
    EXPECT_EQ(orv::displayProblem(false), std::nullopt);
    EXPECT_EQ(orv::displayProblem(true), std::nullopt);
    qputenv("QT_QPA_PLATFORM", "xcb");
    EXPECT_NE(orv::displayProblem(false), std::nullopt);
    EXPECT_NE(orv::displayProblem(true), std::nullopt) << "XWayland chosen on purpose needs its DISPLAY";

    QTemporaryDir runtime;
    const QByteArray path = QFile::encodeName(runtime.filePath(u"wayland-7"_s));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    const int compositor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(compositor, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(compositor, 4), 0);
    qunsetenv("QT_QPA_PLATFORM");
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
