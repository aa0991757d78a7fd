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

using namespace Qt::StringLiterals;

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
    environment.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
    environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
    if (!withDisplay) {
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.remove(u"QT_QPA_PLATFORM"_s);
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
    const Outcome help = orvanta({u"transcribe"_s, u"--help"_s});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith(u"Usage: orvanta transcribe [options] AUDIO.wav\n"_s)) << help.out.toStdString();
    for (const char *option : {"--mode", "--language", "--library"})
        EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;
    EXPECT_TRUE(help.err.isEmpty());
}

// A path the system refuses (here 120 kB long) is no missing file: the real reason is said, and the
// sentence stays readable.
TEST(CommandLine, aPathTheSystemRefusesIsReportedWithTheRealReason)
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
}

// The autostart entry's argument is a launch, not a usage error; without a display it says so.
TEST(CommandLine, aLaunchAtLoginIsNoUsageError)
{
    const Outcome login = orvanta({u"--autostart"_s}, false);
    EXPECT_EQ(login.exitCode, 2);
    EXPECT_TRUE(login.err.contains(u"DISPLAY"_s)) << login.err.toStdString();
    EXPECT_FALSE(login.err.startsWith(u"Usage:"_s));
    EXPECT_TRUE(login.out.isEmpty());
    const Outcome unknown = orvanta({u"--autostarts"_s}, false);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.startsWith(u"Usage:"_s));
}

// A named pipe in place of the settings file is left alone without waiting on it: the command says so
// and goes on with the default choices.
TEST(CommandLine, aNamedPipeAsTheSettingsFileNeitherBlocksNorIsRead)
{
    QTemporaryDir home;
    ASSERT_TRUE(QDir().mkpath(home.filePath(u"config/orvanta"_s)));
    ASSERT_EQ(::mkfifo(QFile::encodeName(home.filePath(u"config/orvanta/orvanta.conf"_s)).constData(), 0600), 0);
    const Outcome outcome =
        orvanta({u"transcribe"_s, u"--engine"_s, u"server"_s, home.filePath(u"missing.wav"_s)}, true, &home);
    EXPECT_EQ(outcome.exitCode, 3) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains(u"is not used: it is a named pipe"_s)) << outcome.err.toStdString();
}
