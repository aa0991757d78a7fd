// The sound server dies while the user speaks: the dictation ends with a clear error, nothing hangs, and
// once the server is back the next dictation reaches the field.
#include "tests/e2e/LiveDesktopMain.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/X11TestClient.h"

#include <QFile>
#include <QProcess>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

qint64 pulsePid()
{
    QFile file(qEnvironmentVariable("XDG_RUNTIME_DIR") + u"/pulse/pid"_s);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}

bool startPulse()
{
    return QProcess::execute(u"pulseaudio"_s,
                             {u"--daemonize=yes"_s, u"--exit-idle-time=-1"_s, u"-n"_s, u"--system=false"_s,
                              u"--disallow-exit"_s, u"-F"_s, qEnvironmentVariable("ORVANTA_TEST_PULSE_CONFIG"),
                              u"--log-target=stderr"_s}) == 0;
}

} // namespace

TEST(SoundServerDeath, aKilledServerEndsTheDictationWithAnErrorAndTheNextOneWorksOnceItIsBack)
{
    if (!test::liveDesktop->ready)
        GTEST_SKIP() << "needs the private desktop of scripts/with-desktop.sh (X server, AT-SPI, PulseAudio)";
    QTemporaryDir home;
    LiveApplication live({ShortcutController::Registration::always, home.filePath(u"library.json"_s), {}});
    AppModel &model = live.model();
    X11TestClient keys;
    TestField field(QStringLiteral(ORVANTA_GTK_FIELD));
    ASSERT_TRUE(field.waitReady());
    const QByteArray words = synthesizeSpeech(u"send the report today"_s, home.path());
    ASSERT_FALSE(words.isEmpty());
    const unsigned holdKey = keys.keycode("Control_R");

    keys.press(holdKey);
    ASSERT_TRUE(waitUntil([&] { return model.phase() == RecordingPhase::recording; }, 10000));
    speak(words.left(words.size() / 2), 0.2, 0);
    const qint64 pid = pulsePid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
    // A killed server leaves its pid file (while nobody reaps the process, a new server takes it for alive)
    // and the microphone's FIFO (which the new server's pipe source wants to create itself).
    QFile::remove(qEnvironmentVariable("XDG_RUNTIME_DIR") + u"/pulse/pid"_s);
    QFile::remove(qEnvironmentVariable("ORVANTA_TEST_MIC_FIFO"));
    EXPECT_TRUE(waitUntil([&] { return model.phase() == RecordingPhase::idle; }, 10000))
        << "the session ends while the key is still held; status: " << model.status().toStdString();
    keys.release(holdKey);
    EXPECT_TRUE(waitUntil([&] { return model.phase() == RecordingPhase::idle; }, 10000));
    EXPECT_TRUE(model.errorMessage()) << "status: " << model.status().toStdString();
    if (model.errorMessage())
        std::printf("status \"%s\", error \"%s\"\n", qPrintable(model.status()), qPrintable(*model.errorMessage()));

    ASSERT_TRUE(startPulse());
    keys.press(holdKey);
    ASSERT_TRUE(waitUntil([&] { return model.phase() == RecordingPhase::recording; }, 10000))
        << "status: " << model.status().toStdString();
    speak(words, 0.2, 0.6);
    keys.release(holdKey);
    ASSERT_TRUE(waitUntil([&] { return model.phase() == RecordingPhase::idle; }, 20000));
    EXPECT_EQ(model.status(), u"Inserted"_s) << model.errorMessage().value_or(QString()).toStdString();
    EXPECT_TRUE(waitUntil([&] { return field.text().contains(u"report"_s, Qt::CaseInsensitive); }, 5000))
        << field.text().toStdString();
}

int main(int argc, char **argv)
{
    return orv::test::runOnTheLiveDesktop(argc, argv, "ORVANTA_TEST_PULSE_CONFIG");
}
