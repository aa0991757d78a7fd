#include "delivery/TextDelivery.h"

#include "base/CleanText.h"
#include "base/PlatformText.h"
#include "delivery/CaretText.h"
#include "delivery/TargetReader.h"

#include <QRegularExpression>

#include <cstdlib>

namespace orv {

namespace {

using Env = reads::Env;
using reads::sameText;

const QString axFocusedWindow = QStringLiteral("AXFocusedWindow");
const QString axWindow = QStringLiteral("AXWindow");
const QString axValueChanged = QStringLiteral("AXValueChanged");
const QString axDestroyed = QStringLiteral("AXUIElementDestroyed");

bool isStale(const std::weak_ptr<int> &alive)
{
    return alive.expired();
}

DeliveryResult result(DeliveryResult::Outcome outcome, QString message)
{
    return DeliveryResult{outcome, std::move(message)};
}

} // namespace

TextDelivery::TextDelivery(Scheduler &scheduler, Environment environment, qint64 ownProcessID)
    : m_scheduler(scheduler), m_environment(std::make_shared<const Environment>(std::move(environment))),
      m_ownProcessID(ownProcessID)
{}

TextDelivery::~TextDelivery()
{
    m_captureTask.cancel();
    m_debounceTask.cancel();
    m_expiryTask.cancel();
    m_observer.reset();
    m_life.reset();
}

// Messages ---------------------------------------------------------------------------------------

QString TextDelivery::cancelledMessage()
{
    return QStringLiteral("Dictation cancelled.");
}

QString TextDelivery::nothingToInsertMessage()
{
    return QStringLiteral("Nothing to insert.");
}

QString TextDelivery::asOneLine(const QString &text)
{
    static const QRegularExpression lineBreaks(
        QStringLiteral("[^\\S\\n\\r\\x{2028}\\x{2029}]*[\\n\\r\\x{2028}\\x{2029}]\\s*"));
    return QString(text).replace(lineBreaks, QStringLiteral(" "));
}

QString TextDelivery::copiedMessage(bool terminal)
{
    return QStringLiteral("Copied. Click a text field and paste with %1.")
        .arg(terminal ? platform::terminalPasteKeys() : platform::pasteKeys());
}

QString TextDelivery::insertionPointChangedMessage()
{
    return QStringLiteral("Your insertion point changed. The result was copied for you to paste.");
}

QString TextDelivery::clipboardUnavailableMessage()
{
    return QStringLiteral("The clipboard is unavailable. Your result remains in History.");
}

QString TextDelivery::pasteNotPostedMessage()
{
    return QStringLiteral("Copied. Enable Accessibility to insert into other apps.");
}

QString TextDelivery::sentUnverifiableMessage(const QString &application)
{
    return QStringLiteral("Sent to %1. This editor cannot confirm insertion; the text remains copied. Learning is "
                          "available in History.")
        .arg(application);
}

QString TextDelivery::sentUnconfirmedMessage(const QString &application)
{
    return QStringLiteral("Sent to %1, but insertion could not be confirmed. The text remains available to paste.")
        .arg(application);
}

QString TextDelivery::insertedMessage(const QString &application)
{
    return QStringLiteral("Inserted into %1.").arg(application);
}

QString TextDelivery::correctionsUnavailableMessage()
{
    return QStringLiteral("This app does not expose corrections. Your dictionary still learns from edits in History.");
}

// Environment pass-throughs ------------------------------------------------------------------------

bool TextDelivery::copyToClipboard(const QString &text)
{
    return m_environment->pasteboard && m_environment->pasteboard->setString(text);
}

bool TextDelivery::isTrusted() const
{
    return m_environment->trusted();
}

std::optional<ApplicationInfo> TextDelivery::frontmostApplication() const
{
    return m_environment->application();
}

bool TextDelivery::prepareProcess(qint64 processID)
{
    if (m_preparedProcesses.contains(processID))
        return true;
    (void)enableProcess(processID);
    return false;
}

Task<bool> TextDelivery::enableProcess(qint64 processID)
{
    const std::weak_ptr<int> alive = m_life;
    if (m_preparedProcesses.contains(processID))
        co_return true;
    auto enabling = m_environment->enableAccessibility(processID);
    const bool enabled = co_await enabling;
    if (isStale(alive))
        co_return false;
    if (enabled)
        m_preparedProcesses.insert(processID);
    co_return enabled;
}

Task<bool> TextDelivery::targetIsCurrent(Target target)
{
    return reads::targetIsCurrent(m_environment, std::move(target));
}

// Capture ----------------------------------------------------------------------------------------

namespace {

// The name is the application's own (window class, program, accessible name): it goes into sentences
// shown and printed, so it loses control characters and escape sequences and stays short.
QString shownName(const QString &name)
{
    constexpr qsizetype longest = 60;
    QString shown = cleanText(name, false).simplified();
    if (shown.size() > longest)
        shown = shown.left(longest - 1).trimmed() + QChar(0x2026);
    return shown.isEmpty() ? QStringLiteral("your app") : shown;
}

} // namespace

bool TextDelivery::prepare()
{
    stopObservation();
    cancelCapture();
    m_targetApplicationName.clear();
    if (!m_environment->trusted())
        return false;
    auto application = m_environment->application();
    if (!application || application->processID == m_ownProcessID)
        return false;
    application->name = shownName(application->name);
    m_captureTask = capture(m_captureRevision, *application);
    if (m_captureTask.isDone()) {
        const bool captured = m_captureTask.result();
        m_captureTask = {};
        return captured;
    }
    return true;
}

void TextDelivery::cancelCapture()
{
    ++m_captureRevision;
    m_captureTask.cancel();
    m_captureTask = {};
    m_target.reset();
}

// Captures the target at once when the application exposes it. Otherwise switches its accessibility
// on and tries again, up to 27 times 100 ms apart, while focus and window stay where they were; focus
// may be missing meanwhile (a toolkit that is still publishing its widgets, a window that our toggle's
// key grab has deactivated). An application that exposes no accessibility at all gets a target without
// an element. Returns true when a target was stored or the deferred attempts began.
Task<bool> TextDelivery::capture(quint64 revision, Application application)
{
    const std::weak_ptr<int> alive = m_life;
    const Env env = m_environment;
    const CancelToken token = co_await currentCancellation();
    const qint64 process = application.processID;
    auto superseded = [&] { return isStale(alive) || token->isCancelled() || revision != m_captureRevision; };
    auto storeBlind = [&] {
        m_target =
            Target{nullptr, process, application.name, nullptr, std::nullopt, std::nullopt, application.terminal};
        m_targetApplicationName = application.name;
    };

    std::optional<Target> target = co_await reads::makeTarget(env, application);
    if (superseded())
        co_return false;
    if (target) {
        m_target = std::move(target);
        m_targetApplicationName = application.name;
        co_return true;
    }
    const bool preparedBefore = m_preparedProcesses.contains(process);
    const bool prepared = co_await enableProcess(process);
    if (superseded())
        co_return false;
    if (!prepared || preparedBefore) {
        // Nothing new was switched on: an application without any accessible object will not get one.
        const bool exposes = co_await reads::exposesAccessibility(env, process);
        if (superseded())
            co_return false;
        if (!exposes) {
            storeBlind();
            co_return true;
        }
        if (!prepared)
            co_return false;
    }
    const Element startFocus = co_await reads::focusedIn(env, process);
    if (superseded())
        co_return false;
    bool focusSeen = startFocus != nullptr;
    // Only a move away from a place that may take text is the user moving on: while our toggle's key
    // grab deactivates its window, Firefox names a bare container of its own as focused and gives the
    // focus back to the field a moment later.
    const bool startIsContainer = startFocus && co_await reads::isBareContainer(env, startFocus);
    if (superseded())
        co_return false;
    const Element applicationElement = env->applicationElement(process);
    const Element startWindow = elementOf(co_await reads::attribute(env, applicationElement, axFocusedWindow));
    if (superseded())
        co_return false;
    m_targetApplicationName = application.name;

    for (int failed = 0; failed < captureAttempts;) {
        if (!co_await sleepFor(m_scheduler, pauseInterval) || superseded())
            co_return true;
        if (!env->trusted())
            co_return true;
        const auto current = env->application();
        if (!current || current->processID != process)
            co_return true;
        const Element focus = co_await reads::focusedIn(env, process);
        if (superseded())
            co_return true;
        if (startFocus && !startIsContainer && focus && !sameElement(focus, startFocus))
            co_return true; // the user moved on
        focusSeen = focusSeen || focus;
        const Element window = elementOf(co_await reads::attribute(env, applicationElement, axFocusedWindow));
        if (superseded())
            co_return true;
        if (startWindow && window && !sameElement(window, startWindow))
            co_return true;
        if (focus && window) {
            target = co_await reads::makeTarget(env, application);
            if (superseded())
                co_return true;
            if (target && (!startWindow || sameElement(target->window, startWindow))) {
                m_target = std::move(target);
                co_return true;
            }
        }
        ++failed;
    }
    // An application whose accessibility came up too late or too little to show any focus still gets
    // the paste, unconfirmed; one that showed focus somewhere other than a text field does not.
    const bool exposes = co_await reads::exposesAccessibility(env, process);
    if (!superseded() && (!exposes || !focusSeen))
        storeBlind();
    co_return true;
}

// Insertion --------------------------------------------------------------------------------------

// `heldBefore`: the full check passed moments ago, so the focus on the target (or inside it) in the
// same window suffices; a field keeps its kind, and the ancestors' walk costs a round trip each.
Task<bool> TextDelivery::insertionPointChanged(Target target, bool heldBefore)
{
    const Env env = m_environment;
    if (heldBefore) {
        if (co_await reads::focusPresence(env, target) != reads::Presence::current)
            co_return true;
        if (target.window && target.element) {
            const Element window = elementOf(co_await reads::attribute(env, target.element, axWindow));
            if (!sameElement(window, target.window))
                co_return true;
        }
    } else if (!co_await reads::targetIsCurrent(env, target)) {
        co_return true;
    }
    if (!target.element || !target.selection)
        co_return false;
    co_return co_await reads::selectedRange(env, target.element) != target.selection;
}

// Waits, within a bound, until no key is down: a paste posted while the dictation keys are still held
// reaches the target as e.g. Ctrl+Alt+V and pastes nothing. False when the wait was cancelled.
Task<bool> TextDelivery::keyboardReleased()
{
    const std::weak_ptr<int> alive = m_life;
    const Env env = m_environment;
    Scheduler &scheduler = m_scheduler;
    const TimePoint deadline = scheduler.now() + keyWait;
    while (env->keysHeld && env->keysHeld() && scheduler.now() < deadline) {
        if (!co_await sleepFor(scheduler, keyPoll) || isStale(alive))
            co_return false;
    }
    co_return true;
}

DeliveryResult TextDelivery::copyResult(const QString &text, const QString &message)
{
    Pasteboard &pasteboard = *m_environment->pasteboard;
    // Kept only for a refused write: the user's clipboard is not thrown away when ours cannot go there.
    const QList<Pasteboard::Item> previous = pasteboard.items();
    pasteboard.clearContents();
    if (!pasteboard.setString(text)) {
        restoreSnapshot(previous, pasteboard.changeCount());
        return result(DeliveryResult::Outcome::failed, clipboardUnavailableMessage());
    }
    m_target.reset();
    return result(DeliveryResult::Outcome::copied, message);
}

void TextDelivery::restoreSnapshot(const QList<Pasteboard::Item> &snapshot, qint64 expectedChangeCount)
{
    Pasteboard &pasteboard = *m_environment->pasteboard;
    if (pasteboard.changeCount() != expectedChangeCount)
        return; // someone else wrote to the clipboard since; theirs stays
    pasteboard.clearContents();
    if (!snapshot.isEmpty())
        pasteboard.writeItems(snapshot);
}

Task<DeliveryResult> TextDelivery::deliver(QString text, bool observe, QString dictated)
{
    const std::weak_ptr<int> alive = m_life;
    const Env env = m_environment;
    const CancelToken token = co_await currentCancellation();
    const DeliveryResult cancelled = result(DeliveryResult::Outcome::failed, cancelledMessage());

    stopObservation();
    const quint64 observationRevision = m_observationRevision;
    const quint64 captureRevision = m_captureRevision;
    auto superseded = [&] { return isStale(alive) || token->isCancelled() || captureRevision != m_captureRevision; };
    if (isCapturing()) {
        const Task<bool> running = m_captureTask;
        co_await running.waitUnlinked();
        if (isStale(alive))
            co_return cancelled;
    }
    if (superseded())
        co_return cancelled;
    m_captureTask = {};
    if (text.isEmpty())
        co_return result(DeliveryResult::Outcome::failed, nothingToInsertMessage());
    if (!env->trusted() || !m_target) {
        const auto front = env->application();
        co_return copyResult(text, copiedMessage(front && front->terminal));
    }

    const Target target = *m_target;
    if (target.singleLine)
        text = asOneLine(text);
    // While our toggle's key grab holds the keyboard the target's window has no focus; it gets it back
    // once the keys are let go. Focus that is missing for a moment is not focus that moved.
    if (!co_await keyboardReleased() || superseded())
        co_return cancelled;
    bool moved = co_await insertionPointChanged(target);
    // Meanwhile the application shows no focus, or shows it on its document or window (Firefox), and
    // gives it back to the field once the window is active again: while the target's application stays
    // in front and no field has the focus, it is looked at again, often, so a toggle's finishing press
    // costs no whole pause once its keys are up.
    const TimePoint focusDeadline = m_scheduler.now() + focusReturnWait;
    while (moved && target.element && m_scheduler.now() < focusDeadline) {
        const auto front = env->application();
        if (!front || front->processID != target.processID)
            break; // another application is in front
        const Element field = co_await reads::editableElement(env, target.processID);
        if (superseded())
            co_return cancelled;
        if (field) {
            // The focus may have come back between the two looks: the target is checked again.
            if (sameElement(field, target.element))
                moved = co_await insertionPointChanged(target);
            break;
        }
        // (No co_await inside || or &&: g++ 12 evaluates it even when the left side decides.)
        const bool slept = co_await sleepFor(m_scheduler, focusPoll);
        if (!slept || superseded())
            break;
        moved = co_await insertionPointChanged(target);
    }
    if (superseded())
        co_return cancelled;
    if (moved)
        co_return copyResult(text, insertionPointChangedMessage());
    m_target.reset();
    // Where the text before the caret could not be read it goes in as it is.
    const QString inserted =
        target.anchor
            ? caretText::fitted(target.anchor->prefix,
                                target.anchor->selection.location == target.anchor->prefix.size(), text, dictated)
            : text;
    if (env->typeText) {
        auto typing = typeInto(target, text, inserted, observe, observationRevision, captureRevision);
        co_return co_await typing;
    }

    Pasteboard &pasteboard = *env->pasteboard;
    const QList<Pasteboard::Item> snapshot = pasteboard.items();
    pasteboard.clearContents();
    if (!pasteboard.setString(inserted)) {
        restoreSnapshot(snapshot, pasteboard.changeCount());
        co_return result(DeliveryResult::Outcome::failed, clipboardUnavailableMessage());
    }
    const qint64 written = pasteboard.changeCount();

    // Keys pressed meanwhile are waited for too, and the target is checked after that wait: a cancel or
    // a focus change during it must not paste.
    const bool released = co_await keyboardReleased();
    bool movedAfterWrite = false;
    if (released)
        movedAfterWrite = co_await insertionPointChanged(target, true);
    if (isStale(alive))
        co_return cancelled;
    if (!released || token->isCancelled() || captureRevision != m_captureRevision) {
        restoreSnapshot(snapshot, written);
        co_return cancelled;
    }
    if (movedAfterWrite) {
        restoreSnapshot(snapshot, written);
        co_return copyResult(text, insertionPointChangedMessage());
    }

    if (!env->postPaste(target.terminal))
        co_return result(DeliveryResult::Outcome::copied, pasteNotPostedMessage());
    const QString name = target.applicationName;
    if (!target.element || !target.anchor)
        co_return result(DeliveryResult::Outcome::sent, sentUnverifiableMessage(name));

    auto confirming = confirm(target, inserted, captureRevision);
    const bool confirmed = co_await confirming;
    if (isStale(alive))
        co_return cancelled;
    if (!confirmed)
        co_return result(DeliveryResult::Outcome::sent, sentUnconfirmedMessage(name));
    restoreSnapshot(snapshot, written);
    if (observe && observationRevision == m_observationRevision)
        co_await startObservation(target, inserted);
    co_return result(DeliveryResult::Outcome::inserted, insertedMessage(name));
}

// The text goes in without the clipboard. Only a read-back trusts it: an input method can lose a commit
// (an input context gone stale takes it and reports nothing), so unconfirmed text ends on the clipboard.
Task<DeliveryResult> TextDelivery::typeInto(
    Target target, QString text, QString inserted, bool observe, quint64 observationRevision, quint64 captureRevision)
{
    const std::weak_ptr<int> alive = m_life;
    const Env env = m_environment;
    const DeliveryResult cancelled = result(DeliveryResult::Outcome::failed, cancelledMessage());
    // Typed into a terminal, a line break is Enter and would run what stands before it; a paste there is
    // bracketed, typing is not.
    if (target.terminal) {
        for (QChar &c : inserted)
            if (c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029))
                c = u' ';
    }
    auto typing = env->typeText(inserted);
    const bool sent = co_await typing;
    if (isStale(alive))
        co_return cancelled;
    if (!sent)
        co_return copyResult(text, copiedMessage(target.terminal));
    const QString name = target.applicationName;
    if (!target.element || !target.anchor) {
        const DeliveryResult copied = copyResult(text, sentUnverifiableMessage(name));
        co_return copied.outcome == DeliveryResult::Outcome::copied
            ? result(DeliveryResult::Outcome::sent, copied.message)
            : copied;
    }
    auto confirming = confirm(target, inserted, captureRevision);
    const bool confirmed = co_await confirming;
    if (isStale(alive))
        co_return cancelled;
    if (!confirmed)
        co_return copyResult(text, sentUnconfirmedMessage(name));
    if (observe && observationRevision == m_observationRevision)
        co_await startObservation(target, inserted);
    co_return result(DeliveryResult::Outcome::inserted, insertedMessage(name));
}

Task<bool> TextDelivery::confirm(Target target, QString inserted, quint64 captureRevision)
{
    const std::weak_ptr<int> alive = m_life;
    const Env env = m_environment;
    const CancelToken token = co_await currentCancellation();
    auto superseded = [&] { return isStale(alive) || token->isCancelled() || captureRevision != m_captureRevision; };
    for (int attempt = 0; attempt < verificationAttempts; ++attempt) {
        if (!co_await sleepFor(m_scheduler, pauseInterval) || superseded())
            co_return false;
        // Focus that cannot be read for a moment costs an attempt, not the insertion.
        const reads::Presence presence = co_await reads::focusPresence(env, target);
        if (isStale(alive) || presence == reads::Presence::elsewhere)
            co_return false;
        if (presence == reads::Presence::unreadable)
            continue;
        const bool verified = co_await reads::verifyInsertion(env, target, inserted);
        if (superseded())
            co_return false;
        if (verified)
            co_return true;
    }
    co_return false;
}

// Observation ------------------------------------------------------------------------------------

Task<> TextDelivery::startObservation(Target target, QString text)
{
    const std::weak_ptr<int> alive = m_life;
    const Env env = m_environment;
    const quint64 revision = m_observationRevision;
    std::unique_ptr<AccessibilityObserver> observer =
        env->createObserver(target.processID, [this, alive](QString name) {
            if (!isStale(alive))
                handleNotification(name);
        });
    if (!observer)
        co_return;
    auto registering = observer->addNotification(target.element, axValueChanged);
    const bool observed = co_await registering;
    if (isStale(alive) || revision != m_observationRevision)
        co_return;
    if (!observed) {
        if (onNotice)
            onNotice(correctionsUnavailableMessage());
        co_return;
    }
    auto registeringDestroyed = observer->addNotification(target.element, axDestroyed);
    co_await registeringDestroyed;
    if (isStale(alive) || revision != m_observationRevision)
        co_return;
    m_observer = std::move(observer);
    m_observation = Observation{std::move(target), text, m_scheduler.now() + observationLifetime, text};
    m_expiryTask = expiryMonitor(m_observationRevision);
}

void TextDelivery::stopObservation()
{
    ++m_observationRevision;
    m_debounceTask.cancel();
    m_expiryTask.cancel();
    m_debounceTask = {};
    m_expiryTask = {};
    m_observer.reset();
    m_observation.reset();
}

Task<> TextDelivery::expiryMonitor(quint64 revision)
{
    const std::weak_ptr<int> alive = m_life;
    for (;;) {
        if (!co_await sleepFor(m_scheduler, expiryInterval) || isStale(alive))
            co_return;
        if (!m_observation || revision != m_observationRevision)
            co_return;
        if (m_scheduler.now() >= m_observation->deadline) {
            stopObservation();
            co_return;
        }
        const bool current = co_await targetIsCurrent(m_observation->target);
        if (isStale(alive) || revision != m_observationRevision)
            co_return;
        if (!current) {
            stopObservation();
            co_return;
        }
    }
}

void TextDelivery::handleNotification(const QString &name)
{
    if (name == axDestroyed || !m_observation) {
        stopObservation();
        return;
    }
    m_debounceTask.cancel();
    m_debounceTask = debounceEdit(m_observationRevision);
}

// One capture 1.2 s after the last change of a burst; a newer change cancels the wait.
Task<> TextDelivery::debounceEdit(quint64 revision)
{
    const std::weak_ptr<int> alive = m_life;
    const CancelToken token = co_await currentCancellation();
    const bool current = co_await targetIsCurrent(m_observation->target);
    if (isStale(alive) || token->isCancelled() || revision != m_observationRevision)
        co_return;
    if (!current) {
        stopObservation();
        co_return;
    }
    if (!co_await sleepFor(m_scheduler, editDebounce) || isStale(alive) || revision != m_observationRevision)
        co_return;
    co_await captureEdit();
}

Task<> TextDelivery::captureEdit()
{
    const std::weak_ptr<int> alive = m_life;
    if (!m_observation || m_scheduler.now() >= m_observation->deadline)
        co_return;
    const quint64 revision = m_observationRevision;
    const Observation observation = *m_observation;
    auto stale = [&] { return isStale(alive) || revision != m_observationRevision || !m_observation; };
    const bool current = co_await targetIsCurrent(observation.target);
    if (stale() || !current)
        co_return;
    const std::optional<QString> edited = co_await reads::editedSpan(m_environment, observation);
    if (stale() || !edited || edited->isEmpty())
        co_return;
    if (sameText(*edited, m_observation->original) || sameText(*edited, m_observation->lastCorrection))
        co_return;
    if (std::abs(edited->size() - m_observation->original.size()) > largestSpanChange)
        co_return;
    const QString previous = m_observation->lastCorrection;
    m_observation->lastCorrection = *edited;
    if (onCorrection)
        onCorrection(previous, *edited);
}

} // namespace orv
