#pragma once

#include "base/Scheduler.h"
#include "base/Task.h"
#include "delivery/AbstractTextDelivery.h"
#include "delivery/AccessibilityObserver.h"
#include "delivery/AccessibleElement.h"
#include "delivery/Pasteboard.h"

#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace orv {

// Puts finished dictations into the text field that had focus when the dictation began (paste, then
// read back), falls back to the clipboard where that cannot be confirmed, and watches the field for
// the user's corrections afterwards. Main thread only.
class TextDelivery final : public AbstractTextDelivery
{
public:
    using Application = ApplicationInfo;

    // The platform operations. Reads of another application's accessibility tree are tasks: the live
    // implementation answers them off the main thread, so the main loop keeps serving the clipboard
    // while a target that is waiting for our clipboard data is being read.
    struct Environment
    {
        std::function<bool()> trusted;
        // Frontmost application; its name is "your app" when it has none.
        std::function<std::optional<Application>()> application;
        std::function<Task<std::optional<Element>>()> focusedElement;
        std::function<Task<std::optional<AttributeValue>>(Element, QString)> attribute;
        // The "AXStringForRange" parameterized attribute.
        std::function<Task<std::optional<QString>>(Element, TextRange)> stringForRange;
        std::function<Task<std::optional<qint64>>(Element)> processID;
        // The application element of a process (no platform call is made to create it). Its "AXRole" reads
        // as nothing when the process has no accessible object at all.
        std::function<Element(qint64)> applicationElement;
        // Switches on the accessibility of a toolkit that exposes it only on request; false when nothing
        // could be switched on for the process.
        std::function<Task<bool>(qint64)> enableAccessibility;
        // Whether any key is down now: the paste waits until the dictation keys are let go.
        std::function<bool()> keysHeld;
        // Synthesizes the paste keystroke (Ctrl+Shift+V for a terminal); false when it could not be posted.
        std::function<bool(bool terminal)> postPaste;
        // Where the desktop puts text into the focused field itself (an input method's commit, keys typed
        // with a keymap made for the text), this does so instead of a paste, leaving the clipboard alone;
        // false when nothing could be sent. Null where text goes in by paste.
        std::function<Task<bool>(QString)> typeText;
        // Null when no observer could be made for the process.
        std::function<std::unique_ptr<AccessibilityObserver>(qint64, std::function<void(QString)>)> createObserver;
        std::shared_ptr<Pasteboard> pasteboard;
    };

    struct Anchor
    {
        TextRange selection;
        qint64 originalCount = 0;
        QString prefix;
        QString suffix;
        bool wasAtEnd = false;

        bool operator==(const Anchor &) const = default;
    };

    // Where the text goes. An application that exposes no accessibility at all gets a target without an
    // element: the paste goes to its window unconfirmed.
    struct Target
    {
        Element element;
        qint64 processID = 0;
        QString applicationName;
        Element window; // null when the element reported none
        std::optional<TextRange> selection;
        std::optional<Anchor> anchor;
        bool terminal = false;   // pastes with Ctrl+Shift+V
        bool singleLine = false; // a field of one line ("AXTextField"): line breaks arrive as spaces
    };

    struct Observation
    {
        Target target;
        QString original;
        TimePoint deadline;
        QString lastCorrection;
    };

    static constexpr int captureAttempts = 27;
    static constexpr int verificationAttempts = 20;
    static constexpr Duration pauseInterval = std::chrono::milliseconds(100);
    static constexpr Duration observationLifetime = std::chrono::seconds(90);
    static constexpr Duration expiryInterval = std::chrono::seconds(1);
    static constexpr Duration editDebounce = std::chrono::milliseconds(1200);
    static constexpr qint64 anchorContext = 64;
    static constexpr qint64 largestAnchoredSelection = 8192;
    static constexpr qint64 editedSpanRoom = 256;
    static constexpr qint64 largestSpanChange = 128;
    static constexpr int ancestorLimit = 12;
    // Longest wait for held keys to be let go before the paste, and how often it looks.
    static constexpr Duration keyWait = std::chrono::milliseconds(1500);
    static constexpr Duration keyPoll = std::chrono::milliseconds(20);
    // A window loses its focus while a key grab (our toggle) holds the keyboard and gets it back just
    // after: a target whose application, still in front, shows the focus nowhere or on no text field
    // is looked at again this often, this long.
    static constexpr Duration focusPoll = std::chrono::milliseconds(20);
    static constexpr Duration focusReturnWait = std::chrono::milliseconds(500);

    TextDelivery(Scheduler &scheduler, Environment environment, qint64 ownProcessID);
    ~TextDelivery() override;
    TextDelivery(const TextDelivery &) = delete;
    TextDelivery &operator=(const TextDelivery &) = delete;

    // AbstractTextDelivery
    bool prepare() override;
    void cancelCapture() override;
    void stopObservation() override;
    QString targetApplicationName() const override { return m_targetApplicationName; }
    Task<DeliveryResult> deliver(QString text, bool observe, QString dictated = {}) override;
    bool copyToClipboard(const QString &text) override;
    bool isTrusted() const override;
    std::optional<ApplicationInfo> frontmostApplication() const override;
    bool prepareProcess(qint64 processID) override;
    qint64 ownProcessID() const override { return m_ownProcessID; }

    // Steps of insertion and observation.
    Task<bool> targetIsCurrent(Target target);
    DeliveryResult copyResult(const QString &text, const QString &message);
    Task<> startObservation(Target target, QString text);
    Task<> captureEdit();

    // State, for the owner and tests.
    const std::optional<Target> &target() const { return m_target; }
    const std::optional<Observation> &observation() const { return m_observation; }
    bool isCapturing() const { return m_captureTask.isValid() && !m_captureTask.isDone(); }

    // The text for a field of one line: each line break, with the spaces around it, becomes one space.
    static QString asOneLine(const QString &text);

    // Messages.
    static QString cancelledMessage();
    static QString nothingToInsertMessage();
    // Names Ctrl+Shift+V when the text is to be pasted into a terminal.
    static QString copiedMessage(bool terminal = false);
    static QString insertionPointChangedMessage();
    static QString clipboardUnavailableMessage();
    static QString pasteNotPostedMessage();
    static QString sentUnverifiableMessage(const QString &application);
    static QString sentUnconfirmedMessage(const QString &application);
    static QString insertedMessage(const QString &application);
    static QString correctionsUnavailableMessage();

private:
    // Reads the field back until it holds the inserted text, within the read-back window; false when it
    // did not, or when the delivery was superseded meanwhile.
    Task<bool> confirm(Target target, QString inserted, quint64 captureRevision);
    Task<DeliveryResult> typeInto(Target target,
                                  QString text,
                                  QString inserted,
                                  bool observe,
                                  quint64 observationRevision,
                                  quint64 captureRevision);
    Task<bool> capture(quint64 revision, Application application);
    Task<bool> enableProcess(qint64 processID);
    Task<bool> insertionPointChanged(Target target, bool heldBefore = false);
    Task<bool> keyboardReleased();
    void restoreSnapshot(const QList<Pasteboard::Item> &snapshot, qint64 expectedChangeCount);
    void handleNotification(const QString &name);
    Task<> expiryMonitor(quint64 revision);
    Task<> debounceEdit(quint64 revision);

    Scheduler &m_scheduler;
    std::shared_ptr<const Environment> m_environment;
    qint64 m_ownProcessID = 0;
    QString m_targetApplicationName;
    std::optional<Target> m_target;
    std::optional<Observation> m_observation;
    std::unique_ptr<AccessibilityObserver> m_observer;
    Task<> m_debounceTask;
    Task<> m_expiryTask;
    quint64 m_observationRevision = 0;
    Task<bool> m_captureTask;
    quint64 m_captureRevision = 0;
    QSet<qint64> m_preparedProcesses;
    // Tasks hold this weakly and stop touching the object once it is gone.
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

} // namespace orv
