#pragma once

#include "base/PlatformText.h"
#include "base/Scheduler.h"
#include "base/Task.h"
#include "delivery/AbstractTextDelivery.h"
#include "desktop/AbstractLoginItemController.h"
#include "desktop/Desktop.h"
#include "library/AppStore.h"
#include "library/KeyValueStore.h"
#include "library/OnboardingState.h"
#include "library/Records.h"
#include "refine/AbstractFormatter.h"
#include "speech/AbstractMicrophones.h"
#include "speech/AbstractSpeechEngine.h"
#include "speech/Permissions.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace orv {

// The central model: every value a window shows, the dictation session from start to delivered result,
// the status texts, permissions and every change of the library. Main thread only. After each change it
// emits changed() synchronously; observers re-read what they show.
class AppModel : public QObject
{
    Q_OBJECT

public:
    // The services the model owns for the whole run, built by the composition root.
    struct Services
    {
        Scheduler &scheduler;
        std::unique_ptr<AbstractLoginItemController> loginItem;
        std::unique_ptr<KeyValueStore> onboardingStore;
        std::unique_ptr<AppStore> store;
        std::unique_ptr<AbstractSpeechEngine> speech;
        std::unique_ptr<AbstractFormatter> formatter;
        std::unique_ptr<AbstractTextDelivery> delivery;
        std::unique_ptr<Desktop> desktop;
    };

    // The names of the user's dictation keys as the texts print them.
    struct ShortcutNames
    {
        QString holdKey = platform::defaultHoldKeyName();
        QString toggle = platform::defaultToggleName();

        bool operator==(const ShortcutNames &) const = default;
    };

    static constexpr qsizetype historyLimit = 200;
    static constexpr qsizetype dictionaryLimit = 500;
    static constexpr qsizetype dictionaryFieldLimit = 100; // user-perceived characters
    static constexpr Duration tickPeriod = std::chrono::milliseconds(200);
    static constexpr double recordingLimitSeconds = 600.0;
    // How long a quit waits for the dictation under way: the recognizer's own finalization limit.
    static constexpr Duration quitLimit = std::chrono::seconds(12);

    explicit AppModel(Services services, QObject *parent = nullptr);
    ~AppModel() override;

    // Services.
    AbstractLoginItemController &loginItem() const { return *m_loginItem; }
    OnboardingState &onboarding() { return m_onboarding; }
    const OnboardingState &onboarding() const { return m_onboarding; }
    AppStore &store() const { return *m_store; }
    AbstractSpeechEngine &speech() const { return *m_speech; }
    // The speech engine's: the model reads and asks the same permissions the engine checks at each start.
    Permissions &permissions() const { return m_speech->permissions(); }
    AbstractFormatter &formatter() const { return *m_formatter; }
    AbstractTextDelivery &delivery() const { return *m_delivery; }
    Desktop &desktop() const { return *m_desktop; }
    Scheduler &scheduler() const { return m_scheduler; }
    // The sound server's inputs, the chosen one and the level meter, for the windows; null unless the
    // composition root gave them (they must outlive the model). A dictation stops the meter as it starts.
    AbstractMicrophones *microphones() const { return m_microphones; }
    void setMicrophones(AbstractMicrophones *microphones);

    // State.
    const Preferences &preferences() const { return m_preferences; }
    bool hasOperation() const { return m_operation.isValid(); }
    const QUuid &sessionID() const { return m_sessionID; }
    bool hasTimer() const { return m_timer != nullptr; }
    const std::optional<TimePoint> &recordingStarted() const { return m_recordingStarted; }
    const QHash<QUuid, QString> &correctionBaselines() const { return m_correctionBaselines; }
    bool fnOwnsRecording() const { return m_fnOwnsRecording; }
    RecordingPhase phase() const { return m_phase; }
    const QString &status() const { return m_status; }
    const QString &fnShortcutStatus() const { return m_fnShortcutStatus; }
    const QString &liveTranscript() const { return m_liveTranscript; }
    double elapsed() const { return m_elapsed; }
    float audioLevel() const { return m_audioLevel; }
    const QList<TranscriptRecord> &history() const { return m_history; }
    const QList<DictionaryEntry> &dictionary() const { return m_dictionary; }
    const std::optional<TranscriptRecord> &lastResult() const { return m_lastResult; }
    const QString &microphoneStatus() const { return m_microphoneStatus; }
    const QString &speechStatus() const { return m_speechStatus; }
    bool accessibilityEnabled() const { return m_accessibilityEnabled; }
    const QString &modelStatus() const { return m_modelStatus; }
    const QString &activeModelName() const { return m_activeModelName; }
    // What the last "Check" found: the server's model, or why it is not used; empty before one.
    const QString &modelCheckResult() const { return m_modelCheckResult; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    const QString &lastDelivery() const { return m_lastDelivery; }
    const std::optional<DeliveryResult> &lastDeliveryResult() const { return m_lastDeliveryResult; }
    const QStringList &supportedLocales() const { return m_supportedLocales; }
    const ShortcutNames &shortcutNames() const { return m_shortcutNames; }
    // Why the toggle shortcut is not registered (another program holds it); none once it is.
    const std::optional<QString> &shortcutRegistrationError() const { return m_shortcutRegistrationError; }

    // Session.
    void startDictation();
    void finishDictation();
    void cancelDictation();
    // Before the application quits: a dictation under way is finished into History and onto the clipboard
    // (never pasted), within quitLimit; what was heard by then is kept if the rest does not come. `done`
    // runs once nothing is left to do, at once when no dictation runs.
    void finishBeforeQuit(std::function<void()> done);
    // Entry points: the toggle shortcut and buttons; the hold key's begin, release and interruption.
    void toggle();
    void fnBegin();
    void fnFinish();
    void fnCancel();

    // Results and learning.
    void saveLibrary();
    // Learns the corrected words between the two texts; answers the pairs learned.
    QStringList applyCorrection(const QString &original, const QString &edited);
    // Ids and texts are taken by value: callers may hand in references into the lists these change.
    void editTranscript(QUuid recordID, QString text);
    // What the last edit saved through editTranscript taught ("Learned: Anna → Ana"), or why it taught
    // nothing; empty when the text did not change.
    const QString &lastLearning() const { return m_lastLearning; }

    // Permissions and status.
    void refreshStatus();
    void prepareActivatedApplication();
    void requestPermissions();
    // Asks for what is not yet determined; true when recording may begin.
    Task<bool> authorizeRecording();
    // Answers whether a settings program was opened; where none was, the caller says what to do.
    bool openPrivacySettings(const QString &anchor);
    // "Enable Accessibility…": switches the session's accessibility on and reads the status again; once the
    // switch is on, opens the desktop's accessibility settings instead.
    void enableAccessibility();
    // "Check": asks the language model now whether it is there; the model status reads "Checking …" meanwhile.
    void checkLanguageModel();

    // Library and onboarding editing.
    void learn(const QString &heard, const QString &replacement, bool automatic);
    void addDictionaryEntry(const QString &heard, const QString &replacement);
    // By value, as editTranscript.
    void deleteDictionaryEntry(QUuid id);
    void deleteRecord(QUuid id);
    void clearHistory();
    void setRetainHistory(bool retain);
    void resetOnboarding();
    void completeOnboarding();
    void advanceOnboarding();

    void setFnShortcutStatus(const QString &text);
    // The composition root tells the names of the configured keys; notifies when they changed.
    void setShortcutNames(const ShortcutNames &names);
    // The owner of the global shortcuts reports whether the toggle could be registered; notifies on change.
    void setShortcutRegistrationError(const std::optional<QString> &error);

    // For windows that change a preference themselves: they store it here, then call saveLibrary() and
    // notifyChanged(). Neither setter saves or notifies.
    void setPreferences(const Preferences &preferences) { m_preferences = preferences; }
    void setErrorMessage(const std::optional<QString> &message) { m_errorMessage = message; }
    void notifyChanged() { Q_EMIT changed(); }

Q_SIGNALS:
    // "OrvantaModelChanged": something changed; no description of what.
    void changed();

private:
    static Task<> startTask(QPointer<AppModel> model, QUuid session, QString locale, QStringList contextualStrings);
    static Task<> finishTask(QPointer<AppModel> model, QUuid session, DictationMode mode, double duration);
    static Task<bool> authorizeTask(QPointer<AppModel> model);
    static Task<> permissionTask(QPointer<AppModel> model);
    static Task<> localeTask(QPointer<AppModel> model);
    static Task<> accessibilityRecheckTask(QPointer<AppModel> model);
    static Task<> languageModelTask(QPointer<AppModel> model);
    static bool isStale(const QPointer<AppModel> &model, const QUuid &session, const CancelToken &token);

    void installCallbacks();
    void tick();
    void speechFailed(const SpeechEngineError &error);
    // A record of `text` in the history (when kept) and the library, as the result of the session.
    void keepResult(const QString &transcript, const QString &text, double duration, const QString &formatter);
    // A quit's wait ends once the dictation is idle again; what was heard is kept if its record was not.
    void quitSettled();
    // The microphone went away while recording: the dictation finishes with what was heard, and says so.
    void microphoneLost(const SpeechEngineError &error);
    // Baselines are for learning from later edits: none for a record that can no longer be edited.
    void dropUneditableBaselines();

    Scheduler &m_scheduler;
    // Owned services, in the order they are built.
    std::unique_ptr<AbstractLoginItemController> m_loginItem;
    std::unique_ptr<KeyValueStore> m_onboardingStore;
    OnboardingState m_onboarding;
    std::unique_ptr<AppStore> m_store;
    std::unique_ptr<AbstractSpeechEngine> m_speech;
    std::unique_ptr<AbstractFormatter> m_formatter;
    std::unique_ptr<AbstractTextDelivery> m_delivery;
    std::unique_ptr<Desktop> m_desktop;
    AbstractMicrophones *m_microphones = nullptr;

    Preferences m_preferences;
    Task<> m_operation;
    quint64 m_operationCount = 0; // starts and finishes begun, so that an older one never replaces a newer handle
    QUuid m_sessionID = QUuid::createUuid();
    std::unique_ptr<RepeatingTimer> m_timer;
    std::optional<TimePoint> m_recordingStarted;
    QHash<QUuid, QString> m_correctionBaselines;
    bool m_fnOwnsRecording = false;
    RecordingPhase m_phase = RecordingPhase::idle;
    QString m_status;
    QString m_fnShortcutStatus;
    QString m_liveTranscript;
    double m_elapsed = 0;
    float m_audioLevel = 0;
    QList<TranscriptRecord> m_history;
    QList<DictionaryEntry> m_dictionary;
    std::optional<TranscriptRecord> m_lastResult;
    QString m_microphoneStatus;
    QString m_speechStatus;
    bool m_accessibilityEnabled = false;
    QString m_modelStatus;
    QString m_activeModelName;
    QString m_modelCheckResult;
    QString m_lastLearning;
    std::optional<QString> m_errorMessage;
    QString m_lastDelivery;
    std::optional<DeliveryResult> m_lastDeliveryResult;
    QStringList m_supportedLocales;
    ShortcutNames m_shortcutNames;
    std::optional<QString> m_shortcutRegistrationError;
    // While a quit waits for the dictation: what to run when it is done, and its deadline.
    std::function<void()> m_quitDone;
    std::optional<Scheduler::TimerId> m_quitTimer;
    QMetaObject::Connection m_quitWatch;
    QUuid m_quitSession;
    QUuid m_keptSession; // the last session whose record was kept
};

// The text shown for a permission's status.
QString authorizationText(AuthorizationStatus status);
// The supported identifier that best serves the preferred one (exact, then US English for English, then the
// same language, then the first supported); the preferred one when nothing is supported.
QString resolveLocaleIdentifier(const QString &preferred, const QStringList &supported);
// Length in user-perceived characters (grapheme clusters).
qsizetype graphemeCount(const QString &text);

} // namespace orv
