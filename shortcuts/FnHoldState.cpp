#include "shortcuts/FnHoldState.h"

namespace orv {

FnHoldState::Result FnHoldState::handle(std::uint32_t type, std::int64_t keyCode, std::uint64_t flags)
{
    const bool fnEvent = type == flagsChangedType && keyCode == fnKeyCode;
    const bool modifiers = (flags & modifierMask) != 0;

    if (fnEvent && (flags & fnFlag)) {
        if (isDown)
            return {std::nullopt, consumedPress}; // a repeat of the same press
        isDown = true;
        if (modifiers)
            return {std::nullopt, false}; // a press that begins under a modifier stays inert
        isActive = true;
        consumedPress = true;
        return {Action::begin, true};
    }

    if (fnEvent) {
        const Result result{isActive ? std::optional(Action::finish) : std::nullopt, consumedPress};
        isDown = isActive = consumedPress = false;
        return result;
    }

    if (!isActive)
        return {std::nullopt, false};
    if (type == keyDownType || modifiers) {
        // The other key's event passes; the rest of this press, release included, stays swallowed.
        isActive = false;
        return {Action::cancel, false};
    }
    return {std::nullopt, false};
}

FnHoldState FnHoldState::fromHardware(std::uint64_t hardwareFlags)
{
    FnHoldState state;
    state.isDown = (hardwareFlags & fnFlag) != 0;
    return state;
}

} // namespace orv
