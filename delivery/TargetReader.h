#pragma once

#include "delivery/TextDelivery.h"

#include <memory>

// The reads that capture, insertion and observation share: each one awaits the environment's
// accessibility operations and treats a value of the wrong kind like a missing one.
namespace orv::reads {

using Env = std::shared_ptr<const TextDelivery::Environment>;

Task<std::optional<AttributeValue>> attribute(Env env, Element element, QString name);
Task<std::optional<Element>> focused(Env env);
Task<bool> isInsertable(Env env, Element element);
Task<Element> editableElement(Env env, qint64 processID);
// A group or window with no text of its own and outside any editor: no place to write.
Task<bool> isBareContainer(Env env, Element element);
Task<std::optional<TextRange>> selectedRange(Env env, Element element);
Task<std::optional<qint64>> characterCount(Env env, Element element);
Task<std::optional<QString>> readText(Env env, Element element, qint64 location, qint64 length);
Task<std::optional<TextDelivery::Anchor>> makeAnchor(Env env, Element element, TextRange selection);
Task<std::optional<TextDelivery::Target>> makeTarget(Env env, TextDelivery::Application application);
// Whether the process has an application object on the accessibility bus at all.
Task<bool> exposesAccessibility(Env env, qint64 processID);
Task<bool> targetIsCurrent(Env env, TextDelivery::Target target);
// Whether the target still has focus; `unreadable` when the application's focus could not be read at
// all (a toolkit rebuilding its objects after a paste, a busy machine), which is no sign it moved.
enum class Presence
{
    current,
    elsewhere,
    unreadable
};
Task<Presence> targetPresence(Env env, TextDelivery::Target target);
// The same answer from fewer reads, for the read-back after the paste, once targetPresence held: the
// focus on the target or inside it (an element stays in its window and keeps its kind).
Task<Presence> focusPresence(Env env, TextDelivery::Target target);
// The focused element when it belongs to the process; null otherwise.
Task<Element> focusedIn(Env env, qint64 processID);
Task<bool> verifyInsertion(Env env, TextDelivery::Target target, QString text);
Task<std::optional<QString>> editedSpan(Env env, TextDelivery::Observation observation);

// Strings compare as the platform compares them: canonically equivalent, no case folding.
bool sameText(const QString &a, const QString &b);

} // namespace orv::reads
