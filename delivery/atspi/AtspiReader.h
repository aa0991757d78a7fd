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
// Roles: entry → "AXTextField"; text, paragraph, document text → "AXTextArea"; combo box → "AXComboBox";
// password text → "AXTextField" with subrole "AXSecureTextField"; section, panel, filler, form,
// grouping → "AXGroup". AT-SPI counts text in code points; every offset and length handed out here
// is in UTF-16 units.
namespace reader {

// The object with the focused state inside the active top-level window.
std::optional<Element> focusedElement(const std::shared_ptr<AtspiWorker> &worker);
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
