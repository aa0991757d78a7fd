#include "delivery/TextDelivery.h"

#include "core/PlatformText.h"

#include <cstdlib>

namespace orv {

namespace {

using Env = std::shared_ptr<const TextDelivery::Environment>;

const QString axRole = QStringLiteral("AXRole");
const QString axSubrole = QStringLiteral("AXSubrole");
const QString axParent = QStringLiteral("AXParent");
const QString axWindow = QStringLiteral("AXWindow");
const QString axFocusedWindow = QStringLiteral("AXFocusedWindow");
const QString axValue = QStringLiteral("AXValue");
const QString axValueChanged = QStringLiteral("AXValueChanged");
const QString axDestroyed = QStringLiteral("AXUIElementDestroyed");
const QString axEnabled = QStringLiteral("AXEnabled");
const QString axProtectedContent = QStringLiteral("AXProtectedContent");
const QString axSecure = QStringLiteral("AXSecure");

// Strings compare as the platform compares them: canonically equivalent, no case folding.
bool sameText(const QString &a, const QString &b)
{
    return a == b || a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

// Awaits one attribute read. The element and name are copied into the frame first: g++ 12 mishandles
// non-trivial temporaries passed to a call inside a co_await expression.
Task<std::optional<AttributeValue>> read(Env env, Element element, QString name)
{
    auto pending = env->attribute(element, name);
    co_return co_await pending;
}

Task<std::optional<QString>> readRange(Env env, Element element, TextRange range)
{
    auto pending = env->stringForRange(element, range);
    co_return co_await pending;
}

Task<std::optional<qint64>> processOf(Env env, Element element)
{
    auto pending = env->processID(element);
    co_return co_await pending;
}

Task<std::optional<Element>> focusedOf(Env env)
{
    auto pending = env->focusedElement();
    co_return co_await pending;
}

bool isStale(const std::weak_ptr<int> &alive)
{
    return alive.expired();
}

Task<bool> isInsertableWith(Env env, Element element)
{
    Element current = std::move(element);
    for (int looked = 0; looked < TextDelivery::ancestorLimit; ++looked) {
        if (!current)
            co_return true;
        const QString subrole = attributeAs<QString>(co_await read(env, current, axSubrole)).value_or(QString());
        const QString role = attributeAs<QString>(co_await read(env, current, axRole)).value_or(QString());
        if (subrole == QLatin1String("AXSecureTextField") ||
            subrole.contains(QLatin1String("secure"), Qt::CaseInsensitive) ||
            role.contains(QLatin1String("secure"), Qt::CaseInsensitive))
            co_return false;
        const auto enabled = attributeAs<bool>(co_await read(env, current, axEnabled));
        if (enabled == false)
            co_return false;
        const auto protectedContent = attributeAs<bool>(co_await read(env, current, axProtectedContent));
        if (protectedContent == true)
            co_return false;
        const auto secure = attributeAs<bool>(co_await read(env, current, axSecure));
        if (secure == true)
            co_return false;
        const Element parent = elementOf(co_await read(env, current, axParent));
        current = parent;
    }
    co_return true;
}

Task<Element> editableElementWith(Env env, qint64 processID)
{
    const std::optional<Element> focused = co_await focusedOf(env);
    if (!focused || !*focused)
        co_return nullptr;
    const std::optional<qint64> focusedProcess = co_await processOf(env, *focused);
    if (focusedProcess != processID)
        co_return nullptr;
    const bool insertable = co_await isInsertableWith(env, *focused);
    if (!insertable)
        co_return nullptr;
    Element candidate = elementOf(co_await read(env, *focused, QStringLiteral("AXEditableAncestor")));
    const bool fromAncestor = candidate != nullptr;
    if (!candidate)
        candidate = *focused;
    if (fromAncestor) {
        const std::optional<qint64> candidateProcess = co_await processOf(env, candidate);
        if (candidateProcess != processID)
            co_return nullptr;
        const bool insertable = co_await isInsertableWith(env, candidate);
        if (!insertable)
            co_return nullptr;
    }
    const std::optional<QString> role = attributeAs<QString>(co_await read(env, candidate, axRole));
    if (!role)
        co_return nullptr;
    if (*role == QLatin1String("AXTextField") || *role == QLatin1String("AXTextArea") ||
        *role == QLatin1String("AXComboBox"))
        co_return candidate;
    if (*role == QLatin1String("AXGroup") && fromAncestor)
        co_return candidate;
    co_return nullptr;
}

Task<std::optional<TextRange>> selectedRangeWith(Env env, Element element)
{
    co_return attributeAs<TextRange>(co_await read(env, element, QStringLiteral("AXSelectedTextRange")));
}

Task<std::optional<qint64>> characterCountWith(Env env, Element element)
{
    const auto value = co_await read(env, element, QStringLiteral("AXNumberOfCharacters"));
    if (const auto count = attributeAs<qint64>(value))
        co_return std::max<qint64>(*count, 0);
    if (const auto text = attributeAs<QString>(co_await read(env, element, axValue)))
        co_return text->size();
    co_return std::nullopt;
}

Task<std::optional<QString>> readTextWith(Env env, Element element, qint64 location, qint64 length)
{
    if (location < 0 || length < 0)
        co_return std::nullopt;
    if (length == 0)
        co_return QString();
    if (const auto text = co_await readRange(env, element, TextRange{location, length}))
        co_return *text;
    const auto value = attributeAs<QString>(co_await read(env, element, axValue));
    if (value && location <= value->size() && length <= value->size() - location)
        co_return value->mid(location, length);
    co_return std::nullopt;
}

Task<std::optional<TextDelivery::Anchor>> makeAnchorWith(Env env, Element element, TextRange selection)
{
    if (selection.length > TextDelivery::largestAnchoredSelection)
        co_return std::nullopt;
    const std::optional<qint64> count = co_await characterCountWith(env, element);
    if (!count || *count < selection.location || selection.length > *count - selection.location)
        co_return std::nullopt;
    const qint64 prefixLength = std::min(selection.location, TextDelivery::anchorContext);
    const qint64 end = selection.location + selection.length;
    const qint64 suffixLength = std::min(*count - end, TextDelivery::anchorContext);
    const auto prefix = co_await readTextWith(env, element, selection.location - prefixLength, prefixLength);
    if (!prefix)
        co_return std::nullopt;
    const auto suffix = co_await readTextWith(env, element, end, suffixLength);
    if (!suffix)
        co_return std::nullopt;
    co_return TextDelivery::Anchor{selection, *count, *prefix, *suffix, end == *count};
}

Task<std::optional<TextDelivery::Target>> makeTargetWith(Env env, qint64 processID, QString name)
{
    Element element = co_await editableElementWith(env, processID);
    if (!element)
        co_return std::nullopt;
    std::optional<TextRange> selection = co_await selectedRangeWith(env, element);
    if (selection && (selection->location < 0 || selection->length < 0))
        selection.reset();
    Element window = elementOf(co_await read(env, element, axWindow));
    std::optional<TextDelivery::Anchor> anchor;
    if (selection)
        anchor = co_await makeAnchorWith(env, element, *selection);
    co_return TextDelivery::Target{element, processID, name, window, selection, anchor};
}

// The live check that the target still has focus, in the same application and window.
Task<bool> targetIsCurrentWith(Env env, TextDelivery::Target target)
{
    if (!env->trusted())
        co_return false;
    const auto application = env->application();
    if (!application || application->processID != target.processID)
        co_return false;
    const Element element = co_await editableElementWith(env, target.processID);
    if (!sameElement(element, target.element))
        co_return false;
    if (!target.window)
        co_return true;
    const Element window = elementOf(co_await read(env, element, axWindow));
    co_return sameElement(window, target.window);
}

Task<bool> verifyInsertionWith(Env env, TextDelivery::Target target, QString text)
{
    if (!target.anchor)
        co_return false;
    const TextDelivery::Anchor anchor = *target.anchor;
    const qint64 length = text.size();
    const Element element = target.element;
    if (co_await characterCountWith(env, element) != anchor.originalCount - anchor.selection.length + length)
        co_return false;
    if (co_await selectedRangeWith(env, element) != TextRange{anchor.selection.location + length, 0})
        co_return false;
    const auto inserted = co_await readTextWith(env, element, anchor.selection.location, length);
    if (!inserted || !sameText(*inserted, text))
        co_return false;
    const auto prefix =
        co_await readTextWith(env, element, anchor.selection.location - anchor.prefix.size(), anchor.prefix.size());
    if (!prefix || !sameText(*prefix, anchor.prefix))
        co_return false;
    const auto suffix = co_await readTextWith(env, element, anchor.selection.location + length, anchor.suffix.size());
    co_return suffix &&sameText(*suffix, anchor.suffix);
}

Task<std::optional<QString>> editedSpanWith(Env env, TextDelivery::Observation observation)
{
    if (!observation.target.anchor)
        co_return std::nullopt;
    const TextDelivery::Anchor anchor = *observation.target.anchor;
    const Element element = observation.target.element;
    const std::optional<qint64> count = co_await characterCountWith(env, element);
    if (!count)
        co_return std::nullopt;
    const qint64 p = anchor.prefix.size();
    const qint64 s = anchor.suffix.size();
    const qint64 o = observation.original.size();
    const qint64 start = anchor.selection.location - p;
    if (start < 0 || start > *count)
        co_return std::nullopt;
    const qint64 limit = p + o + TextDelivery::editedSpanRoom + s;
    const auto read = co_await readTextWith(env, element, start, std::min(*count - start, limit));
    if (!read || !read->startsWith(anchor.prefix))
        co_return std::nullopt;
    const QString rest = read->mid(p);
    if (anchor.suffix.isEmpty()) {
        if (anchor.wasAtEnd && *count - start <= limit)
            co_return rest;
        co_return std::nullopt;
    }
    const qsizetype first = rest.indexOf(anchor.suffix);
    if (first < 0)
        co_return std::nullopt;
    if (rest.indexOf(anchor.suffix, first + anchor.suffix.size()) >= 0)
        co_return std::nullopt; // the span is ambiguous
    co_return rest.left(first);
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

QString TextDelivery::copiedMessage()
{
    return QStringLiteral("Copied. Click a text field and paste with %1.").arg(platform::pasteKeys());
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
    if (!m_environment->enableAccessibility(processID))
        return false;
    m_preparedProcesses.insert(processID);
    return true;
}

Task<std::optional<TextDelivery::Target>> TextDelivery::makeTarget(qint64 processID, QString name)
{
    return makeTargetWith(m_environment, processID, std::move(name));
}

Task<Element> TextDelivery::editableElement(qint64 processID)
{
    return editableElementWith(m_environment, processID);
}

Task<bool> TextDelivery::isInsertable(Element element)
{
    return isInsertableWith(m_environment, std::move(element));
}

Task<std::optional<TextRange>> TextDelivery::selectedRange(Element element)
{
    return selectedRangeWith(m_environment, std::move(element));
}

Task<std::optional<qint64>> TextDelivery::characterCount(Element element)
{
    return characterCountWith(m_environment, std::move(element));
}

Task<std::optional<QString>> TextDelivery::readText(Element element, qint64 location, qint64 length)
{
    return readTextWith(m_environment, std::move(element), location, length);
}

Task<std::optional<TextDelivery::Anchor>> TextDelivery::makeAnchor(Element element, TextRange selection)
{
    return makeAnchorWith(m_environment, std::move(element), selection);
}

Task<bool> TextDelivery::targetIsCurrent(Target target)
{
    return targetIsCurrentWith(m_environment, std::move(target));
}

Task<bool> TextDelivery::verifyInsertion(Target target, QString text)
{
    return verifyInsertionWith(m_environment, std::move(target), std::move(text));
}

Task<std::optional<QString>> TextDelivery::editedSpan(Observation observation)
{
    return editedSpanWith(m_environment, std::move(observation));
}

// Capture ----------------------------------------------------------------------------------------

bool TextDelivery::prepare()
{
    stopObservation();
    cancelCapture();
    m_targetApplicationName.clear();
    if (!m_environment->trusted())
        return false;
    const auto application = m_environment->application();
    if (!application || application->processID == m_ownProcessID)
        return false;
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

// Captures the target at once when the application exposes it; otherwise switches its accessibility
// on and tries again, up to 27 times 100 ms apart, while focus and window stay where they were.
// Returns true when a target was stored or the deferred attempts began.
Task<bool> TextDelivery::capture(quint64 revision, Application application)
{
    const std::weak_ptr<int> alive = m_life;
    const Env env = m_environment;
    const CancelToken token = co_await currentCancellation();
    auto superseded = [&] { return isStale(alive) || token->isCancelled() || revision != m_captureRevision; };

    std::optional<Target> target = co_await makeTargetWith(env, application.processID, application.name);
    if (superseded())
        co_return false;
    if (target) {
        m_target = std::move(target);
        m_targetApplicationName = application.name;
        co_return true;
    }
    if (!prepareProcess(application.processID))
        co_return false;
    const std::optional<Element> focused = co_await focusedOf(env);
    if (superseded() || !focused || !*focused)
        co_return false;
    const Element applicationElement = env->applicationElement(application.processID);
    const Element window = elementOf(co_await read(env, applicationElement, axFocusedWindow));
    if (superseded() || !window)
        co_return false;
    m_targetApplicationName = application.name;

    for (int failed = 0; failed < captureAttempts;) {
        if (!co_await sleepFor(m_scheduler, pauseInterval) || superseded())
            co_return true;
        if (!env->trusted())
            co_return true;
        const auto current = env->application();
        if (!current || current->processID != application.processID)
            co_return true;
        const std::optional<Element> nowFocused = co_await focusedOf(env);
        if (superseded())
            co_return true;
        if (!nowFocused || !sameElement(*nowFocused, *focused))
            co_return true;
        const auto windowValue = co_await read(env, applicationElement, axFocusedWindow);
        if (superseded())
            co_return true;
        if (windowValue) {
            if (!sameElement(elementOf(windowValue), window))
                co_return true;
            target = co_await makeTargetWith(env, application.processID, application.name);
            if (superseded())
                co_return true;
            if (target && sameElement(target->window, window)) {
                m_target = std::move(target);
                co_return true;
            }
        }
        ++failed;
    }
    co_return true;
}

// Insertion --------------------------------------------------------------------------------------

Task<bool> TextDelivery::insertionPointChanged(Target target)
{
    const Env env = m_environment;
    if (!co_await targetIsCurrentWith(env, target))
        co_return true;
    if (!target.selection)
        co_return false;
    co_return co_await selectedRangeWith(env, target.element) != target.selection;
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

Task<DeliveryResult> TextDelivery::deliver(QString text, bool observe)
{
    const std::weak_ptr<int> alive = m_life;
    const Env env = m_environment;
    const CancelToken token = co_await currentCancellation();
    const DeliveryResult cancelled = result(DeliveryResult::Outcome::failed, cancelledMessage());

    stopObservation();
    const quint64 observationRevision = m_observationRevision;
    const quint64 captureRevision = m_captureRevision;
    if (isCapturing()) {
        const Task<bool> running = m_captureTask;
        co_await running.waitUnlinked();
        if (isStale(alive))
            co_return cancelled;
    }
    if (token->isCancelled() || captureRevision != m_captureRevision)
        co_return cancelled;
    m_captureTask = {};
    if (text.isEmpty())
        co_return result(DeliveryResult::Outcome::failed, nothingToInsertMessage());
    if (!env->trusted() || !m_target)
        co_return copyResult(text, copiedMessage());

    const Target target = *m_target;
    const bool movedBeforeWrite = co_await insertionPointChanged(target);
    if (isStale(alive) || token->isCancelled() || captureRevision != m_captureRevision)
        co_return cancelled;
    if (movedBeforeWrite)
        co_return copyResult(text, insertionPointChangedMessage());
    m_target.reset();

    Pasteboard &pasteboard = *env->pasteboard;
    const QList<Pasteboard::Item> snapshot = pasteboard.items();
    pasteboard.clearContents();
    if (!pasteboard.setString(text)) {
        restoreSnapshot(snapshot, pasteboard.changeCount());
        co_return result(DeliveryResult::Outcome::failed, clipboardUnavailableMessage());
    }
    const qint64 written = pasteboard.changeCount();

    const bool movedAfterWrite = co_await insertionPointChanged(target);
    if (isStale(alive))
        co_return cancelled;
    if (token->isCancelled() || movedAfterWrite) {
        restoreSnapshot(snapshot, written);
        co_return copyResult(text, insertionPointChangedMessage());
    }

    auto pasting = env->postPaste();
    const bool posted = co_await pasting;
    if (isStale(alive))
        co_return cancelled;
    if (!posted)
        co_return result(DeliveryResult::Outcome::copied, pasteNotPostedMessage());
    const QString name = target.applicationName;
    if (!target.anchor)
        co_return result(DeliveryResult::Outcome::sent, sentUnverifiableMessage(name));

    const DeliveryResult unconfirmed = result(DeliveryResult::Outcome::sent, sentUnconfirmedMessage(name));
    for (int attempt = 0; attempt < verificationAttempts; ++attempt) {
        if (!co_await sleepFor(m_scheduler, pauseInterval) || isStale(alive))
            co_return unconfirmed;
        if (token->isCancelled() || captureRevision != m_captureRevision)
            co_return unconfirmed;
        if (!co_await targetIsCurrentWith(env, target) || isStale(alive))
            co_return unconfirmed;
        const bool confirmed = co_await verifyInsertionWith(env, target, text);
        if (isStale(alive) || token->isCancelled() || captureRevision != m_captureRevision)
            co_return unconfirmed;
        if (confirmed) {
            restoreSnapshot(snapshot, written);
            if (observe && observationRevision == m_observationRevision)
                co_await startObservation(target, text);
            co_return result(DeliveryResult::Outcome::inserted, insertedMessage(name));
        }
    }
    co_return unconfirmed;
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
    const std::optional<QString> edited = co_await editedSpan(observation);
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
