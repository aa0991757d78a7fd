#pragma once

#include "base/Expected.h"
#include "library/KeyValueStore.h"
#include "library/SessionKeysStatus.h"
#include "library/SpeechEngineStatus.h"
#include "shortcuts/ShortcutSettings.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace orv {

// The choices only the Linux build has, kept in orvanta.conf beside the setup progress: the hold key, the
// toggle shortcut, the address of the local language-model server, the speech engine and the microphone. The
// composition root reads them, the Settings page writes them, and whatever depends on one follows changed().
//
// Reads never fail: a missing or unusable key choice reads as the default and stays in the file untouched.
// A stored server address is handed on as it is, so that the server's status can say why it is not used.
// Setters refuse what cannot be used with a sentence saying why and keep the stored value.
class LinuxSettings final : public QObject, public ShortcutSettings
{
    Q_OBJECT

public:
    static QString holdKeyKey() { return QStringLiteral("shortcuts/holdKey"); }
    static QString toggleKey() { return QStringLiteral("shortcuts/toggle"); }
    static QString languageModelEndpointKey() { return QStringLiteral("languageModel/endpoint"); }
    static QString speechEngineKey() { return QStringLiteral("speech/engine"); }
    static QString speechServerEndpointKey() { return QStringLiteral("speech/serverEndpoint"); }
    static QString serverAccountsKey() { return QStringLiteral("servers/allowedAccounts"); }
    static QString audioSourceKey() { return QStringLiteral("audio/source"); }
    // What the chosen source was called when it was chosen, to name it when it is missing.
    static QString audioSourceDescriptionKey() { return QStringLiteral("audio/sourceDescription"); }
    static QString whisperModelKey() { return QStringLiteral("speech/whisperModel"); }
    // On Wayland, read the hold key from the input devices (opt-in: it means reading every key).
    static QString inputDevicesKey() { return QStringLiteral("shortcuts/readInputDevices"); }
    // The key defaults are platform words (platform::defaultHoldKeyName(), platform::defaultToggleName()).
    static QString defaultLanguageModelEndpoint() { return QStringLiteral("http://127.0.0.1:8080"); }
    // whisper.cpp's server listens on 8080 too unless told otherwise; the speech server gets a port of its own
    // so that both servers can run side by side.
    static QString defaultSpeechServerEndpoint() { return QStringLiteral("http://127.0.0.1:8178/inference"); }

    enum class SpeechEngineChoice
    {
        pocketSphinx, // on this computer, in process
        server,       // a local speech server
        whisper,      // the embedded Whisper model, PocketSphinx showing the live words
    };

    explicit LinuxSettings(std::unique_ptr<KeyValueStore> store, QObject *parent = nullptr);
    ~LinuxSettings() override;

    QString holdKey() const override;
    QString toggle() const override;
    QString languageModelEndpoint() const;
    SpeechEngineChoice speechEngine() const;
    QString speechServerEndpoint() const;
    // Other accounts whose local servers may receive dictations, by name: by default none but this user's.
    QStringList allowedServerAccounts() const;
    // The sound server's name of the microphone to record from; empty: the desktop's default.
    QString audioSource() const;
    QString audioSourceDescription() const;
    // The Whisper model file the user chose ("Use a model file…"); empty: the installed model of the language.
    QString whisperModelFile() const;
    bool readsInputDevices() const;

    // Each emits changed() when the stored value changed.
    Expected<void, QString> setHoldKey(const QString &name);
    Expected<void, QString> setToggle(const QString &shortcut);
    // Loopback addresses only; an empty address means the default.
    Expected<void, QString> setLanguageModelEndpoint(const QString &address);
    Expected<void, QString> setSpeechEngine(SpeechEngineChoice choice);
    // Loopback addresses whose path names a transcription API; an empty address means the default.
    Expected<void, QString> setSpeechServerEndpoint(const QString &address);
    // Names of accounts on this computer, separated by commas or spaces; an unknown name is refused.
    Expected<void, QString> setAllowedServerAccounts(const QString &names);
    // An empty name goes back to the desktop's default; names with control characters or spaces are refused.
    Expected<void, QString> setAudioSource(const QString &name, const QString &description = {});
    // An absolute path to a readable file, or empty for the installed model.
    Expected<void, QString> setWhisperModelFile(const QString &path);
    Expected<void, QString> setReadsInputDevices(bool read);

    // The speech server's address as a URL, or why it cannot be used: loopback only, and the path must be
    // whisper.cpp's /inference or an OpenAI-compatible /v1/audio/transcriptions.
    static Expected<QUrl, QString> speechServerUrl(const QString &address);

    // Not a stored choice: what came of the speech engine choice, for the Settings page to show.
    SpeechEngineStatus &speechEngineStatus() { return m_speechEngineStatus; }
    // Not a stored choice: how the keys reach Orvanta in this session.
    SessionKeysStatus &sessionKeys() { return m_sessionKeys; }

Q_SIGNALS:
    void changed();

private:
    QString stored(const QString &key) const;
    Expected<void, QString> store(const QString &key, const QString &value);

    std::unique_ptr<KeyValueStore> m_store;
    SpeechEngineStatus m_speechEngineStatus;
    SessionKeysStatus m_sessionKeys;
};

} // namespace orv
