#include "base/UnixEndpoint.h"
#include "library/LinuxSettings.h"
#include "library/LoopbackAddress.h"
#include "library/SettingsKeyValueStore.h"
#include "tests/support/InMemoryKeyValueStore.h"
#include "tests/support/OtherAccount.h"
#include "tests/support/QtPrinters.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

using namespace orv;

// The speech server, like the model server, stays on this computer, and off the model server's port.
TEST(LinuxSettings, choicesRoundTripThroughTheFileAndUnusableStoredValuesReadAsDefaultsWithoutLoss)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("orvanta/orvanta.conf"));
    LinuxSettings settings(std::make_unique<SettingsKeyValueStore>(path));
    EXPECT_EQ(settings.holdKey(), QStringLiteral("Right Ctrl"));
    EXPECT_EQ(settings.toggle(), QStringLiteral("Ctrl+Alt+Space"));
    EXPECT_EQ(settings.languageModelEndpoint(), QStringLiteral("http://127.0.0.1:8080"));
    EXPECT_EQ(settings.speechEngine(), LinuxSettings::SpeechEngineChoice::pocketSphinx);
    EXPECT_NE(QUrl(settings.speechServerEndpoint()).port(), QUrl(settings.languageModelEndpoint()).port())
        << "both servers can run side by side with their defaults";

    ASSERT_TRUE(settings.setSpeechEngine(LinuxSettings::SpeechEngineChoice::server));
    ASSERT_TRUE(settings.setSpeechServerEndpoint(QStringLiteral(" http://localhost:9000/v1/audio/transcriptions ")));
    EXPECT_FALSE(settings.setSpeechServerEndpoint(QStringLiteral("http://10.0.0.7:8178/inference")));
    EXPECT_FALSE(settings.setSpeechServerEndpoint(QStringLiteral("http://127.0.0.1:8178/")));
    ASSERT_TRUE(settings.setHoldKey(QStringLiteral("Menu")));
    ASSERT_TRUE(settings.setToggle(QStringLiteral("super+shift+k")));
    ASSERT_TRUE(settings.setLanguageModelEndpoint(QStringLiteral(" http://127.1:9000 ")));
    {
        LinuxSettings again(std::make_unique<SettingsKeyValueStore>(path));
        EXPECT_EQ(again.holdKey(), QStringLiteral("Menu"));
        EXPECT_EQ(again.toggle(), QStringLiteral("Shift+Super+K"));
        EXPECT_EQ(again.languageModelEndpoint(), QStringLiteral("http://127.0.0.1:9000"));
        EXPECT_EQ(again.speechEngine(), LinuxSettings::SpeechEngineChoice::server);
        EXPECT_EQ(again.speechServerEndpoint(), QStringLiteral("http://localhost:9000/v1/audio/transcriptions"));
    }

    const auto refused = settings.setHoldKey(QStringLiteral("Left Pinky"));
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().contains(QStringLiteral("Right Ctrl")));
    EXPECT_FALSE(settings.setToggle(QStringLiteral("Ctrl+")));
    const auto remote = settings.setLanguageModelEndpoint(QStringLiteral("http://192.168.1.20:8080"));
    ASSERT_FALSE(remote);
    EXPECT_TRUE(remote.error().contains(QStringLiteral("http://192.168.1.20:8080 is not on this computer.")));
    EXPECT_EQ(settings.holdKey(), QStringLiteral("Menu")) << "a refused choice must not replace the stored one";
    EXPECT_EQ(settings.toggle(), QStringLiteral("Shift+Super+K"));
    EXPECT_EQ(settings.languageModelEndpoint(), QStringLiteral("http://127.0.0.1:9000"));

    {
        QSettings raw(path, QSettings::IniFormat);
        raw.setValue(LinuxSettings::holdKeyKey(), QStringLiteral("Nonsense"));
        raw.setValue(LinuxSettings::toggleKey(), QStringLiteral("D"));
        raw.setValue(LinuxSettings::speechEngineKey(), QStringLiteral("cloud"));
        raw.setValue(QStringLiteral("orvanta.onboarding.complete"), true);
    }
    LinuxSettings edited(std::make_unique<SettingsKeyValueStore>(path));
    EXPECT_EQ(edited.holdKey(), QStringLiteral("Right Ctrl"));
    EXPECT_EQ(edited.toggle(), QStringLiteral("Ctrl+Alt+Space"));
    EXPECT_EQ(edited.speechEngine(), LinuxSettings::SpeechEngineChoice::pocketSphinx);
    EXPECT_EQ(QSettings(path, QSettings::IniFormat).value(LinuxSettings::holdKeyKey()).toString(),
              QStringLiteral("Nonsense"))
        << "reading must not rewrite what the user stored";
    ASSERT_TRUE(edited.setToggle(QStringLiteral("Ctrl+Alt+Space")));
    EXPECT_TRUE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("orvanta.onboarding.complete")).toBool())
        << "other keys of the shared file survive";

    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    EXPECT_EQ(SettingsKeyValueStore::defaultFilePath(), path);
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(LinuxSettings, changedIsSignalledOnlyForAStoredChangeAndAnUnwritableFileChangesNothing)
{
    auto memory = std::make_unique<test::InMemoryKeyValueStore>();
    test::InMemoryKeyValueStore &store = *memory;
    LinuxSettings settings(std::move(memory));
    int changes = 0;
    QObject::connect(&settings, &LinuxSettings::changed, &settings, [&] { ++changes; });

    ASSERT_TRUE(settings.setToggle(QStringLiteral("ctrl+shift+d")));
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(settings.setToggle(QStringLiteral("Ctrl+Shift+D")));
    EXPECT_EQ(changes, 1) << "the same choice again is no change";
    ASSERT_TRUE(settings.setLanguageModelEndpoint(QString()));
    EXPECT_EQ(store.values.value(LinuxSettings::languageModelEndpointKey()).toString(),
              QStringLiteral("http://127.0.0.1:8080"))
        << "an emptied address is the default";

    store.writable = false;
    const auto failed = settings.setHoldKey(QStringLiteral("Right Alt"));
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), QStringLiteral("The settings file memory could not be written."));
    EXPECT_EQ(settings.holdKey(), QStringLiteral("Right Ctrl"));
    EXPECT_EQ(changes, 2);
}

TEST(LoopbackAddress, onlyHttpAddressesOfThisComputerInAnySpellingPass)
{
    const auto refusal = [](const char *address) {
        const auto url = loopbackServerUrl(QString::fromLatin1(address), QStringLiteral("model server"));
        return url ? QStringLiteral("none") : url.error();
    };
    for (const char *local : {"http://localhost:9000", "http://LOCALHOST/", "http://[::1]:8080", "https://127.0.0.2/v1",
                              "http://2130706433:80", "http://[::ffff:127.0.0.1]/", "http://127.1:8080"})
        EXPECT_EQ(refusal(local), QStringLiteral("none")) << local;
    for (const char *remote : {"http://192.168.1.20:8080", "http://example.com", "http://127.0.0.1.example.com",
                               "http://localhost.example.com", "http://[::ffff:10.0.0.1]/", "http://[2001:db8::1]/"})
        EXPECT_TRUE(refusal(remote).contains(QStringLiteral("is not on this computer"))) << remote;
    for (const char *invalid : {"ftp://127.0.0.1", "not a url at all", "127.0.0.1:8080", ""})
        EXPECT_TRUE(refusal(invalid).endsWith(QStringLiteral("is not a valid http address."))) << invalid;
}

// A socket in the file system is this computer's too: its path is written out in full, and where the
// socket ends and the HTTP path begins is never in doubt.
TEST(LoopbackAddress, unixSocketsPassByAnAbsolutePlainPathOnly)
{
    const auto url = LinuxSettings::speechServerUrl(QStringLiteral(" UNIX:/run/user/1000/whisper.sock:/inference "));
    ASSERT_TRUE(url) << url.error().toStdString();
    EXPECT_EQ(url.value().toString(), QStringLiteral("unix:/run/user/1000/whisper.sock:/inference"));
    EXPECT_EQ(unixendpoint::socketPath(url.value()), QStringLiteral("/run/user/1000/whisper.sock"));
    EXPECT_EQ(unixendpoint::httpPath(url.value()), QStringLiteral("/inference"));
    EXPECT_EQ(unixendpoint::origin(url.value()).toString(), QStringLiteral("unix:/run/user/1000/whisper.sock"));

    const QString tooLong = QStringLiteral("unix:/") + QString(110, QLatin1Char('s'));
    for (const auto &[address, why] : std::initializer_list<std::pair<QString, QString>>{
             {QStringLiteral("unix:/run/user/1000/inference"), QStringLiteral("as in unix:/path/to/socket:/inference")},
             {QStringLiteral("unix:run/llama.sock"), QStringLiteral("names no absolute socket path")},
             {QStringLiteral("unix:@llama"), QStringLiteral("names an abstract socket, which any account can take")},
             {QStringLiteral("unix:/run/../tmp/llama.sock"), QStringLiteral("without “.” or “..”")},
             {QStringLiteral("unix:/run/llama.sock:v1"), QStringLiteral("is not a valid socket address")},
             {QStringLiteral("unix:/run/llama.sock?x\x1b[2J"), QStringLiteral("is not a valid socket address")},
             {tooLong, QStringLiteral("longer than a Unix socket's address can be (107 bytes)")}}) {
        const auto refused = LinuxSettings::speechServerUrl(address);
        ASSERT_FALSE(refused) << address.toStdString();
        EXPECT_TRUE(refused.error().contains(why)) << refused.error().toStdString();
        EXPECT_FALSE(refused.error().contains(QChar(0x1b))) << "shown without control characters";
    }
}

// Every command reads the settings file at its start: a named pipe or another account's file in its place
// is left alone, without waiting on it, and the choices read as their defaults; the user's own file that
// others could change is made private and used.
TEST(LinuxSettings, aSettingsFileThatIsNoPrivateFileOfTheUsersIsLeftAloneWithoutWaiting)
{
    QString whyNot;
    const auto other = test::OtherAccount::get(&whyNot);
    for (const std::string kind : {"pipe", "open", "theirs"}) {
        SCOPED_TRACE(kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("orvanta.conf"));
        const QByteArray name = QFile::encodeName(path);
        if (kind == "pipe") {
            ASSERT_EQ(::mkfifo(name.constData(), 0600), 0);
        } else if (kind == "open") {
            QSettings(path, QSettings::IniFormat).setValue(LinuxSettings::holdKeyKey(), QStringLiteral("Menu"));
            ::chmod(name.constData(), 0666);
        } else if (other) {
            ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
            const test::ActingAs acting(*other);
            QSettings(path, QSettings::IniFormat).setValue(LinuxSettings::holdKeyKey(), QStringLiteral("Menu"));
        } else {
            continue;
        }
        auto store = std::make_unique<SettingsKeyValueStore>(path);
        const QString problem = store->problem();
        LinuxSettings settings(std::move(store));
        if (kind == "open") {
            EXPECT_TRUE(problem.isEmpty()) << qPrintable(problem);
            EXPECT_EQ(settings.holdKey(), QStringLiteral("Menu"));
            EXPECT_EQ(QFile::permissions(path),
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
            continue;
        }
        EXPECT_TRUE(
            problem.contains(kind == "pipe" ? QStringLiteral("named pipe") : QStringLiteral("“%1”").arg(other->name)))
            << qPrintable(problem);
        EXPECT_EQ(settings.holdKey(), QStringLiteral("Right Ctrl"));
        EXPECT_FALSE(settings.setHoldKey(QStringLiteral("Left Alt")));
    }
}
