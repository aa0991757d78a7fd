#pragma once

#include "base/Scheduler.h"
#include "delivery/TextDelivery.h"

#include <QMap>
#include <QSet>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace orv::test {

class FakePasteboard;

// The other applications as delivery sees them: a scriptable tree of elements with text fields, the
// frontmost application, focus, the paste keystroke (which really pastes the clipboard into the focused
// field) and an observer whose notifications the test fires. Records every attribute read.
class FakeAccessibleDesktop
{
public:
    FakeAccessibleDesktop(Scheduler &scheduler, FakePasteboard &pasteboard)
        : m_scheduler(scheduler), m_pasteboard(pasteboard)
    {}

    TextDelivery::Environment environment();

    // Tree. Nodes have an AXRole, an AXParent and a process; text nodes answer AXValue,
    // AXNumberOfCharacters and AXSelectedTextRange from their text and selection.
    int addNode(int parent, const QString &role, qint64 processID);
    int addWindow(qint64 processID) { return addNode(0, QStringLiteral("AXWindow"), processID); }
    void setAttribute(int node, const QString &name, AttributeValue value);
    void removeAttribute(int node, const QString &name);
    void setText(int node, const QString &text, TextRange selection);
    void setSelection(int node, TextRange selection) { m_nodes[node].selection = selection; }
    QString text(int node) const { return m_nodes.at(node).text; }
    Element handle(int node) const;
    void focus(int node) { m_focused = node; }
    void setFocusedWindow(qint64 processID, std::optional<int> window) { m_focusedWindows[processID] = window; }
    void setApplication(qint64 processID, const QString &name, bool terminal = false)
    {
        m_application = ApplicationInfo{processID, name, terminal};
    }

    // The user types: new text and caret, then a value-changed notification.
    void userEdit(int node, const QString &text, TextRange selection);
    void fireDestroyed() { fire(QStringLiteral("AXUIElementDestroyed")); }

    // What a paste, a commit or typed keys do to the focused field: the text replaces its selection.
    void applyPaste(const QString &pasted);
    // Reads of text content (value, count, selection, string for range) per node.
    int textReads(int node) const { return m_nodes.count(node) ? m_nodes.at(node).textReads : 0; }
    int liveObservers() const { return m_liveObservers; }

    bool trusted = true;
    // Accessibility answers arrive after this much (virtual) time; zero answers at once.
    Duration replyDelay{};
    bool pastePosted = true;
    bool keysHeld = false;
    bool pastedAsTerminal = false;
    // The field takes the clipboard text this long after the keystroke.
    Duration pasteDelay{};
    bool pasteMovesCaret = true;
    bool stringForRangeWorks = true;
    bool enableAccessibilityResult = true;
    bool observerRegistrationFails = false;
    int enableCalls = 0;
    int pasteCount = 0;
    // Called after each read of the focus: a focus that changes between two looks.
    std::function<void()> onFocusRead;

    struct Node
    {
        int parent = 0;
        qint64 processID = 0;
        QMap<QString, AttributeValue> attributes;
        QSet<QString> missing;
        bool hasText = false;
        QString text;
        TextRange selection;
        int textReads = 0;
    };

private:
    class Handle;
    class Observer;

    void fire(const QString &notification);
    std::optional<AttributeValue> read(const Element &element, const QString &name);
    std::optional<QString> stringForRange(const Element &element, TextRange range);
    // What compute() says, answered after replyDelay.
    template <typename Compute>
    auto later(Compute compute) -> Task<decltype(compute())>;
    bool paste(bool terminal);
    static int idOf(const Element &element);

    Scheduler &m_scheduler;
    FakePasteboard &m_pasteboard;
    std::map<int, Node> m_nodes;
    int m_nextId = 1;
    int m_focused = 0;
    std::map<qint64, std::optional<int>> m_focusedWindows;
    std::optional<ApplicationInfo> m_application;
    std::vector<std::function<void(QString)>> m_callbacks;
    int m_liveObservers = 0;
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

} // namespace orv::test
