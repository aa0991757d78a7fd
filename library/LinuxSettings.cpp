#include "library/LinuxSettings.h"

#include "base/PlatformText.h"
#include "base/UnixEndpoint.h"
#include "library/LoopbackAddress.h"
#include "shortcuts/ShortcutKeys.h"

#include <QRegularExpression>

#include <QFileInfo>
#include <algorithm>
#include <pwd.h>

namespace orv {

LinuxSettings::LinuxSettings(std::unique_ptr<KeyValueStore> store, QObject *parent)
    : QObject(parent), m_store(std::move(store))
{}

LinuxSettings::~LinuxSettings() = default;

QString LinuxSettings::stored(const QString &key) const
{
    return m_store->text(key).value_or(QString());
}

QString LinuxSettings::holdKey() const
{
    const QString name = stored(holdKeyKey());
    return shortcutkeys::isHoldKeyName(name) ? name : platform::defaultHoldKeyName();
}

QString LinuxSettings::toggle() const
{
    const auto parsed = shortcutkeys::parseToggle(stored(toggleKey()));
    return parsed ? parsed.value().name() : platform::defaultToggleName();
}

QString LinuxSettings::languageModelEndpoint() const
{
    const QString address = stored(languageModelEndpointKey()).trimmed();
    return address.isEmpty() ? defaultLanguageModelEndpoint() : address;
}

Expected<void, QString> LinuxSettings::setHoldKey(const QString &name)
{
    if (!shortcutkeys::isHoldKeyName(name))
        return unexpected(QStringLiteral("“%1” cannot be the hold key. Choose one of: %2.")
                              .arg(name, shortcutkeys::holdKeyNames().join(QStringLiteral(", "))));
    return store(holdKeyKey(), name);
}

Expected<void, QString> LinuxSettings::setToggle(const QString &shortcut)
{
    const auto parsed = shortcutkeys::parseToggle(shortcut);
    if (!parsed)
        return unexpected(parsed.error());
    return store(toggleKey(), parsed.value().name());
}

Expected<void, QString> LinuxSettings::setLanguageModelEndpoint(const QString &address)
{
    const QString chosen = address.trimmed().isEmpty() ? defaultLanguageModelEndpoint() : address;
    const Expected<QUrl, QString> url = loopbackServerUrl(chosen, QStringLiteral("model server"));
    if (!url)
        return unexpected(url.error());
    return store(languageModelEndpointKey(), url.value().toString());
}

LinuxSettings::SpeechEngineChoice LinuxSettings::speechEngine() const
{
    const QString engine = stored(speechEngineKey());
    if (engine == u"server")
        return SpeechEngineChoice::server;
    if (engine == u"whisper")
        return SpeechEngineChoice::whisper;
    return SpeechEngineChoice::pocketSphinx;
}

QString LinuxSettings::whisperModelFile() const
{
    return stored(whisperModelKey()).trimmed();
}

Expected<void, QString> LinuxSettings::setWhisperModelFile(const QString &path)
{
    const QString chosen = path.trimmed();
    if (!chosen.isEmpty()) {
        const QFileInfo file(chosen);
        if (!file.isAbsolute() || !file.isFile() || !file.isReadable())
            return unexpected(QStringLiteral("The model file %1 cannot be read.").arg(chosen));
    }
    return store(whisperModelKey(), chosen);
}

bool LinuxSettings::readsInputDevices() const
{
    return stored(inputDevicesKey()) == u"true";
}

Expected<void, QString> LinuxSettings::setReadsInputDevices(bool read)
{
    return store(inputDevicesKey(), read ? QStringLiteral("true") : QStringLiteral("false"));
}

QString LinuxSettings::speechServerEndpoint() const
{
    const QString address = stored(speechServerEndpointKey()).trimmed();
    return address.isEmpty() ? defaultSpeechServerEndpoint() : address;
}

Expected<void, QString> LinuxSettings::setSpeechEngine(SpeechEngineChoice choice)
{
    switch (choice) {
    case SpeechEngineChoice::server:
        return store(speechEngineKey(), QStringLiteral("server"));
    case SpeechEngineChoice::whisper:
        return store(speechEngineKey(), QStringLiteral("whisper"));
    case SpeechEngineChoice::pocketSphinx:
        break;
    }
    return store(speechEngineKey(), QStringLiteral("pocketsphinx"));
}

Expected<void, QString> LinuxSettings::setSpeechServerEndpoint(const QString &address)
{
    const Expected<QUrl, QString> url =
        speechServerUrl(address.trimmed().isEmpty() ? defaultSpeechServerEndpoint() : address);
    if (!url)
        return unexpected(url.error());
    return store(speechServerEndpointKey(), url.value().toString());
}

QStringList LinuxSettings::allowedServerAccounts() const
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    return stored(serverAccountsKey()).split(separators, Qt::SkipEmptyParts);
}

Expected<void, QString> LinuxSettings::setAllowedServerAccounts(const QString &names)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    const QStringList accounts = names.split(separators, Qt::SkipEmptyParts);
    for (const QString &account : accounts) {
        passwd entry{};
        passwd *found = nullptr;
        char buffer[4096];
        if (getpwnam_r(account.toLocal8Bit().constData(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
            return unexpected(QStringLiteral("There is no account “%1” on %2.").arg(account, platform::thisComputer()));
    }
    return store(serverAccountsKey(), accounts.join(QStringLiteral(", ")));
}

QString LinuxSettings::audioSource() const
{
    return stored(audioSourceKey()).trimmed();
}

QString LinuxSettings::audioSourceDescription() const
{
    return stored(audioSourceDescriptionKey()).simplified();
}

Expected<void, QString> LinuxSettings::setAudioSource(const QString &name, const QString &description)
{
    const bool usable = name.size() <= 512 && std::none_of(name.begin(), name.end(), [](QChar c) {
                            return c.isSpace() || c.category() == QChar::Other_Control;
                        });
    if (!usable)
        return unexpected(QStringLiteral("“%1” is no name of a sound server's source; the microphone stays as it was.")
                              .arg(name.left(80).simplified()));
    QString shown = description.simplified();
    shown.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    if (auto kept = store(audioSourceDescriptionKey(), name.isEmpty() ? QString() : shown); !kept)
        return kept;
    return store(audioSourceKey(), name);
}

Expected<QUrl, QString> LinuxSettings::speechServerUrl(const QString &address)
{
    Expected<QUrl, QString> url = loopbackServerUrl(address, QStringLiteral("speech server"));
    if (!url)
        return url;
    QString path = unixendpoint::httpPath(url.value());
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (!path.endsWith(QLatin1String("/inference")) && !path.endsWith(QLatin1String("/audio/transcriptions")))
        return unexpected(
            QStringLiteral("The speech server address %1 names no transcription API: it must end in "
                           "/inference (whisper.cpp's server) or /v1/audio/transcriptions%2.")
                .arg(url.value().toString(),
                     unixendpoint::isUnix(url.value())
                         ? QStringLiteral(", written after the socket as in unix:/path/to/socket:/inference")
                         : QString()));
    return url;
}

Expected<void, QString> LinuxSettings::store(const QString &key, const QString &value)
{
    if (m_store->text(key) == value)
        return {};
    if (!m_store->setText(key, value))
        return unexpected(QStringLiteral("The settings file %1 could not be written.").arg(m_store->location()));
    Q_EMIT changed();
    return {};
}

} // namespace orv
