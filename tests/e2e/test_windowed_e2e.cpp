// Orvanta as a user runs it: started with its windows after setup, a GTK text field of another
// application focused, the hold key held through XTest while flite speech plays into the test
// microphone, and the text confirmed in that field.
#include "tests/support/AtspiClient.h"
#include "tests/support/DictationDesktop.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/X11TestClient.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv::test;

namespace {

bool desktopReady = false;

bool recordButtonReads(const AccessibleNode &app, const QString &name)
{
    return app.find(QStringLiteral("push button"), name).has_value();
}

} // namespace

TEST(WindowedDictation, holdingTheKeyDictatesIntoAnotherApplication)
{
    if (!desktopReady)
        GTEST_SKIP() << "needs the private desktop of scripts/with-desktop.sh (X server, AT-SPI, PulseAudio)";
    QTemporaryDir home;
    QSettings(home.filePath(QStringLiteral("config/orvanta/orvanta.conf")), QSettings::IniFormat)
        .setValue(QStringLiteral("orvanta.onboarding.complete"), true);
    QProcess orvanta;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    orvanta.setProcessEnvironment(environment);
    orvanta.setProcessChannelMode(QProcess::ForwardedChannels);
    orvanta.start(QStringLiteral(ORVANTA_BINARY), {});
    const std::optional<AccessibleNode> app = waitForApplication(QStringLiteral("Orvanta"), orvanta.processId(), 20000);
    ASSERT_TRUE(app);
    ASSERT_TRUE(waitUntil([&] { return recordButtonReads(*app, QStringLiteral("Start dictation")); }, 15000));

    const QByteArray hello = synthesizeSpeech(QStringLiteral("hello world"), home.path());
    ASSERT_FALSE(hello.isEmpty()) << "flite and sox make the test speech";
    GtkField field(QStringLiteral(ORVANTA_GTK_FIELD));
    ASSERT_TRUE(field.waitReady());

    X11TestClient keys;
    const unsigned holdKey = keys.keycode("Control_R");
    keys.press(holdKey);
    ASSERT_TRUE(waitUntil([&] { return recordButtonReads(*app, QStringLiteral("Finish dictation")); }, 10000))
        << "holding Right Ctrl did not start a dictation";
    {
        Speaker speaker(hello);
        waitUntil([&] { return speaker.done(); }, 30000);
    }
    keys.release(holdKey);
    EXPECT_TRUE(waitUntil([&] { return field.text() == QLatin1String("Hello world."); }, 20000))
        << field.text().toStdString();

    orvanta.terminate();
    orvanta.waitForFinished(10000);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    desktopReady = !qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("ORVANTA_TEST_PULSE") &&
                   !qEnvironmentVariableIsEmpty("ORVANTA_TEST_MIC_FIFO");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
