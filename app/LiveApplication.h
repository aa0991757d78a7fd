#pragma once

#include "app/ShortcutController.h"
#include "base/LiveScheduler.h"
#include "core/AppModel.h"

#include <functional>
#include <memory>

namespace orv {

class LinuxSettings;
class LlamaServerModel;
class PulseMicrophones;
struct SpeechServerChoice;
class WhisperModel;

// The composition root: the app model built over the real services of this computer, in the order the
// model owns them, the global shortcuts wired to it, and the Linux choices (orvanta.conf) that the
// shortcuts and the language model follow as they change. Needs a QGuiApplication (the clipboard) that
// was created after LiveApplication::configureProcess().
class LiveApplication
{
public:
    struct Options
    {
        ShortcutController::Registration shortcuts = ShortcutController::Registration::afterOnboarding;
        std::optional<QString> libraryPath; // default: $XDG_DATA_HOME/orvanta/library.json
        // The library already being read (a start reads it while Qt starts); empty: read at libraryPath.
        std::function<std::unique_ptr<AppStore>()> library;
    };

    // Process-wide settings that must precede the QGuiApplication.
    static void configureProcess();

    explicit LiveApplication(const Options &options);
    ~LiveApplication();

    LiveScheduler &scheduler() { return m_scheduler; }
    AppModel &model() { return *m_model; }
    ShortcutController &shortcuts() { return *m_shortcuts; }
    LinuxSettings &settings() { return *m_settings; }

    // Before a quit (a menu, a signal, the end of the session): a dictation under way is finished into
    // History and onto the clipboard, within the model's bound, while the event loop keeps running.
    void finishDictationBeforeQuit();
    // At termination: the keys are released and any dictation is cancelled; nothing needs saving.
    void shutdown();

private:
    void choicesChanged();
    // Makes the speech engine chosen in the settings the one of the next dictation, and says how it is.
    void applySpeechChoice();
    void checkSpeechServer();
    // Says which Whisper model the next dictation uses, and how it is.
    void checkWhisperModel();

    LiveScheduler m_scheduler;
    std::unique_ptr<LinuxSettings> m_settings;
    std::unique_ptr<PulseMicrophones> m_microphones; // the model holds it
    std::unique_ptr<AppModel> m_model;
    LlamaServerModel *m_languageServer = nullptr; // owned by the model's formatter
    QString m_languageServerEndpoint;
    QStringList m_serverAccounts; // other accounts whose servers the user allowed
    std::shared_ptr<SpeechServerChoice> m_speechChoice;
    std::optional<QString> m_speechChoiceApplied; // the server's endpoint, "whisper:" and the model, or "pocketsphinx"
    Task<> m_speechCheck;
    std::unique_ptr<ShortcutController> m_shortcuts;
};

} // namespace orv
