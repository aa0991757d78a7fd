// Orvanta as a user runs it: started with its windows after setup, a GTK text field of another
// application focused, the hold key held through XTest while flite speech plays into the test
// microphone, and the text confirmed in that field. And through the windows alone: the toolbar's
// Dictate and Finish, the result in the Overview's test pad, a word corrected there learned.
#include "tests/support/AtspiClient.h"
#include "tests/support/DictationDesktop.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/X11TestClient.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// The toolbar's record button named `name`, when it shows.
std::optional<AccessibleNode> toolbarButton(const AccessibleNode &app, const QString &name)
{
    const std::optional<AccessibleNode> toolbar =
        app.find([](const AccessibleNode &node) { return node.role() == QLatin1String("tool bar"); });
    if (!toolbar)
        return std::nullopt;
    std::optional<AccessibleNode> button = toolbar->find(QStringLiteral("push button"), name);
    if (button && !button->isShowing())
        return std::nullopt;
    return button;
}

// The dictionary entries of the library file, as heard → replacement.
QMap<QString, QString> learnedEntries(const QString &libraryPath)
{
    QFile file(libraryPath);
    QMap<QString, QString> entries;
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QJsonArray dictionary =
        QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("dictionary")).toArray();
    for (const QJsonValue &entry : dictionary)
        entries.insert(entry.toObject().value(QLatin1String("heard")).toString(),
                       entry.toObject().value(QLatin1String("replacement")).toString());
    return entries;
}

void run(const QStringList &xdotool)
{
    QProcess::execute(QStringLiteral("xdotool"), xdotool);
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

TEST(WindowedDictation, theToolbarDictatesIntoTheTestPadWhereACorrectedWordIsLearned)
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
    std::optional<AccessibleNode> dictate;
    ASSERT_TRUE(waitUntil(
        [&] { return (dictate = toolbarButton(*app, QStringLiteral("Start dictation"))).has_value(); }, 15000));
    const QByteArray hello = synthesizeSpeech(QStringLiteral("hello world"), home.path());
    ASSERT_FALSE(hello.isEmpty()) << "flite and sox make the test speech";

    ASSERT_TRUE(dictate->doAction(QStringLiteral("Press")));
    std::optional<AccessibleNode> finish;
    ASSERT_TRUE(waitUntil(
        [&] { return (finish = toolbarButton(*app, QStringLiteral("Finish dictation"))).has_value(); }, 10000));
    {
        Speaker speaker(hello);
        waitUntil([&] { return speaker.done(); }, 30000);
    }
    ASSERT_TRUE(finish->doAction(QStringLiteral("Press")));

    const std::optional<AccessibleNode> pad = app->find(QStringLiteral("text"), QStringLiteral("Dictation transcript"));
    ASSERT_TRUE(pad);
    ASSERT_TRUE(waitUntil([&] { return pad->text() == QLatin1String("Hello world."); }, 20000))
        << pad->text().toStdString();

    // The user corrects the word in the pad with the keyboard.
    const QPoint inside = pad->extents().center();
    run({QStringLiteral("mousemove"), QString::number(inside.x()), QString::number(inside.y()), QStringLiteral("click"),
         QStringLiteral("1")});
    ASSERT_TRUE(waitUntil([&] { return pad->isFocused(); }, 5000));
    run({QStringLiteral("key"), QStringLiteral("ctrl+a")});
    run({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), QStringLiteral("Hello World.")});
    ASSERT_TRUE(waitUntil([&] { return pad->text() == QLatin1String("Hello World."); }, 5000))
        << pad->text().toStdString();
    const QString library = home.filePath(QStringLiteral("data/orvanta/library.json"));
    EXPECT_TRUE(waitUntil(
        [&] { return learnedEntries(library).value(QStringLiteral("world")) == QLatin1String("World"); }, 10000))
        << "the correction never reached the library file";

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
