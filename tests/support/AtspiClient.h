#pragma once

#include "tests/support/EventLoopWait.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <atspi/atspi-constants.h>

#include <functional>
#include <memory>
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

    // The root of every application.
    static AccessibleNode desktop();

    bool isValid() const { return m_node != nullptr; }
    QString name() const;
    QString description() const;
    QString role() const; // "push button", "check box", "frame", …
    qint64 processID() const;
    // On an application: every later read of its nodes asks the application, never libatspi's cache.
    void readFresh() const;
    bool isShowing() const { return hasState(ATSPI_STATE_SHOWING); }
    bool isEnabled() const { return hasState(ATSPI_STATE_ENABLED); }
    bool isFocused() const { return hasState(ATSPI_STATE_FOCUSED); }
    bool isEditable() const { return hasState(ATSPI_STATE_EDITABLE); }
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
    bool hasState(AtspiStateType state) const;

    std::shared_ptr<AtspiAccessible> m_node; // one reference of libatspi's, shared by the copies
};

// The running application named `name` (of that process, when processID > 0), waiting up to timeoutMs.
std::optional<AccessibleNode> waitForApplication(const QString &name, qint64 processID, int timeoutMs);

} // namespace orv::test
