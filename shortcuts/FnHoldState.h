#pragma once

#include <cstdint>
#include <optional>

namespace orv {

// Decides hold-to-speak on the hold key from the key events the shortcut service's tap sees: which
// dictation action an event triggers and whether the event is to be removed from the stream. Pure: it
// reads its three flags and the event, and calls nothing. Event values are the tap's encoding (the
// backend translates its platform's events into it; the hold key plays the part of key code 63).
struct FnHoldState
{
    enum class Action
    {
        begin,
        finish,
        cancel
    };

    struct Result
    {
        std::optional<Action> action;
        bool swallow = false;

        bool operator==(const Result &) const = default;
    };

    static constexpr std::uint32_t keyDownType = 10;
    static constexpr std::uint32_t flagsChangedType = 12;
    static constexpr std::int64_t fnKeyCode = 63;
    static constexpr std::uint64_t fnFlag = 0x800000;
    static constexpr std::uint64_t shiftFlag = 0x20000;
    static constexpr std::uint64_t controlFlag = 0x40000;
    static constexpr std::uint64_t optionFlag = 0x80000;
    static constexpr std::uint64_t commandFlag = 0x100000;
    static constexpr std::uint64_t modifierMask = shiftFlag | controlFlag | optionFlag | commandFlag;
    // Never part of the modifier mask: it neither blocks nor cancels.
    static constexpr std::uint64_t capsLockFlag = 0x10000;

    bool isDown = false;        // the hold key is held, as far as the events (or the last reset) tell
    bool isActive = false;      // the current press started a dictation not yet finished or cancelled
    bool consumedPress = false; // the events of the current press are swallowed (survives a cancel)

    Result handle(std::uint32_t type, std::int64_t keyCode, std::uint64_t flags);

    // The state after a reset from the hardware: the held key, if any, is inert until released.
    static FnHoldState fromHardware(std::uint64_t hardwareFlags);

    bool operator==(const FnHoldState &) const = default;
};

} // namespace orv
