#include "desktop/LoginItemController.h"
#include "desktop/xdg/XdgAutostart.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace orv;
using namespace Qt::StringLiterals;
using orv::test::readFile;
using orv::test::writeFile;
using Status = AbstractLoginItemController::Status;

namespace {

struct ScriptedService
{
    Status status = Status::notRegistered;
    int registers = 0;
    int unregisters = 0;
    std::optional<QString> failWith;

    Expected<void, QString> change(int &calls, Status to)
    {
        ++calls;
        if (failWith)
            return unexpected(*failWith);
        status = to;
        return {};
    }

    LoginItemController::Operations operations()
    {
        return {[this] { return status; }, [this] { return change(registers, Status::enabled); },
                [this] { return change(unregisters, Status::notRegistered); }, [] {}};
    }
};

// The program and its arguments of a command line that may start it through env.
QStringList execProgramOf(QStringList arguments)
{
    if (arguments.value(0) == "env"_L1)
        arguments.removeFirst();
    return arguments;
}

} // namespace

TEST(LoginItemController, enablingAnAlreadyOnItemCallsNothingAndClearsTheOldError)
{
    for (Status on : {Status::enabled, Status::requiresApproval}) {
        ScriptedService service;
        service.failWith = u"Denied."_s;
        LoginItemController controller(service.operations());
        controller.setEnabled(true); // notRegistered: register fails
        ASSERT_TRUE(controller.errorMessage().has_value());
        service.status = on;
        service.failWith.reset();
        controller.setEnabled(true);
        EXPECT_EQ(service.registers, 1);
        EXPECT_FALSE(controller.errorMessage().has_value());
        EXPECT_EQ(controller.status(), on);
    }
}

TEST(LoginItemController, disablingSkipsOnlyAnUnregisteredItemAndFailuresKeepTheirSentence)
{
    ScriptedService service;
    service.status = Status::notFound;
    LoginItemController controller(service.operations());
    controller.setEnabled(false);
    EXPECT_EQ(service.unregisters, 1);
    controller.setEnabled(false);
    EXPECT_EQ(service.unregisters, 1);

    service.failWith = u"The folder is read-only."_s;
    controller.setEnabled(true);
    EXPECT_EQ(controller.errorMessage().value_or(QString()),
              u"Couldn’t enable launch at login. The folder is read-only."_s);
    EXPECT_EQ(controller.status(), Status::notRegistered) << "status is read again after a failure";
    service.status = Status::enabled;
    controller.setEnabled(false);
    EXPECT_EQ(controller.errorMessage().value_or(QString()),
              u"Couldn’t disable launch at login. The folder is read-only."_s);
}

TEST(XdgAutostart, registersAnEntryThatStartsTheProgramAtLoginAndReadsItsStates)
{
    QTemporaryDir dir;
    const QString entryPath = dir.filePath(u"autostart/orvanta.desktop"_s);
    const QString program = dir.filePath(u"bin dir/orvanta"_s);
    QDir().mkpath(dir.filePath(u"bin dir"_s));
    writeFile(program, "#!/bin/sh\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    XdgAutostart entry(entryPath, program);

    EXPECT_EQ(entry.readStatus(), Status::notRegistered);
    ASSERT_TRUE(entry.registerEntry().hasValue());
    EXPECT_EQ(entry.readStatus(), Status::enabled);
    const QByteArray written = readFile(entryPath);
    EXPECT_TRUE(written.contains("Exec=\"" + program.toUtf8() + "\" --autostart\n")) << written.constData();

    QByteArray hidden = written;
    hidden.replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false");
    writeFile(entryPath, hidden);
    EXPECT_EQ(entry.readStatus(), Status::requiresApproval);
    writeFile(entryPath, written + "Hidden=true\n");
    EXPECT_EQ(entry.readStatus(), Status::requiresApproval);

    QFile::remove(program);
    EXPECT_EQ(entry.readStatus(), Status::notFound);

    ASSERT_TRUE(entry.unregisterEntry().hasValue());
    EXPECT_EQ(entry.readStatus(), Status::notRegistered);
}

TEST(XdgAutostart, neverTouchesOtherEntriesAndReportsAnUnwritableFolder)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"autostart"_s);
    QDir().mkpath(folder);
    writeFile(folder + u"/other.desktop"_s, "[Desktop Entry]\nExec=other\n");
    XdgAutostart entry(folder + u"/orvanta.desktop"_s, u"/bin/sh"_s);
    ASSERT_TRUE(entry.registerEntry().hasValue());
    ASSERT_TRUE(entry.unregisterEntry().hasValue());
    EXPECT_EQ(readFile(folder + u"/other.desktop"_s), "[Desktop Entry]\nExec=other\n"_ba);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{u"other.desktop"_s});

    if (geteuid() != 0) { // root writes anywhere
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_FALSE(entry.registerEntry().hasValue());
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // A file where the folder should be makes the registration fail, not crash.
    XdgAutostart blocked(dir.filePath(u"autostart/other.desktop/orvanta.desktop"_s), u"/bin/sh"_s);
    auto result = blocked.registerEntry();
    ASSERT_FALSE(result.hasValue());
    EXPECT_FALSE(result.error().isEmpty());
}

// The Exec value follows the desktop-entry rules, so that a program anywhere starts, whatever its path
// holds: quoted, " ` $ \\ escaped in the quotes, % doubled, and the value's own backslash escapes.
TEST(XdgAutostart, theExecValueQuotesAnyPathByTheDesktopEntryRules)
{
    EXPECT_EQ(XdgAutostart::execValue(u"/usr/bin/orvanta"_s, {u"--autostart"_s}), u"/usr/bin/orvanta --autostart"_s);
    EXPECT_EQ(XdgAutostart::execValue(u"/opt/My Apps/$HOME/orvanta"_s, {u"--autostart"_s}),
              uR"("/opt/My Apps/\\$HOME/orvanta" --autostart)"_s);
    EXPECT_EQ(XdgAutostart::execValue(u"/opt/100% \"q\" `x` a\\b/orvanta"_s, {}),
              uR"(env "/opt/100%% \\"q\\" \\`x\\` a\\\\b/orvanta")"_s);

    for (const QString &path :
         {u"/opt/100% sure/$HOME/orvanta"_s, u"/a\tb\nc/d;e|f&g"_s, u"/x/\\s'quoted'/\"$(rm -rf ~)\""_s}) {
        const QStringList expected{path, u"--autostart"_s};
        EXPECT_EQ(execProgramOf(XdgAutostart::execArguments(XdgAutostart::execValue(path, {expected[1]}))), expected)
            << qPrintable(path);
    }
}

// A desktop session starts the entry as written: GLib's launcher (GNOME's) runs the program with
// --autostart from a folder whose name holds a space, a % and a $.
TEST(XdgAutostart, aDesktopLauncherStartsTheEntryFromAnyFolder)
{
    const QString gio = QStandardPaths::findExecutable(u"gio"_s);
    if (gio.isEmpty())
        GTEST_SKIP() << "needs gio (libglib2.0-bin) to launch the entry as a desktop session does";
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"My Apps/100% $HOME \"q\""_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString program = folder + u"/orvanta"_s;
    const QString record = dir.filePath(u"started"_s);
    writeFile(program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$ORVANTA_TEST_RECORD\"\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString entryPath = dir.filePath(u"autostart/orvanta.desktop"_s);
    XdgAutostart entry(entryPath, program);
    ASSERT_TRUE(entry.registerEntry().hasValue());
    EXPECT_EQ(entry.readStatus(), Status::enabled);

    QProcess launcher;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"ORVANTA_TEST_RECORD"_s, record);
    launcher.setProcessEnvironment(environment);
    launcher.start(gio, {u"launch"_s, entryPath});
    ASSERT_TRUE(launcher.waitForFinished(10000));
    EXPECT_EQ(launcher.exitCode(), 0) << launcher.readAllStandardError().constData();
    QElapsedTimer waited; // the program runs on after gio has started it
    waited.start();
    while (readFile(record).isEmpty() && waited.elapsed() < 10000) // the shell creates it before it writes
        QThread::msleep(10);
    EXPECT_EQ(readFile(record), "--autostart\n"_ba);
}
