#include "core/AppModel.h"

#include "core/PlatformText.h"
#include "refine/CorrectionLearner.h"

#include <QSet>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <limits>

namespace orv {

namespace {

QString readyStatus()
{
    return QStringLiteral("Ready");
}

// What the hold key's status says before the shortcut service has reported anything.
QString initialFnStatus(const QString &holdKey)
{
    return QStringLiteral("Enable Accessibility to use ") + holdKey + QStringLiteral(" in other apps.");
}

// The model status while the language model is being asked whether it is there.
QString checkingStatus(const QString &modelName)
{
    return QStringLiteral("Checking ") + modelName + QStringLiteral("…");
}

QString outcomeStatus(DeliveryResult::Outcome outcome)
{
    switch (outcome) {
    case DeliveryResult::Outcome::inserted:
        return QStringLiteral("Inserted");
    case DeliveryResult::Outcome::sent:
        return QStringLiteral("Sent");
    case DeliveryResult::Outcome::copied:
        return QStringLiteral("Copied · ") + platform::pasteKeys();
    case DeliveryResult::Outcome::failed:
        return QStringLiteral("Not inserted");
    }
    return {};
}

// "en_US" and "en-us" are the same identifier.
QString normalForm(const QString &identifier)
{
    QString normal = identifier;
    return normal.replace(QLatin1Char('_'), QLatin1Char('-')).toLower();
}

// The language part of a locale identifier ("de" of "de-AT"); none when it does not start with one.
std::optional<QString> languageCode(const QString &identifier)
{
    const QString first = normalForm(identifier).section(QLatin1Char('-'), 0, 0);
    if (first.size() < 2 || first.size() > 8)
        return std::nullopt;
    for (QChar c : first) {
        if (c < QLatin1Char('a') || c > QLatin1Char('z'))
            return std::nullopt;
    }
    return first;
}

// The stored dictionary as it is (the 500 bound applies only when something is learned), except that an
// id written twice keeps its first entry: every operation finds an entry by its id.
QList<DictionaryEntry> withoutRepeatedIds(const QList<DictionaryEntry> &stored)
{
    QList<DictionaryEntry> entries;
    entries.reserve(stored.size());
    QSet<QUuid> seen;
    for (const DictionaryEntry &entry : stored) {
        if (!seen.contains(entry.id)) {
            seen.insert(entry.id);
            entries.append(entry);
        }
    }
    return entries;
}

} // namespace

QString authorizationText(AuthorizationStatus status)
{
    switch (status) {
    case AuthorizationStatus::notDetermined:
        return QStringLiteral("Not requested");
    case AuthorizationStatus::restricted:
        return QStringLiteral("Restricted");
    case AuthorizationStatus::denied:
        return platform::permissionDeniedStatus();
    case AuthorizationStatus::authorized:
        return QStringLiteral("Allowed");
    case AuthorizationStatus::unknown:
        break;
    }
    return QStringLiteral("Unavailable");
}

QString resolveLocaleIdentifier(const QString &preferred, const QStringList &supported)
{
    const QString wanted = normalForm(preferred);
    for (const QString &identifier : supported) {
        if (normalForm(identifier) == wanted)
            return identifier;
    }
    const std::optional<QString> language = languageCode(preferred);
    if (language == QStringLiteral("en")) {
        for (const QString &identifier : supported) {
            if (normalForm(identifier) == QStringLiteral("en-us"))
                return identifier;
        }
    }
    for (const QString &identifier : supported) {
        if (languageCode(identifier) == language)
            return identifier;
    }
    return supported.isEmpty() ? preferred : supported.first();
}

qsizetype graphemeCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

AppModel::AppModel(Services services, QObject *parent)
    : QObject(parent), m_scheduler(services.scheduler), m_loginItem(std::move(services.loginItem)),
      m_onboardingStore(std::move(services.onboardingStore)), m_onboarding(*m_onboardingStore),
      m_store(std::move(services.store)), m_speech(std::move(services.speech)),
      m_permissions(std::move(services.permissions)), m_formatter(std::move(services.formatter)),
      m_delivery(std::move(services.delivery)), m_desktop(std::move(services.desktop)),
      m_preferences(m_store->snapshot().preferences), m_status(readyStatus()),
      m_fnShortcutStatus(initialFnStatus(platform::defaultHoldKeyName())),
      m_history(m_store->snapshot().history.first(std::min(m_store->snapshot().history.size(), historyLimit))),
      m_dictionary(withoutRepeatedIds(m_store->snapshot().dictionary)),
      m_microphoneStatus(authorizationText(AuthorizationStatus::notDetermined)),
      m_speechStatus(authorizationText(AuthorizationStatus::notDetermined)),
      m_modelStatus(checkingStatus(m_formatter->modelDisplayName())), m_activeModelName(m_formatter->modelDisplayName())
{
    m_errorMessage = m_store->loadError();
    installCallbacks();
    refreshStatus();
    prepareActivatedApplication();
    (void)localeTask(this);
}

AppModel::~AppModel()
{
    // Services die after this body, and a task they resume as they go must find its session over.
    m_sessionID = QUuid::createUuid();
    // None may call back into a half-destroyed model.
    m_speech->onPartial = nullptr;
    m_speech->onLevel = nullptr;
    m_speech->onStatus = nullptr;
    m_speech->onFailure = nullptr;
    m_delivery->onCorrection = nullptr;
    m_delivery->onNotice = nullptr;
    m_timer.reset();
    m_operation.cancel();
}

void AppModel::installCallbacks()
{
    QPointer<AppModel> weak(this);
    m_speech->onPartial = [weak](const QString &text) {
        if (!weak)
            return;
        weak->m_liveTranscript = text;
        Q_EMIT weak->changed();
    };
    m_speech->onLevel = [weak](float level) {
        if (!weak)
            return;
        weak->m_audioLevel = level;
        Q_EMIT weak->changed();
    };
    m_speech->onStatus = [weak](const QString &text) {
        // From "Finishing…" on, the model's own texts say where the dictation is; the engine's (its
        // "Ready" at the end of its finish) would show in the middle of it.
        if (!weak || weak->m_phase == RecordingPhase::processing)
            return;
        weak->m_status = text;
        Q_EMIT weak->changed();
    };
    m_speech->onFailure = [weak](const SpeechEngineError &error) {
        if (weak)
            weak->speechFailed(error);
    };
    m_delivery->onCorrection = [weak](const QString &previous, const QString &edited) {
        if (weak)
            weak->applyCorrection(previous, edited);
    };
    m_delivery->onNotice = [weak](const QString &text) {
        if (!weak)
            return;
        weak->m_lastDelivery = text;
        Q_EMIT weak->changed();
    };
}

bool AppModel::isStale(const QPointer<AppModel> &model, const QUuid &session, const CancelToken &token)
{
    return !model || model->m_sessionID != session || token->isCancelled();
}

// ---- Session ----

void AppModel::startDictation()
{
    m_delivery->stopObservation();
    (void)m_delivery->prepare();

    m_sessionID = QUuid::createUuid();
    const QUuid session = m_sessionID;
    // While the user speaks, the formatter finds out whether a local model server has come or gone.
    m_formatter->checkModel();

    // The dictionary's spellings, most recently changed first, help the recognizer.
    QList<DictionaryEntry> byRecency = m_dictionary;
    std::stable_sort(byRecency.begin(), byRecency.end(),
                     [](const DictionaryEntry &a, const DictionaryEntry &b) { return a.modifiedAt > b.modifiedAt; });
    QStringList contextualStrings;
    contextualStrings.reserve(byRecency.size());
    for (const DictionaryEntry &entry : byRecency)
        contextualStrings.append(entry.replacement);

    m_errorMessage.reset();
    m_lastDelivery.clear();
    m_liveTranscript.clear();
    m_elapsed = 0;
    m_audioLevel = 0;
    m_lastDeliveryResult.reset();
    m_phase = RecordingPhase::preparing;
    m_status = QStringLiteral("Preparing…");
    Q_EMIT changed();

    // The start may run straight into recording, and an observer may finish the dictation right there:
    // then the finish's handle is the one to keep.
    const quint64 operation = ++m_operationCount;
    Task<> task = startTask(this, session, m_preferences.localeIdentifier, contextualStrings);
    if (m_sessionID == session && m_operationCount == operation)
        m_operation = std::move(task);
}

Task<> AppModel::startTask(QPointer<AppModel> model, QUuid session, QString locale, QStringList contextualStrings)
{
    const CancelToken token = co_await currentCancellation();
    if (isStale(model, session, token))
        co_return;

    const bool authorized = co_await model->authorizeRecording();
    if (!authorized || isStale(model, session, token)) {
        if (!isStale(model, session, token)) {
            // authorizeRecording has put the reason in errorMessage.
            model->m_fnOwnsRecording = false;
            model->m_phase = RecordingPhase::idle;
            model->m_status = QStringLiteral("Microphone access needed");
            Q_EMIT model->changed();
        }
        co_return;
    }

    const Expected<void, SpeechEngineError> started = co_await model->m_speech->start(locale, contextualStrings);
    if (!started) {
        if (!isStale(model, session, token)) {
            model->m_fnOwnsRecording = false;
            model->m_speech->cancel();
            model->m_phase = RecordingPhase::idle;
            model->m_status = QStringLiteral("Could not start dictation");
            if (!started.error().isCancellation())
                model->m_errorMessage = started.error().description();
            Q_EMIT model->changed();
        }
        co_return;
    }
    if (isStale(model, session, token)) {
        // The engine just started belongs to an abandoned session.
        if (model)
            model->m_speech->cancel();
        co_return;
    }

    model->m_recordingStarted = model->m_scheduler.now();
    model->m_phase = RecordingPhase::recording;
    model->m_status = QStringLiteral("Listening…");
    model->m_timer.reset();
    QPointer<AppModel> weak = model;
    model->m_timer = std::make_unique<RepeatingTimer>(model->m_scheduler, tickPeriod, [weak] {
        // Each firing runs the tick as its own step, never inside the timer's own call.
        if (weak)
            weak->m_scheduler.post([weak] {
                if (weak)
                    weak->tick();
            });
    });
    Q_EMIT model->changed();
}

void AppModel::tick()
{
    if (m_phase != RecordingPhase::recording || !m_recordingStarted)
        return;
    m_elapsed = secondsBetween(*m_recordingStarted, m_scheduler.now());
    if (m_elapsed >= recordingLimitSeconds)
        finishDictation();
    Q_EMIT changed();
}

void AppModel::finishDictation()
{
    if (m_phase == RecordingPhase::preparing) {
        cancelDictation();
        return;
    }
    if (m_phase != RecordingPhase::recording)
        return;

    m_fnOwnsRecording = false;
    m_speech->stopAudio();
    const QUuid session = m_sessionID;
    const double duration = m_recordingStarted ? secondsBetween(*m_recordingStarted, m_scheduler.now()) : m_elapsed;
    const DictationMode mode = m_preferences.mode;
    m_timer.reset();
    m_phase = RecordingPhase::processing;
    m_status = QStringLiteral("Finishing…");
    m_audioLevel = 0;
    Q_EMIT changed();

    const quint64 operation = ++m_operationCount;
    Task<> task = finishTask(this, session, mode, duration);
    if (m_sessionID == session && m_operationCount == operation)
        m_operation = std::move(task);
}

void AppModel::cancelDictation()
{
    m_fnOwnsRecording = false;
    m_sessionID = QUuid::createUuid();
    Task<> running = std::move(m_operation);
    m_operation = Task<>();
    running.cancel();
    m_timer.reset();
    m_recordingStarted.reset();
    m_speech->cancel();
    m_delivery->stopObservation();
    m_delivery->cancelCapture();
    m_phase = RecordingPhase::idle;
    m_audioLevel = 0;
    m_status = QStringLiteral("Cancelled");
    Q_EMIT changed();
}

void AppModel::speechFailed(const SpeechEngineError &error)
{
    if (error.isCancellation())
        return;
    if (m_phase != RecordingPhase::preparing && m_phase != RecordingPhase::recording)
        return;
    cancelDictation();
    m_errorMessage = error.description();
    m_status = QStringLiteral("Recording stopped");
    Q_EMIT changed();
}

void AppModel::toggle()
{
    switch (m_phase) {
    case RecordingPhase::idle:
        startDictation();
        break;
    case RecordingPhase::preparing:
    case RecordingPhase::recording:
        finishDictation();
        break;
    case RecordingPhase::processing:
        break;
    }
}

void AppModel::fnBegin()
{
    if (m_phase != RecordingPhase::idle)
        return;
    m_fnOwnsRecording = true;
    startDictation();
}

void AppModel::fnFinish()
{
    if (!m_fnOwnsRecording)
        return;
    m_fnOwnsRecording = false;
    finishDictation();
}

void AppModel::fnCancel()
{
    if (!m_fnOwnsRecording)
        return;
    m_fnOwnsRecording = false;
    cancelDictation();
}

// ---- Result pipeline ----

Task<> AppModel::finishTask(QPointer<AppModel> model, QUuid session, DictationMode mode, double duration)
{
    const CancelToken token = co_await currentCancellation();
    if (!model)
        co_return;

    const Expected<QString, SpeechEngineError> finished = co_await model->m_speech->finish();
    if (!finished) {
        if (!isStale(model, session, token)) {
            model->m_speech->cancel();
            model->m_phase = RecordingPhase::idle;
            model->m_status = QStringLiteral("Dictation interrupted");
            if (!finished.error().isCancellation())
                model->m_errorMessage = finished.error().description();
            Q_EMIT model->changed();
        }
        co_return;
    }
    const QString transcript = finished.value().trimmed();
    if (isStale(model, session, token))
        co_return;
    if (transcript.isEmpty()) {
        model->m_phase = RecordingPhase::idle;
        model->m_status = QStringLiteral("No speech detected");
        Q_EMIT model->changed();
        co_return;
    }

    const QString dictated = CorrectionLearner::apply(model->m_dictionary, transcript);
    model->m_liveTranscript = dictated;
    model->m_status = mode == DictationMode::verbatim ? QStringLiteral("Inserting…") : QStringLiteral("Formatting…");
    Q_EMIT model->changed();
    if (isStale(model, session, token)) // an observer may have cancelled
        co_return;

    const FormattingResult result = co_await model->m_formatter->format(dictated, mode, model->m_dictionary);
    if (isStale(model, session, token))
        co_return;

    const TranscriptRecord record{QUuid::createUuid(),
                                  model->m_scheduler.wallNow(),
                                  transcript,
                                  result.text,
                                  duration,
                                  model->m_delivery->targetApplicationName(),
                                  result.formatter};
    model->m_lastResult = record;
    model->m_correctionBaselines.insert(record.id, result.text);
    if (model->m_preferences.retainHistory) {
        model->m_history.prepend(record);
        if (model->m_history.size() > historyLimit)
            model->m_history.resize(historyLimit);
    }
    model->dropUneditableBaselines();
    model->m_liveTranscript = result.text;
    if (result.notice)
        model->m_errorMessage = *result.notice;
    model->saveLibrary();
    Q_EMIT model->changed();
    if (isStale(model, session, token))
        co_return;

    const DeliveryResult delivered = co_await model->m_delivery->deliver(result.text, model->m_preferences.autoLearn);
    if (isStale(model, session, token))
        co_return; // the record stays saved; the outcome is not shown

    model->m_lastDelivery = delivered.message;
    model->m_lastDeliveryResult = delivered;
    model->m_phase = RecordingPhase::idle;
    model->m_status = outcomeStatus(delivered.outcome);
    model->refreshStatus();
}

void AppModel::dropUneditableBaselines()
{
    QSet<QUuid> editable;
    for (const TranscriptRecord &record : std::as_const(m_history))
        editable.insert(record.id);
    if (m_lastResult)
        editable.insert(m_lastResult->id);
    m_correctionBaselines.removeIf([&](const auto &baseline) { return !editable.contains(baseline.key()); });
}

void AppModel::saveLibrary()
{
    const auto saved = m_store->save(AppStore::Snapshot{m_preferences, m_history, m_dictionary});
    if (!saved)
        m_errorMessage = QStringLiteral("Could not save your local library: ") + saved.error().description();
}

void AppModel::applyCorrection(const QString &original, const QString &edited)
{
    if (!m_preferences.autoLearn)
        return;
    const QList<CorrectionLearner::Correction> corrections = CorrectionLearner::corrections(original, edited);
    if (corrections.isEmpty())
        return;
    QStringList replacements;
    for (const CorrectionLearner::Correction &correction : corrections) {
        learn(correction.heard, correction.replacement, true);
        replacements.append(correction.replacement);
    }
    m_status = QStringLiteral("Learned ") + replacements.join(QStringLiteral(", "));
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::editTranscript(QUuid recordID, QString text)
{
    if (text.trimmed().isEmpty())
        return;
    std::optional<QString> baseline;
    if (const auto it = m_correctionBaselines.constFind(recordID); it != m_correctionBaselines.constEnd()) {
        baseline = *it;
    } else if (const auto record = std::find_if(m_history.cbegin(), m_history.cend(),
                                                [&](const TranscriptRecord &r) { return r.id == recordID; });
               record != m_history.cend()) {
        baseline = record->output;
    } else if (m_lastResult && m_lastResult->id == recordID) {
        baseline = m_lastResult->output;
    }
    if (baseline && m_preferences.autoLearn)
        applyCorrection(*baseline, text);

    m_correctionBaselines.insert(recordID, text);
    for (TranscriptRecord &record : m_history) {
        if (record.id == recordID) {
            record.output = text;
            break;
        }
    }
    if (m_lastResult && m_lastResult->id == recordID)
        m_lastResult->output = text;
    saveLibrary();
    Q_EMIT changed();
}

// ---- Permissions and status ----

void AppModel::refreshStatus()
{
    m_loginItem->refresh();
    m_microphoneStatus = authorizationText(m_permissions->microphoneStatus());
    m_speechStatus = authorizationText(m_permissions->speechStatus());
    m_accessibilityEnabled = m_delivery->isTrusted();
    m_activeModelName = m_formatter->modelDisplayName();
    m_modelStatus = m_formatter->statusText();
    Q_EMIT changed();
}

void AppModel::prepareActivatedApplication()
{
    if (!m_delivery->isTrusted())
        return;
    const std::optional<ApplicationInfo> application = m_delivery->frontmostApplication();
    if (!application || application->processID == m_delivery->ownProcessID())
        return;
    (void)m_delivery->prepareProcess(application->processID);
}

void AppModel::requestPermissions()
{
    const auto refused = [](AuthorizationStatus status) {
        return status == AuthorizationStatus::restricted || status == AuthorizationStatus::denied;
    };
    if (refused(m_permissions->microphoneStatus())) {
        openPrivacySettings(privacyAnchor::microphone());
        refreshStatus();
        return;
    }
    if (refused(m_permissions->speechStatus())) {
        openPrivacySettings(privacyAnchor::speechRecognition());
        refreshStatus();
        return;
    }
    (void)permissionTask(this);
}

Task<> AppModel::permissionTask(QPointer<AppModel> model)
{
    (void)co_await model->authorizeRecording();
    if (model)
        model->refreshStatus();
}

Task<bool> AppModel::authorizeRecording()
{
    return authorizeTask(this);
}

Task<bool> AppModel::authorizeTask(QPointer<AppModel> model)
{
    const CancelToken token = co_await currentCancellation();
    if (!model || token->isCancelled())
        co_return false;

    if (model->m_permissions->microphoneStatus() == AuthorizationStatus::notDetermined)
        (void)co_await model->m_permissions->requestMicrophoneAccess(); // the status is read again below
    if (!model || token->isCancelled())
        co_return false;
    if (model->m_permissions->microphoneStatus() != AuthorizationStatus::authorized) {
        model->m_errorMessage = platform::allowMicrophoneSentence();
        model->refreshStatus();
        co_return false;
    }

    if (model->m_permissions->speechStatus() == AuthorizationStatus::notDetermined)
        (void)co_await model->m_permissions->requestSpeechAuthorization();
    if (!model || token->isCancelled())
        co_return false;
    if (model->m_permissions->speechStatus() == AuthorizationStatus::authorized) {
        model->refreshStatus();
        co_return true;
    }
    model->m_errorMessage = platform::speechRefusedSentence();
    model->refreshStatus();
    co_return false;
}

void AppModel::openPrivacySettings(const QString &anchor)
{
    const std::optional<QUrl> url = privacySettingsUrl(anchor);
    if (url && url->isValid())
        m_desktop->openUrl(*url);
}

void AppModel::enableAccessibility()
{
    if (m_desktop->sessionAccessibility().value_or(false)) {
        openPrivacySettings(privacyAnchor::accessibility());
        return;
    }
    if (!m_desktop->enableSessionAccessibility())
        m_errorMessage = QStringLiteral("Accessibility could not be switched on: this desktop session has no "
                                        "accessibility bus.");
    refreshStatus();
    (void)accessibilityRecheckTask(this);
}

Task<> AppModel::accessibilityRecheckTask(QPointer<AppModel> model)
{
    // Text delivery reads the switch at most once a second: its first answer after the change may be stale.
    if (!model)
        co_return;
    const bool slept = co_await sleepFor(model->m_scheduler, std::chrono::milliseconds(1100));
    if (slept && model)
        model->refreshStatus();
}

void AppModel::checkLanguageModel()
{
    m_modelStatus = checkingStatus(m_formatter->modelDisplayName());
    Q_EMIT changed();
    (void)languageModelTask(this);
}

Task<> AppModel::languageModelTask(QPointer<AppModel> model)
{
    co_await model->m_formatter->refreshModel();
    if (model)
        model->refreshStatus();
}

Task<> AppModel::localeTask(QPointer<AppModel> model)
{
    if (!model)
        co_return;
    QStringList locales = co_await model->m_speech->supportedLocaleIdentifiers();
    if (!model)
        co_return;
    if (!locales.isEmpty()) {
        locales.sort();
        model->m_supportedLocales = locales;
    }
    const QString resolved = resolveLocaleIdentifier(model->m_preferences.localeIdentifier, model->m_supportedLocales);
    if (resolved != model->m_preferences.localeIdentifier) {
        model->m_preferences.localeIdentifier = resolved;
        model->saveLibrary();
        Q_EMIT model->changed();
    }
    Q_EMIT model->changed();
}

// ---- Library and onboarding editing ----

void AppModel::learn(const QString &heard, const QString &replacement, bool automatic)
{
    const auto existing = std::find_if(m_dictionary.begin(), m_dictionary.end(), [&](const DictionaryEntry &entry) {
        return entry.heard.compare(heard, Qt::CaseInsensitive) == 0;
    });
    if (existing != m_dictionary.end()) {
        existing->replacement = replacement;
        if (existing->occurrenceCount < std::numeric_limits<qint64>::max())
            ++existing->occurrenceCount;
        existing->modifiedAt = m_scheduler.wallNow();
        existing->automatic = existing->automatic && automatic;
    } else {
        m_dictionary.prepend(
            DictionaryEntry{QUuid::createUuid(), heard, replacement, 1, m_scheduler.wallNow(), automatic});
    }
    if (m_dictionary.size() > dictionaryLimit)
        m_dictionary.resize(dictionaryLimit);
}

void AppModel::addDictionaryEntry(const QString &heard, const QString &replacement)
{
    QString trimmedHeard = heard.trimmed();
    const QString trimmedReplacement = replacement.trimmed();
    if (trimmedReplacement.isEmpty() || graphemeCount(trimmedHeard) > dictionaryFieldLimit ||
        graphemeCount(trimmedReplacement) > dictionaryFieldLimit)
        return;
    if (trimmedHeard.isEmpty())
        trimmedHeard = trimmedReplacement;
    learn(trimmedHeard, trimmedReplacement, false);
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::deleteDictionaryEntry(QUuid id)
{
    m_dictionary.removeIf([&](const DictionaryEntry &entry) { return entry.id == id; });
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::deleteRecord(QUuid id)
{
    m_history.removeIf([&](const TranscriptRecord &record) { return record.id == id; });
    m_correctionBaselines.remove(id);
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::clearHistory()
{
    m_history.clear();
    m_correctionBaselines.clear();
    m_lastResult.reset();
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::setRetainHistory(bool retain)
{
    m_preferences.retainHistory = retain;
    if (!retain) {
        m_history.clear();
        m_correctionBaselines.clear();
    }
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::resetOnboarding()
{
    cancelDictation();
    m_onboarding.reset();
    Q_EMIT changed();
}

void AppModel::completeOnboarding()
{
    m_onboarding.complete();
    Q_EMIT changed();
}

void AppModel::advanceOnboarding()
{
    const bool ready = m_permissions->microphoneStatus() == AuthorizationStatus::authorized &&
                       m_permissions->speechStatus() == AuthorizationStatus::authorized;
    m_onboarding.advance(ready);
    Q_EMIT changed();
}

void AppModel::setFnShortcutStatus(const QString &text)
{
    if (text == m_fnShortcutStatus)
        return;
    m_fnShortcutStatus = text;
    Q_EMIT changed();
}

void AppModel::setShortcutNames(const ShortcutNames &names)
{
    if (names == m_shortcutNames)
        return;
    // Until the shortcut service reports, the hold key's status names the key it will use.
    if (m_fnShortcutStatus == initialFnStatus(m_shortcutNames.holdKey))
        m_fnShortcutStatus = initialFnStatus(names.holdKey);
    m_shortcutNames = names;
    Q_EMIT changed();
}

void AppModel::setShortcutRegistrationError(const std::optional<QString> &error)
{
    if (error == m_shortcutRegistrationError)
        return;
    m_shortcutRegistrationError = error;
    Q_EMIT changed();
}

} // namespace orv
