// The hold-key state machine on fuzzed event sequences: every dictation it begins ends exactly once,
// nothing ends that did not begin, and a release of the key always leaves it at rest.
#include "fuzz/FuzzText.h"
#include "shortcuts/FnHoldState.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace orv;
    using S = FnHoldState;
    FuzzedDataProvider input(data, size);
    // Event types, key codes and flags near the ones that matter, and now and then any value.
    static constexpr std::uint32_t types[] = {S::keyDownType, S::flagsChangedType, 11, 0};
    static constexpr std::int64_t codes[] = {S::fnKeyCode, 56, 59, 49, 0, -1};
    static constexpr std::uint64_t flagBits[] = {
        S::fnFlag, S::shiftFlag,          S::controlFlag, S::optionFlag, S::commandFlag, S::capsLockFlag,
        1,         std::uint64_t(1) << 63};

    S state = S::fromHardware(input.ConsumeBool() ? S::fnFlag : 0);
    fuzz::check(!state.isActive && !state.consumedPress, "a reset starts inert");
    bool open = false; // a begin not yet finished or cancelled
    while (input.remaining_bytes() > 0) {
        const std::uint32_t type =
            input.ConsumeBool() ? input.PickValueInArray(types) : input.ConsumeIntegral<std::uint32_t>();
        const std::int64_t code =
            input.ConsumeBool() ? input.PickValueInArray(codes) : input.ConsumeIntegral<std::int64_t>();
        std::uint64_t flags = 0;
        if (input.ConsumeBool()) {
            flags = input.ConsumeIntegral<std::uint64_t>();
        } else {
            const auto bits = input.ConsumeIntegral<std::uint8_t>();
            for (unsigned i = 0; i < 8; ++i)
                if (bits & (1u << i))
                    flags |= flagBits[i];
        }

        const S before = state;
        const S::Result result = state.handle(type, code, flags);
        const bool fnEvent = type == S::flagsChangedType && code == S::fnKeyCode;
        if (result.action == S::Action::begin) {
            fuzz::check(!open, "no second begin while one is open");
            fuzz::check(fnEvent && (flags & S::fnFlag) && !before.isDown, "a begin comes from a press of the key");
            fuzz::check((flags & S::modifierMask) == 0, "a press under a modifier begins nothing");
            fuzz::check(result.swallow, "the press that begins is swallowed");
            open = true;
        } else if (result.action) {
            fuzz::check(open, "only an open dictation finishes or cancels");
            open = false;
        }
        if (!fnEvent && !before.isActive)
            fuzz::check(result == S::Result{}, "other keys pass untouched when nothing is active");
        if (fnEvent && !(flags & S::fnFlag)) {
            fuzz::check(state == S{}, "a release leaves the key at rest");
            fuzz::check(!open, "a release ends the dictation");
        }
        fuzz::check(state.isActive == open, "active exactly while a dictation is open");
        fuzz::check(!state.isActive || (state.isDown && state.consumedPress), "active only while held");
    }
    return 0;
}
