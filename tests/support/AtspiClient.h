#pragma once

#include "tests/support/EventLoopWait.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

typedef struct _AtspiAccessible AtspiAccessible;

namespace orv::test {

// A node of the desktop's accessibility tree as a screen reader sees it (libatspi), for tests that drive
// another process's windows.
class AccessibleNode
{
public:
    AccessibleNode() = default;
    explicit AccessibleNode(AtspiAccessible *adopted);
    AccessibleNode(const AccessibleNode &other);
    AccessibleNode &operator=(const AccessibleNode &other);
    ~AccessibleNode();

    // The root of every application.
    static AccessibleNode desktop();

    bool isValid() const { return m_node != nullptr; }
    QString name() const;
    QString description() const;
    QString role() const; // "push button", "check box", "frame", …
    qint64 processID() const;
    // On an application: every later read of its nodes asks the application, never libatspi's cache.
    void readFresh() const;
    bool isShowing() const;
    bool isChecked() const;
    bool isEnabled() const;
    bool isFocused() const;
    bool isActive() const; // a window the window manager made active
    // The Text interface's whole text; empty when there is none.
    QString text() const;
    QRect extents() const;
    QList<AccessibleNode> children() const;
    // Runs the named action ("Press", "Toggle", …); false when there is none or it failed.
    bool doAction(const QString &action) const;

    // Depth-first, this node included.
    void walk(const std::function<void(const AccessibleNode &)> &visit) const;
    std::optional<AccessibleNode> find(const std::function<bool(const AccessibleNode &)> &match) const;
    std::optional<AccessibleNode> find(const QString &role, const QString &name) const;

private:
    AtspiAccessible *m_node = nullptr;
};

// The running application named `name` (of that process, when processID > 0), waiting up to timeoutMs.
std::optional<AccessibleNode> waitForApplication(const QString &name, qint64 processID, int timeoutMs);

} // namespace orv::test
