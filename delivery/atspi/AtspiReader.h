#pragma once

#include "delivery/AccessibleElement.h"

#include <QString>

#include <memory>
#include <optional>

typedef struct _AtspiAccessible AtspiAccessible;

namespace orv::atspi {

class AtspiWorker;

// Answers the attribute names the delivery logic reads, from AT-SPI. Worker thread only.
//
// Roles: entry, and text in the single-line state → "AXTextField"; text, paragraph, document text →
// "AXTextArea"; terminal → "AXTextArea" with subrole "AXTerminal" (its selection is ignored: a paste
// goes to the cursor); combo box → "AXComboBox"; password text → "AXTextField" with subrole
// "AXSecureTextField"; section, panel, filler, form, grouping → "AXGroup"; drawing area, canvas →
// "AXCanvas"; lists and icon views → "AXList", trees → "AXOutline", tables → "AXTable", directory panes
// → "AXBrowser"; a frame's subrole is "AXStandardWindow", a dialog's "AXDialog"; "AXFocusable" is the
// focusable state. "AXEditableAncestor" is the outermost editable object with text
// holding the element, the element itself included. The application element of a process answers
// "AXRole" only when the process has an application object on the bus. AT-SPI counts text in code
// points; every offset and length handed out here is in UTF-16 units.
namespace reader {

// The focused object of the active top-level window: the one its application's last focus event named
// while it still has the focused state, else the deepest object with that state.
std::optional<Element> focusedElement(const std::shared_ptr<AtspiWorker> &worker);
struct ActiveApplication
{
    qint64 processID = 0;
    QString name; // as it names itself on the bus
};
// The application whose top-level window has the active state (on Wayland nothing else says which
// window is active); nothing when none has.
std::optional<ActiveApplication> activeApplication();
// Asks the process's application object for its attributes, as a screen reader does; false when the
// process has no application object on the bus.
bool announceReader(qint64 processID);
std::optional<AttributeValue>
attribute(const std::shared_ptr<AtspiWorker> &worker, const Element &element, const QString &name);
std::optional<QString> stringForRange(const Element &element, TextRange range);
std::optional<qint64> processID(const Element &element);
// Whether the element has a text interface whose changes can be observed.
bool hasText(const Element &element);
// The AT-SPI object behind an element handle, or null (no reference added).
AtspiAccessible *accessibleOf(const Element &element);

} // namespace reader
} // namespace orv::atspi
