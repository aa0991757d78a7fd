#include "core/AppModel.h"

#include "base/CleanText.h"
#include "base/PlatformText.h"
#include "core/StatusTexts.h"
#include "refine/DictationText.h"

namespace orv {

namespace {

QString readyStatus()
{
    return QStringLiteral("Ready");
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

} // namespace

AppModel::AppModel(Services services, QObject *parent)
    : QObject(parent), m_scheduler(services.scheduler), m_loginItem(std::move(services.loginItem)),
      m_onboardingStore(std::move(services.onboardingStore)), m_onboarding(*m_onboardingStore),
      m_store(std::move(services.store)), m_speech(std::move(services.speech)),
      m_formatter(std::move(services.formatter)), m_delivery(std::move(services.delivery)),
      m_desktop(std::move(services.desktop)), m_preferences(m_store->snapshot().preferences), m_status(readyStatus()),
      m_fnShortcutStatus(statusText::initialFn(platform::defaultHoldKeyName())),
      m_history(m_store->snapshot().history.first(std::min(m_store->snapshot().history.size(), historyLimit))),
      m_dictionary(DictationText::dictionaryInUse(m_store->snapshot().dictionary)),
      m_microphoneStatus(authorizationText(AuthorizationStatus::notDetermined)),
      m_speechStatus(authorizationText(AuthorizationStatus::notDetermined)),
      m_modelStatus(statusText::checking(m_formatter->modelDisplayName())),
      m_activeModelName(m_formatter->modelDisplayName())
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
    m_speech->onNotice = nullptr;
    m_speech->onInputLost = nullptr;
    if (m_microphones)
        m_microphones->onChanged = nullptr;
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
    // The recognizer took another road (a speech server not answering): said, and the dictation goes on.
    m_speech->onNotice = [weak](const QString &text) {
        if (!weak)
            return;
        weak->m_errorMessage = text;
        Q_EMIT weak->changed();
    };
    m_speech->onInputLost = [weak](const SpeechEngineError &error) {
        if (weak)
            weak->microphoneLost(error);
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

void AppModel::setMicrophones(AbstractMicrophones *microphones)
{
    if (m_microphones)
        m_microphones->onChanged = nullptr;
    m_microphones = microphones;
    if (!m_microphones)
        return;
    QPointer<AppModel> weak(this);
    m_microphones->onChanged = [weak] {
        if (weak)
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
    // The dictation alone listens now.
    if (m_microphones)
        m_microphones->stopMeter();

    m_sessionID = QUuid::createUuid();
    const QUuid session = m_sessionID;
    // While the user speaks, the formatter finds out whether a local model server has come or gone.
    m_formatter->checkModel();

    const QStringList contextualStrings = DictationText::contextualStrings(m_dictionary);

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

void AppModel::microphoneLost(const SpeechEngineError &error)
{
    if (m_phase != RecordingPhase::recording) {
        speechFailed(error);
        return;
    }
    m_errorMessage = error.description();
    finishDictation();
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
    const DictationText::Substituted dictated = DictationText::substitute(finished.value(), model->m_dictionary);
    const QString &transcript = dictated.original;
    if (isStale(model, session, token))
        co_return;
    if (transcript.isEmpty()) {
        model->m_phase = RecordingPhase::idle;
        model->m_status = QStringLiteral("No speech detected");
        Q_EMIT model->changed();
        co_return;
    }

    model->m_liveTranscript = dictated.text;
    model->m_status = mode == DictationMode::verbatim ? QStringLiteral("Inserting…") : QStringLiteral("Formatting…");
    Q_EMIT model->changed();
    if (isStale(model, session, token)) // an observer may have cancelled
        co_return;

    const FormattingResult result = co_await model->m_formatter->format(dictated.text, mode, model->m_dictionary);
    if (isStale(model, session, token))
        co_return;

    model->keepResult(transcript, result.text, duration, result.formatter);
    if (result.notice)
        model->m_errorMessage = *result.notice;
    Q_EMIT model->changed();
    if (isStale(model, session, token))
        co_return;
    if (model->m_quitDone) {
        // Orvanta is quitting: no paste into a field the user may have left, the clipboard keeps it.
        (void)model->m_delivery->copyToClipboard(result.text);
        model->m_phase = RecordingPhase::idle;
        model->m_status = QStringLiteral("Saved to History and the clipboard");
        Q_EMIT model->changed();
        co_return;
    }

    const DeliveryResult delivered = co_await model->m_delivery->deliver(cleanText(result.text, true),
                                                                         model->m_preferences.autoLearn, dictated.text);
    if (isStale(model, session, token))
        co_return; // the record stays saved; the outcome is not shown

    model->m_lastDelivery = delivered.message;
    model->m_lastDeliveryResult = delivered;
    model->m_phase = RecordingPhase::idle;
    model->m_status = outcomeStatus(delivered.outcome);
    model->refreshStatus();
}

void AppModel::keepResult(const QString &transcript, const QString &text, double duration, const QString &formatter)
{
    const TranscriptRecord record{QUuid::createUuid(),
                                  m_scheduler.wallNow(),
                                  transcript,
                                  text,
                                  duration,
                                  m_delivery->targetApplicationName(),
                                  formatter};
    m_keptSession = m_sessionID;
    m_lastResult = record;
    m_correctionBaselines.insert(record.id, text);
    if (m_preferences.retainHistory) {
        m_history.prepend(record);
        if (m_history.size() > historyLimit)
            m_history.resize(historyLimit);
    }
    dropUneditableBaselines();
    m_liveTranscript = text;
    saveLibrary();
}

// ---- Quit ----

void AppModel::finishBeforeQuit(std::function<void()> done)
{
    if (m_phase == RecordingPhase::preparing)
        cancelDictation(); // nothing heard yet
    if (m_phase == RecordingPhase::idle) {
        if (done)
            done();
        return;
    }
    m_quitDone = done ? std::move(done) : [] {};
    m_quitSession = m_sessionID;
    const QPointer<AppModel> weak(this);
    // At the limit the dictation is stopped; quitSettled keeps what was heard.
    m_quitTimer = m_scheduler.schedule(quitLimit, [weak] {
        if (!weak)
            return;
        weak->m_quitTimer.reset();
        weak->cancelDictation();
    });
    m_quitWatch = connect(this, &AppModel::changed, this, &AppModel::quitSettled);
    finishDictation(); // while processing, the finish under way goes on
}

void AppModel::quitSettled()
{
    if (!m_quitDone || m_phase != RecordingPhase::idle)
        return;
    disconnect(m_quitWatch);
    if (m_quitTimer)
        m_scheduler.cancel(*std::exchange(m_quitTimer, std::nullopt));
    const QString heard = m_liveTranscript.trimmed();
    if (m_keptSession != m_quitSession && !heard.isEmpty()) {
        keepResult(heard, heard, m_elapsed, m_speech->displayName());
        (void)m_delivery->copyToClipboard(heard);
        m_status = QStringLiteral("Saved to History and the clipboard");
        Q_EMIT changed();
    }
    std::exchange(m_quitDone, nullptr)();
}

} // namespace orv
