// Two microphones on the test sound server, the speech going only into the second ("Test Headset"): the chosen
// one is recorded, the list follows sources as they come and go, and unplugging the chosen one mid-dictation
// keeps the words heard until then.
#include "library/LinuxSettings.h"
#include "tests/e2e/LiveDesktopMain.h"
#include "tests/support/QtPrinters.h"

#include <QProcess>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

const QString headset = u"orvanta_mic2"_s;

QString pactl(const QStringList &arguments)
{
    QProcess process;
    process.start(u"pactl"_s, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Loads a FIFO-fed source; answers its module's index.
QString plugIn(const QString &name, const QString &description, const QString &fifo)
{
    return pactl({u"load-module"_s, u"module-pipe-source"_s, u"source_name="_s + name, u"file="_s + fifo,
                  u"format=s16le"_s, u"rate=16000"_s, u"channels=1"_s,
                  u"source_properties='device.description=\"%1\"'"_s.arg(description)});
}

void unplug(const QString &name)
{
    for (const QString &line : pactl({u"list"_s, u"modules"_s, u"short"_s}).split('\n'_L1))
        if (line.contains(u"source_name="_s + name + ' '_L1))
            pactl({u"unload-module"_s, line.section('\t'_L1, 0, 0)});
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
    LiveApplication live({ShortcutController::Registration::afterOnboarding, home.filePath(u"library.json"_s), {}});
    AppModel &model = live.model();
    ASSERT_TRUE(live.settings().setAudioSource(headset, u"Test Headset"_s));
    ASSERT_TRUE(test::waitUntil([&] { return listed(model, headset); }, 5000));

    // A source added at run time is listed, and the command lists them all.
    ASSERT_FALSE(plugIn(u"orvanta_webcam"_s, u"Test Webcam"_s, home.filePath(u"webcam"_s)).isEmpty());
    EXPECT_TRUE(test::waitUntil([&] { return listed(model, u"orvanta_webcam"_s); }, 5000));
    EXPECT_FALSE(listed(model, u"orvanta_null.monitor"_s)) << "an output's monitor is no microphone";
    QProcess command;
    command.start(QStringLiteral(ORVANTA_BINARY), {u"microphones"_s});
    ASSERT_TRUE(command.waitForFinished(20000));
    EXPECT_EQ(command.exitCode(), 0);
    const QString printed = QString::fromUtf8(command.readAllStandardOutput());
    for (const char *line : {"orvanta_mic\tTest Microphone\tdefault\n", "orvanta_mic2\tTest Headset\tchosen\n",
                             "orvanta_webcam\tTest Webcam\t\n"})
        EXPECT_TRUE(printed.contains(QString::fromUtf8(line))) << printed.toStdString();
    unplug(u"orvanta_webcam"_s);
    EXPECT_TRUE(test::waitUntil([&] { return !listed(model, u"orvanta_webcam"_s); }, 5000));

    // Only the headset hears the words: any of them proves it was recorded (the default hears nothing).
    const QByteArray words = synthesizeSpeech(u"send the report today"_s, home.path());
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
    EXPECT_TRUE(model.lastResult()->original.contains(u"today"_s, Qt::CaseInsensitive))
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
    EXPECT_TRUE(model.lastResult()->original.contains(u"today"_s, Qt::CaseInsensitive))
        << model.lastResult()->original.toStdString();
    EXPECT_TRUE(model.errorMessage()->contains(u"“Test Headset” went away"_s));
    std::printf("on removal: status \"%s\", message \"%s\", words \"%s\"\n", qPrintable(model.status()),
                qPrintable(*model.errorMessage()), qPrintable(model.lastResult()->original));

    // The next dictation falls back to the default and says so, naming both.
    model.toggle();
    ASSERT_TRUE(test::waitUntil([&] { return model.phase() == RecordingPhase::recording; }, 20000));
    EXPECT_EQ(model.errorMessage(), u"The microphone “Test Headset” is not connected; this dictation "
                                    "records from the desktop default, “Test Microphone”."_s);
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
