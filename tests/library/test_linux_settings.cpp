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
using namespace Qt::StringLiterals;

// The speech server, like the model server, stays on this computer, and off the model server's port.
TEST(LinuxSettings, choicesRoundTripThroughTheFileAndUnusableStoredValuesReadAsDefaultsWithoutLoss)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"orvanta/orvanta.conf"_s);
    LinuxSettings settings(std::make_unique<SettingsKeyValueStore>(path));
    EXPECT_EQ(settings.holdKey(), u"Right Ctrl"_s);
    EXPECT_EQ(settings.toggle(), u"Ctrl+Alt+Space"_s);
    EXPECT_EQ(settings.languageModelEndpoint(), u"http://127.0.0.1:8080"_s);
    EXPECT_EQ(settings.speechEngine(), LinuxSettings::SpeechEngineChoice::pocketSphinx);
    EXPECT_NE(QUrl(settings.speechServerEndpoint()).port(), QUrl(settings.languageModelEndpoint()).port())
        << "both servers can run side by side with their defaults";

    ASSERT_TRUE(settings.setSpeechEngine(LinuxSettings::SpeechEngineChoice::server));
    ASSERT_TRUE(settings.setSpeechServerEndpoint(u" http://localhost:9000/v1/audio/transcriptions "_s));
    EXPECT_FALSE(settings.setSpeechServerEndpoint(u"http://10.0.0.7:8178/inference"_s));
    EXPECT_FALSE(settings.setSpeechServerEndpoint(u"http://127.0.0.1:8178/"_s));
    ASSERT_TRUE(settings.setHoldKey(u"Menu"_s));
    ASSERT_TRUE(settings.setToggle(u"super+shift+k"_s));
    ASSERT_TRUE(settings.setLanguageModelEndpoint(u" http://127.1:9000 "_s));
    {
        LinuxSettings again(std::make_unique<SettingsKeyValueStore>(path));
        EXPECT_EQ(again.holdKey(), u"Menu"_s);
        EXPECT_EQ(again.toggle(), u"Shift+Super+K"_s);
        EXPECT_EQ(again.languageModelEndpoint(), u"http://127.0.0.1:9000"_s);
        EXPECT_EQ(again.speechEngine(), LinuxSettings::SpeechEngineChoice::server);
        EXPECT_EQ(again.speechServerEndpoint(), u"http://localhost:9000/v1/audio/transcriptions"_s);
    }

    EXPECT_TRUE(settings.setHoldKey(u"Left Pinky"_s).error().contains(u"Right Ctrl"_s));
    EXPECT_FALSE(settings.setToggle(u"Ctrl+"_s));
    EXPECT_FALSE(settings.setLanguageModelEndpoint(u"http://192.168.1.20:8080"_s)); // its reason: LoopbackAddress tests
    EXPECT_EQ(settings.holdKey(), u"Menu"_s) << "a refused choice must not replace the stored one";
    EXPECT_EQ(settings.toggle(), u"Shift+Super+K"_s);
    EXPECT_EQ(settings.languageModelEndpoint(), u"http://127.0.0.1:9000"_s);

    {
        QSettings raw(path, QSettings::IniFormat);
        raw.setValue(LinuxSettings::holdKeyKey(), u"Nonsense"_s);
        raw.setValue(LinuxSettings::toggleKey(), u"D"_s);
        raw.setValue(LinuxSettings::speechEngineKey(), u"cloud"_s);
        raw.setValue(u"orvanta.onboarding.complete"_s, true);
    }
    LinuxSettings edited(std::make_unique<SettingsKeyValueStore>(path));
    EXPECT_EQ(edited.holdKey(), u"Right Ctrl"_s);
    EXPECT_EQ(edited.toggle(), u"Ctrl+Alt+Space"_s);
    EXPECT_EQ(edited.speechEngine(), LinuxSettings::SpeechEngineChoice::pocketSphinx);
    EXPECT_EQ(QSettings(path, QSettings::IniFormat).value(LinuxSettings::holdKeyKey()).toString(), u"Nonsense"_s)
        << "reading must not rewrite what the user stored";
    ASSERT_TRUE(edited.setToggle(u"Ctrl+Alt+Space"_s));
    EXPECT_TRUE(QSettings(path, QSettings::IniFormat).value(u"orvanta.onboarding.complete"_s).toBool())
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

    ASSERT_TRUE(settings.setToggle(u"ctrl+shift+d"_s));
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(settings.setToggle(u"Ctrl+Shift+D"_s));
    EXPECT_EQ(changes, 1) << "the same choice again is no change";
    ASSERT_TRUE(settings.setLanguageModelEndpoint(QString()));
    EXPECT_EQ(store.values.value(LinuxSettings::languageModelEndpointKey()).toString(), u"http://127.0.0.1:8080"_s)
        << "an emptied address is the default";

    store.writable = false;
    EXPECT_EQ(settings.setHoldKey(u"Right Alt"_s).error(), u"The settings file memory could not be written."_s);
    EXPECT_EQ(settings.holdKey(), u"Right Ctrl"_s);
    EXPECT_EQ(changes, 2);
}

TEST(LoopbackAddress, onlyHttpAddressesOfThisComputerInAnySpellingPass)
{
    const auto refusal = [](const char *address) {
        const auto url = loopbackServerUrl(QString::fromLatin1(address), u"model server"_s);
        return url ? u"none"_s : url.error();
    };
    for (const char *local : {"http://localhost:9000", "http://LOCALHOST/", "http://[::1]:8080", "https://127.0.0.2/v1",
                              "http://2130706433:80", "http://[::ffff:127.0.0.1]/", "http://127.1:8080"})
        EXPECT_EQ(refusal(local), u"none"_s) << local;
    for (const char *remote : {"http://192.168.1.20:8080", "http://example.com", "http://127.0.0.1.example.com",
                               "http://localhost.example.com", "http://[::ffff:10.0.0.1]/", "http://[2001:db8::1]/"})
        EXPECT_TRUE(refusal(remote).contains(u"is not on this computer"_s)) << remote;
    for (const char *invalid : {"ftp://127.0.0.1", "not a url at all", "127.0.0.1:8080", ""})
        EXPECT_TRUE(refusal(invalid).endsWith(u"is not a valid http address."_s)) << invalid;
}

// A socket in the file system is this computer's too: its path is written out in full, and where the
// socket ends and the HTTP path begins is never in doubt.
TEST(LoopbackAddress, unixSocketsPassByAnAbsolutePlainPathOnly)
{
    const auto url = LinuxSettings::speechServerUrl(u" UNIX:/run/user/1000/whisper.sock:/inference "_s);
    ASSERT_TRUE(url) << url.error().toStdString();
    EXPECT_EQ(url.value().toString(), u"unix:/run/user/1000/whisper.sock:/inference"_s);
    EXPECT_EQ(unixendpoint::socketPath(url.value()), u"/run/user/1000/whisper.sock"_s);
    EXPECT_EQ(unixendpoint::httpPath(url.value()), u"/inference"_s);
    EXPECT_EQ(unixendpoint::origin(url.value()).toString(), u"unix:/run/user/1000/whisper.sock"_s);

    const QString tooLong = u"unix:/"_s + QString(110, u's');
    for (const auto &[address, why] : std::initializer_list<std::pair<QString, QString>>{
             {u"unix:/run/user/1000/inference"_s, u"as in unix:/path/to/socket:/inference"_s},
             {u"unix:run/llama.sock"_s, u"names no absolute socket path"_s},
             {u"unix:@llama"_s, u"names an abstract socket, which any account can take"_s},
             {u"unix:/run/../tmp/llama.sock"_s, u"without “.” or “..”"_s},
             {u"unix:/run/llama.sock:v1"_s, u"is not a valid socket address"_s},
             {u"unix:/run/llama.sock?x\x1b[2J"_s, u"is not a valid socket address"_s},
             {tooLong, u"longer than a Unix socket's address can be (107 bytes)"_s}}) {
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
        const QString path = dir.filePath(u"orvanta.conf"_s);
        const QByteArray name = QFile::encodeName(path);
        if (kind == "pipe") {
            ASSERT_EQ(::mkfifo(name.constData(), 0600), 0);
        } else if (kind == "open") {
            QSettings(path, QSettings::IniFormat).setValue(LinuxSettings::holdKeyKey(), u"Menu"_s);
            ::chmod(name.constData(), 0666);
        } else if (other) {
            ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
            const test::ActingAs acting(*other);
            QSettings(path, QSettings::IniFormat).setValue(LinuxSettings::holdKeyKey(), u"Menu"_s);
        } else {
            continue;
        }
        auto store = std::make_unique<SettingsKeyValueStore>(path);
        const QString problem = store->problem();
        LinuxSettings settings(std::move(store));
        if (kind == "open") {
            EXPECT_TRUE(problem.isEmpty()) << qPrintable(problem);
            EXPECT_EQ(settings.holdKey(), u"Menu"_s);
            EXPECT_EQ(QFile::permissions(path),
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
            continue;
        }
        EXPECT_TRUE(problem.contains(kind == "pipe" ? u"named pipe"_s : u"“%1”"_s.arg(other->name)))
            << qPrintable(problem);
        EXPECT_EQ(settings.holdKey(), u"Right Ctrl"_s);
        EXPECT_FALSE(settings.setHoldKey(u"Left Alt"_s));
    }
}
