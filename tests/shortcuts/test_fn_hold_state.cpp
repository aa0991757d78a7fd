#include "shortcuts/FnHoldState.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace orv {
namespace {

using Action = FnHoldState::Action;
using S = FnHoldState;

constexpr std::uint64_t fn = S::fnFlag;
constexpr std::uint64_t caps = S::capsLockFlag;
constexpr std::int64_t otherKey = 0x100 + 38;
constexpr std::int64_t otherModifierKey = 0x100 + 50;

struct Event
{
    const char *name;
    std::uint32_t type;
    std::int64_t keyCode;
    std::uint64_t flags;
};

// Every kind of event the table tells apart; each "mods" kind is exercised once per modifier bit.
enum Kind
{
    fnDownClean,
    fnDownCapsLock,
    fnDownMods,
    fnUp,
    fnUpMods,
    keyDown,
    keyDownMods,
    keyDownCode63,
    otherFlagsMods,
    otherFlagsNoMods,
    otherFlagsCapsLock,
    kindCount
};

std::vector<Event> eventsOf(Kind kind)
{
    const std::uint64_t mods[] = {S::shiftFlag, S::controlFlag, S::optionFlag, S::commandFlag};
    std::vector<Event> events;
    auto eachMod = [&](const char *name, std::uint32_t type, std::int64_t code, std::uint64_t base) {
        for (std::uint64_t mod : mods)
            events.push_back({name, type, code, base | mod});
    };
    switch (kind) {
    case fnDownClean:
        return {{"Fn down", 12, 63, fn}};
    case fnDownCapsLock:
        return {{"Fn down with Caps Lock", 12, 63, fn | caps}};
    case fnDownMods:
        eachMod("Fn down with a modifier", 12, 63, fn);
        return events;
    case fnUp:
        return {{"Fn up", 12, 63, 0}};
    case fnUpMods:
        eachMod("Fn up with a modifier", 12, 63, 0);
        return events;
    case keyDown:
        return {{"key down", 10, otherKey, fn}};
    case keyDownMods:
        eachMod("key down with a modifier", 10, otherKey, fn);
        return events;
    case keyDownCode63:
        return {{"key down with code 63", 10, 63, fn}};
    case otherFlagsMods:
        eachMod("modifier pressed", 12, otherModifierKey, fn);
        return events;
    case otherFlagsNoMods:
        return {{"modifier released", 12, otherModifierKey, fn}};
    case otherFlagsCapsLock:
        return {{"Caps Lock toggled", 12, otherModifierKey, fn | caps}};
    case kindCount:
        break;
    }
    return events;
}

FnHoldState state(const char *bits)
{
    return FnHoldState{bits[0] == '1', bits[1] == '1', bits[2] == '1'};
}

std::string bitsOf(const FnHoldState &s)
{
    return std::string{s.isDown ? '1' : '0', s.isActive ? '1' : '0', s.consumedPress ? '1' : '0'};
}

struct Row
{
    const char *before;
    Kind kind;
    const char *after;
    std::optional<Action> action;
    bool swallow;
};

const std::optional<Action> none;

// The transition table, one row per reachable state and event kind.
const std::vector<Row> table = {
    {"000", fnDownClean, "111", Action::begin, true},
    {"000", fnDownCapsLock, "111", Action::begin, true},
    {"000", fnDownMods, "100", none, false},
    {"000", fnUp, "000", none, false},
    {"000", fnUpMods, "000", none, false},
    {"000", keyDown, "000", none, false},
    {"000", keyDownMods, "000", none, false},
    {"000", keyDownCode63, "000", none, false},
    {"000", otherFlagsMods, "000", none, false},
    {"000", otherFlagsNoMods, "000", none, false},
    {"000", otherFlagsCapsLock, "000", none, false},

    {"100", fnDownClean, "100", none, false},
    {"100", fnDownCapsLock, "100", none, false},
    {"100", fnDownMods, "100", none, false},
    {"100", fnUp, "000", none, false},
    {"100", fnUpMods, "000", none, false},
    {"100", keyDown, "100", none, false},
    {"100", keyDownMods, "100", none, false},
    {"100", keyDownCode63, "100", none, false},
    {"100", otherFlagsMods, "100", none, false},
    {"100", otherFlagsNoMods, "100", none, false},
    {"100", otherFlagsCapsLock, "100", none, false},

    {"111", fnDownClean, "111", none, true},
    {"111", fnDownCapsLock, "111", none, true},
    {"111", fnDownMods, "111", none, true},
    {"111", fnUp, "000", Action::finish, true},
    {"111", fnUpMods, "000", Action::finish, true},
    {"111", keyDown, "101", Action::cancel, false},
    {"111", keyDownMods, "101", Action::cancel, false},
    {"111", keyDownCode63, "101", Action::cancel, false},
    {"111", otherFlagsMods, "101", Action::cancel, false},
    {"111", otherFlagsNoMods, "111", none, false},
    {"111", otherFlagsCapsLock, "111", none, false},

    {"101", fnDownClean, "101", none, true},
    {"101", fnDownCapsLock, "101", none, true},
    {"101", fnDownMods, "101", none, true},
    {"101", fnUp, "000", none, true},
    {"101", fnUpMods, "000", none, true},
    {"101", keyDown, "101", none, false},
    {"101", keyDownMods, "101", none, false},
    {"101", keyDownCode63, "101", none, false},
    {"101", otherFlagsMods, "101", none, false},
    {"101", otherFlagsNoMods, "101", none, false},
    {"101", otherFlagsCapsLock, "101", none, false},
};

TEST(FnHoldState, EveryReachableStateAndEveryEventKindFollowTheTable)
{
    const std::array<const char *, 4> reachable = {"000", "100", "111", "101"};
    for (const char *before : reachable) {
        for (int k = 0; k < kindCount; ++k) {
            const auto row = std::find_if(table.begin(), table.end(),
                                          [&](const Row &r) { return std::string(r.before) == before && r.kind == k; });
            ASSERT_NE(row, table.end()) << "no row for state " << before << " and event kind " << k;
            for (const Event &event : eventsOf(static_cast<Kind>(k))) {
                FnHoldState s = state(before);
                const FnHoldState::Result result = s.handle(event.type, event.keyCode, event.flags);
                const std::string where = std::string(before) + " + " + event.name;
                EXPECT_EQ(bitsOf(s), row->after) << where;
                EXPECT_EQ(result.action, row->action) << where;
                EXPECT_EQ(result.swallow, row->swallow) << where;
            }
        }
    }
}

// Every sequence of up to five events from the initial state: the invariant holds, other keys are never
// swallowed, and each press yields begin followed by at most one finish or cancel.
TEST(FnHoldState, EverySequenceKeepsTheInvariantAndPairsBeginWithOneEnd)
{
    std::vector<Event> events;
    for (int k = 0; k < kindCount; ++k) {
        const auto of = eventsOf(static_cast<Kind>(k));
        events.push_back(of.front());
    }
    const int n = static_cast<int>(events.size());
    int sequences = 0;
    std::vector<int> index(5, 0);
    for (int length = 1; length <= 5; ++length) {
        std::fill(index.begin(), index.end(), 0);
        while (true) {
            FnHoldState s;
            bool open = false; // a begin without its end yet
            for (int i = 0; i < length; ++i) {
                const Event &e = events[index[i]];
                const auto result = s.handle(e.type, e.keyCode, e.flags);
                const bool fnEvent = e.type == 12 && e.keyCode == 63;
                ASSERT_TRUE(s.isDown || (!s.isActive && !s.consumedPress));
                if (!fnEvent) {
                    ASSERT_FALSE(result.swallow) << e.name;
                }
                if (result.action == Action::begin) {
                    ASSERT_FALSE(open);
                    open = true;
                } else if (result.action) {
                    ASSERT_TRUE(open);
                    open = false;
                }
                ASSERT_EQ(open, s.isActive);
            }
            ++sequences;
            int pos = length - 1;
            while (pos >= 0 && ++index[pos] == n)
                index[pos--] = 0;
            if (pos < 0)
                break;
        }
    }
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
