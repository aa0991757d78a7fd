// Two microphones on the test sound server, the speech going only into the second ("Test Headset"): the chosen
// one is recorded, the list follows sources as they come and go, and unplugging the chosen one mid-dictation
// keeps the words heard until then.
#include "app/LiveApplication.h"
#include "library/LinuxSettings.h"
#include "tests/e2e/LiveDesktopMain.h"
#include "tests/support/QtPrinters.h"

#include <QProcess>
#include <QTemporaryDir>

using namespace orv;
using namespace orv::test;

namespace {

const QString headset = QStringLiteral("orvanta_mic2");

QString pactl(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Loads a FIFO-fed source; answers its module's index.
QString plugIn(const QString &name, const QString &description, const QString &fifo)
{
    return pactl({QStringLiteral("load-module"), QStringLiteral("module-pipe-source"),
                  QStringLiteral("source_name=") + name, QStringLiteral("file=") + fifo, QStringLiteral("format=s16le"),
                  QStringLiteral("rate=16000"), QStringLiteral("channels=1"),
                  QStringLiteral("source_properties='device.description=\"%1\"'").arg(description)});
}

void unplug(const QString &name)
{
    for (const QString &line :
         pactl({QStringLiteral("list"), QStringLiteral("modules"), QStringLiteral("short")}).split(QLatin1Char('\n')))
        if (line.contains(QStringLiteral("source_name=") + name + QLatin1Char(' ')))
            pactl({QStringLiteral("unload-module"), line.section(QLatin1Char('\t'), 0, 0)});
}

bool listed(AppModel &model, const QString &name)
{
    const QList<Microphone> list = model.microphones()->microphones();
    return std::any_of(list.begin(), list.end(), [&](const Microphone &m) { return m.name == name; });
}

} // namespace

TEST(Microphones, theListFollowsTheServerAndTheChosenOneIsRecordedUntilItIsUnplugged)
{
    if (!test::liveDesktop->ready)
        GTEST_SKIP() << "needs the private desktop of scripts/with-desktop.sh (X server, PulseAudio)";
    QTemporaryDir home;
    LiveApplication live(
        {ShortcutController::Registration::afterOnboarding, home.filePath(QStringLiteral("library.json")), {}});
    AppModel &model = live.model();
    ASSERT_TRUE(live.settings().setAudioSource(headset, QStringLiteral("Test Headset")));
    ASSERT_TRUE(test::waitUntil([&] { return listed(model, headset); }, 5000));

    // A source added at run time is listed, and the command lists them all.
    ASSERT_FALSE(
        plugIn(QStringLiteral("orvanta_webcam"), QStringLiteral("Test Webcam"), home.filePath(QStringLiteral("webcam")))
            .isEmpty());
    EXPECT_TRUE(test::waitUntil([&] { return listed(model, QStringLiteral("orvanta_webcam")); }, 5000));
    EXPECT_FALSE(listed(model, QStringLiteral("orvanta_null.monitor"))) << "an output's monitor is no microphone";
    QProcess command;
    command.start(QStringLiteral(ORVANTA_BINARY), {QStringLiteral("microphones")});
    ASSERT_TRUE(command.waitForFinished(20000));
    EXPECT_EQ(command.exitCode(), 0);
    const QString printed = QString::fromUtf8(command.readAllStandardOutput());
    for (const char *line : {"orvanta_mic\tTest Microphone\tdefault\n", "orvanta_mic2\tTest Headset\tchosen\n",
                             "orvanta_webcam\tTest Webcam\t\n"})
        EXPECT_TRUE(printed.contains(QString::fromUtf8(line))) << printed.toStdString();
    unplug(QStringLiteral("orvanta_webcam"));
    EXPECT_TRUE(test::waitUntil([&] { return !listed(model, QStringLiteral("orvanta_webcam")); }, 5000));

    // Only the headset hears the words: any of them proves it was recorded (the default hears nothing).
    const QByteArray words = synthesizeSpeech(QStringLiteral("send the report today"), home.path());
    ASSERT_FALSE(words.isEmpty());
    const auto recordSpeech = [&] {
        model.toggle();
        ASSERT_TRUE(test::waitUntil([&] { return model.phase() == RecordingPhase::recording; }, 20000));
        test::speak(words, 0.3, 0.8, 1.0, qgetenv("ORVANTA_TEST_MIC2_FIFO"));
    };
    recordSpeech();
    model.toggle();
    ASSERT_TRUE(test::waitUntil([&] { return model.phase() == RecordingPhase::idle; }, 30000));
    ASSERT_TRUE(model.lastResult()) << model.status().toStdString();
    EXPECT_TRUE(model.lastResult()->original.contains(QStringLiteral("today"), Qt::CaseInsensitive))
        << model.lastResult()->original.toStdString();
    EXPECT_FALSE(model.errorMessage()) << model.errorMessage()->toStdString();

    // Unplugged while the user still speaks: the recording ends by itself and the words heard are delivered.
    const QUuid first = model.lastResult()->id;
    recordSpeech();
    unplug(headset);
    EXPECT_TRUE(test::waitUntil([&] { return model.phase() == RecordingPhase::idle; }, 30000))
        << model.status().toStdString();
    ASSERT_TRUE(model.lastResult() && model.errorMessage());
    EXPECT_NE(model.lastResult()->id, first);
    EXPECT_TRUE(model.lastResult()->original.contains(QStringLiteral("today"), Qt::CaseInsensitive))
        << model.lastResult()->original.toStdString();
    EXPECT_TRUE(model.errorMessage()->contains(QStringLiteral("“Test Headset” went away")));
    std::printf("on removal: status \"%s\", message \"%s\", words \"%s\"\n", qPrintable(model.status()),
                qPrintable(*model.errorMessage()), qPrintable(model.lastResult()->original));

    // The next dictation falls back to the default and says so, naming both.
    model.toggle();
    ASSERT_TRUE(test::waitUntil([&] { return model.phase() == RecordingPhase::recording; }, 20000));
    EXPECT_EQ(model.errorMessage(), QStringLiteral("The microphone “Test Headset” is not connected; this dictation "
                                                   "records from the desktop default, “Test Microphone”."));
    model.cancelDictation();
    // The recognizer lets go of the cancelled session on its own thread: the application waits for that
    // before it goes, as a quit does.
    EXPECT_TRUE(test::waitUntil([&] { return model.phase() == RecordingPhase::idle; }, 5000));
    test::waitUntil([] { return false; }, 1000);
}

int main(int argc, char **argv)
{
    return orv::test::runOnTheLiveDesktop(argc, argv, "ORVANTA_TEST_MIC2_FIFO");
}
