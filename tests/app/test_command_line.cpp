// The orvanta program's command line, run as a user runs it: help, refusals and paths the system refuses.
#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome orvanta(const QStringList &arguments, bool withDisplay = true, const QTemporaryDir *ownHome = nullptr)
{
    static QTemporaryDir shared; // never the user's own library or settings
    const QTemporaryDir &home = ownHome ? *ownHome : shared;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    if (!withDisplay) {
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    }
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ORVANTA_BINARY), arguments);
    process.waitForFinished(30000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(CommandLine, transcribeExplainsItselfOnRequest)
{
    const Outcome help = orvanta({QStringLiteral("transcribe"), QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: orvanta transcribe [options] AUDIO.wav\n")))
        << help.out.toStdString();
    for (const char *option : {"--mode", "--language", "--library"})
        EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;
    EXPECT_TRUE(help.err.isEmpty());
}

// A path the system refuses (here 120 kB long) is no missing file: the real reason is said, and the
// sentence stays readable.
TEST(CommandLine, aPathTheSystemRefusesIsReportedWithTheRealReason)
{
    const QString endless = QStringLiteral("/tmp/") + QStringLiteral("x").repeated(120 * 1024) + QStringLiteral(".wav");
    const QString tooLong = QString::fromLocal8Bit(std::strerror(ENAMETOOLONG));

    const Outcome audio = orvanta({QStringLiteral("transcribe"), endless});
    EXPECT_EQ(audio.exitCode, 3);
    EXPECT_TRUE(audio.err.contains(tooLong)) << audio.err.left(300).toStdString();
    EXPECT_FALSE(audio.err.contains(QStringLiteral("does not exist")));

    const Outcome library = orvanta({QStringLiteral("transcribe"), QStringLiteral("--library"), endless, endless});
    EXPECT_EQ(library.exitCode, 7);
    EXPECT_TRUE(library.err.contains(tooLong)) << library.err.left(300).toStdString();
    EXPECT_FALSE(library.err.contains(QStringLiteral("does not exist")));
    EXPECT_LT(library.err.size(), 1000) << "the path is shortened in the sentence";
}

// The autostart entry's argument is a launch, not a usage error; without a display it says so.
TEST(CommandLine, aLaunchAtLoginIsNoUsageError)
{
    const Outcome login = orvanta({QStringLiteral("--autostart")}, false);
    EXPECT_EQ(login.exitCode, 2);
    EXPECT_TRUE(login.err.contains(QStringLiteral("DISPLAY"))) << login.err.toStdString();
    EXPECT_FALSE(login.err.startsWith(QStringLiteral("Usage:")));
    EXPECT_TRUE(login.out.isEmpty());
    const Outcome unknown = orvanta({QStringLiteral("--autostarts")}, false);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.startsWith(QStringLiteral("Usage:")));
}

// A named pipe in place of the settings file is left alone without waiting on it: the command says so
// and goes on with the default choices.
TEST(CommandLine, aNamedPipeAsTheSettingsFileNeitherBlocksNorIsRead)
{
    QTemporaryDir home;
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("config/orvanta"))));
    ASSERT_EQ(
        ::mkfifo(QFile::encodeName(home.filePath(QStringLiteral("config/orvanta/orvanta.conf"))).constData(), 0600), 0);
    const Outcome outcome = orvanta({QStringLiteral("transcribe"), QStringLiteral("--engine"), QStringLiteral("server"),
                                     home.filePath(QStringLiteral("missing.wav"))},
                                    true, &home);
    EXPECT_EQ(outcome.exitCode, 3) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("is not used: it is a named pipe"))) << outcome.err.toStdString();
}
