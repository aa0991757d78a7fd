#include "shortcuts/FnHoldState.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace orv {
namespace {

using Action = FnHoldState::Action;
using S = FnHoldState;

constexpr std::uint64_t fn = S::fnFlag;
constexpr std::uint64_t caps = S::capsLockFlag;
constexpr std::int64_t otherKey = 0x100 + 38;
constexpr std::int64_t otherModifierKey = 0x100 + 50;
const std::optional<Action> none;

struct Event
{
    const char *name;
    std::uint32_t type;
    std::int64_t keyCode;
    std::uint64_t flags;
};

const Event fnDown{"Fn down", 12, 63, fn};
const Event fnDownCaps{"Fn down with Caps Lock", 12, 63, fn | caps};
const Event fnDownShift{"Fn down with Shift", 12, 63, fn | S::shiftFlag};
const Event fnUp{"Fn up", 12, 63, 0};
const Event keyDown{"key down", 10, otherKey, fn};
const Event keyDown63{"key down with code 63", 10, 63, fn};
const Event modifierDown{"Control pressed", 12, otherModifierKey, fn | S::controlFlag};
const Event modifierUp{"modifier released", 12, otherModifierKey, fn};
const Event capsToggled{"Caps Lock toggled", 12, otherModifierKey, fn | caps};
const Event fnUpShift{"Fn up with Shift", 12, 63, S::shiftFlag};
const Event keyDownOption{"key down with Option", 10, otherKey, fn | S::optionFlag};

FnHoldState state(const char *bits)
{
    return FnHoldState{bits[0] == '1', bits[1] == '1', bits[2] == '1'};
}

std::string bitsOf(const FnHoldState &s)
{
    return std::string{s.isDown ? '1' : '0', s.isActive ? '1' : '0', s.consumedPress ? '1' : '0'};
}

// The rows where the hold key's rules are decided; bits are isDown, isActive, consumedPress.
TEST(FnHoldState, TheDecidingTransitions)
{
    const std::tuple<const char *, Event, const char *, std::optional<Action>, bool> rows[] = {
        {"000", fnDown, "111", Action::begin, true},
        {"000", fnDownCaps, "111", Action::begin, true}, // Caps Lock is no modifier
        {"000", fnDownShift, "100", none, false},        // a chord belongs to the application
        {"100", fnDown, "100", none, false},             // held since before a reset: inert
        {"111", fnDownShift, "111", none, true},
        {"111", fnUp, "000", Action::finish, true},
        {"111", keyDown, "101", Action::cancel, false},
        {"111", keyDown63, "101", Action::cancel, false},
        {"111", modifierDown, "101", Action::cancel, false},
        {"111", modifierUp, "111", none, false},
        {"111", capsToggled, "111", none, false},
        {"101", fnUp, "000", none, true}, // the cancelled press's release is still swallowed
        {"101", keyDown, "101", none, false},
    };
    for (const auto &[before, event, after, action, swallow] : rows) {
        SCOPED_TRACE(std::string(before) + " + " + event.name);
        FnHoldState s = state(before);
        const auto result = s.handle(event.type, event.keyCode, event.flags);
        EXPECT_EQ(bitsOf(s), after);
        EXPECT_EQ(result, (FnHoldState::Result{action, swallow}));
    }
}

// Every sequence of up to five events from the initial state: the invariant holds, other keys are never
// swallowed, and each press yields begin followed by at most one finish or cancel.
TEST(FnHoldState, EverySequenceKeepsTheInvariantAndPairsBeginWithOneEnd)
{
    const Event events[] = {fnDown,    fnDownCaps,   fnDownShift, fnUp,        fnUpShift,    keyDown,
                            keyDown63, modifierDown, modifierUp,  capsToggled, keyDownOption};
    int sequences = 0;
    // `open`: a begin without its end yet.
    const std::function<void(const FnHoldState &, bool, int)> walk = [&](const FnHoldState &before, bool open,
                                                                         int length) {
        for (const Event &e : events) {
            if (::testing::Test::HasFatalFailure())
                return; // one broken sequence is enough
            FnHoldState s = before;
            const auto result = s.handle(e.type, e.keyCode, e.flags);
            ASSERT_TRUE(s.isDown || (!s.isActive && !s.consumedPress));
            ASSERT_TRUE(!result.swallow || (e.type == 12 && e.keyCode == 63)) << e.name;
            ASSERT_TRUE(!result.action || (result.action == Action::begin) == !open);
            const bool stillOpen = result.action ? result.action == Action::begin : open;
            ASSERT_EQ(stillOpen, s.isActive);
            ++sequences;
            if (length < 5)
                walk(s, stillOpen, length + 1);
        }
    };
    walk(FnHoldState{}, false, 1);
    EXPECT_GT(sequences, 100000);
}

TEST(FnHoldState, ResetFromHardwareLeavesAHeldKeyInertUntilReleased)
{
    FnHoldState s = FnHoldState::fromHardware(fn | S::shiftFlag);
    EXPECT_EQ(bitsOf(s), "100");
    EXPECT_EQ(s.handle(12, 63, fn), (FnHoldState::Result{none, false}));
    EXPECT_EQ(s.handle(12, 63, 0), (FnHoldState::Result{none, false}));
    EXPECT_EQ(s.handle(12, 63, fn), (FnHoldState::Result{Action::begin, true}));
    EXPECT_EQ(bitsOf(FnHoldState::fromHardware(S::commandFlag | caps)), "000");
}

} // namespace
} // namespace orv
