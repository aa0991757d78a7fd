#include "shortcuts/ShortcutKeys.h"
#include "shortcuts/dbus/SessionMonitor.h"
#include "shortcuts/x11/X11KeyTranslator.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace orv {
namespace {

using Kind = X11KeyTranslator::KeyKind;
using Event = GlobalShortcut::TapEvent;

TEST(ShortcutKeys, TogglesParseToOneCanonicalSpellingAndBadOnesSayWhy)
{
    const auto parsed = shortcutkeys::parseToggle(u" control + alt+space "_s);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed.value().name(), u"Ctrl+Alt+Space"_s);
    EXPECT_EQ(shortcutkeys::parseToggle(u"shift+super+d"_s).value().name(), u"Shift+Super+D"_s);
    EXPECT_EQ(shortcutkeys::parseToggle(u"F9"_s).value().name(), u"F9"_s);
    EXPECT_EQ(shortcutkeys::parseToggle(u"shift+pause"_s).value().name(), u"Shift+Pause"_s);
    EXPECT_EQ(shortcutkeys::parseToggle(u"ctrl+alt+f13"_s).value().name(), u"Ctrl+Alt+F13"_s);

    // A key that is typed must come with Ctrl, Alt or Super (a grab would take it from every application); the
    // paste keys and the console switches are taken already.
    for (const char *bad : {"", "Ctrl+", "Ctrl+Alt", "Ctrl++Space", "Space+Ctrl", "Hyperx+Space", "D", "Shift+D",
                            "space", "F0", "F36", "ctrl+v", "Shift+Ctrl+V", "Ctrl+Alt+F9"}) {
        const auto result = shortcutkeys::parseToggle(QString::fromLatin1(bad));
        ASSERT_FALSE(result) << bad;
        EXPECT_TRUE(result.error().endsWith(u'.')) << bad;
    }
    // A hand-edited or planted settings file: nothing of it may reach a terminal or a label as it stands.
    const auto planted = shortcutkeys::parseToggle(u"Ctrl+\x1b]2;pwned\x07D\u202e"_s);
    ASSERT_FALSE(planted);
    EXPECT_FALSE(planted.error().contains(QChar(0x1b)) || planted.error().contains(QChar(0x202e)));
}

class TranslatorTest : public ::testing::Test
{
protected:
    static constexpr std::uint8_t hold = 105, leftCtrl = 37, shiftL = 50, shiftR = 62, alt = 64, super = 133, caps = 66,
                                  letter = 38;
    X11KeyTranslator translator;

    void SetUp() override
    {
        translator.setKeyKind(hold, Kind::hold);
        translator.setKeyKind(leftCtrl, Kind::control);
        translator.setKeyKind(shiftL, Kind::shift);
        translator.setKeyKind(shiftR, Kind::shift);
        translator.setKeyKind(alt, Kind::option);
        translator.setKeyKind(super, Kind::command);
        translator.setKeyKind(caps, Kind::lock);
        translator.setKeyKind(63, Kind::option); // an X key code equal to the Fn code must not pass for it
    }

    static bool same(const std::optional<Event> &a, const Event &b)
    {
        return a && a->type == b.type && a->keyCode == b.keyCode && a->flags == b.flags;
    }
};

TEST_F(TranslatorTest, KeysBecomeTheTapEventsOfTheHoldStateMachine)
{
    const std::uint64_t fn = FnHoldState::fnFlag;
    EXPECT_TRUE(same(translator.translate(hold, true), {12, 63, fn}));
    EXPECT_TRUE(same(translator.translate(letter, true), {10, 0x100 + letter, fn}));
    EXPECT_FALSE(translator.translate(letter, false)) << "key-up is not a tap event";
    EXPECT_TRUE(same(translator.translate(shiftL, true), {12, 0x100 + shiftL, fn | FnHoldState::shiftFlag}));
    EXPECT_TRUE(same(translator.translate(shiftR, true), {12, 0x100 + shiftR, fn | FnHoldState::shiftFlag}));
    EXPECT_TRUE(same(translator.translate(shiftL, false), {12, 0x100 + shiftL, fn | FnHoldState::shiftFlag}))
        << "Shift stays while the other Shift is held";
    EXPECT_TRUE(same(translator.translate(shiftR, false), {12, 0x100 + shiftR, fn}));
    EXPECT_TRUE(same(translator.translate(caps, true), {12, 0x100 + caps, fn}));
    EXPECT_TRUE(same(translator.translate(63, true), {12, 0x100 + 63, fn | FnHoldState::optionFlag}));
    EXPECT_TRUE(same(translator.translate(hold, false), {12, 63, FnHoldState::optionFlag}));
}

TEST_F(TranslatorTest, ASecondReleaseIsDroppedAndTheHoldKeyIsNotItsOwnControl)
{
    EXPECT_TRUE(same(translator.translate(hold, true), {12, 63, FnHoldState::fnFlag}));
    EXPECT_TRUE(translator.translate(hold, false));
    EXPECT_FALSE(translator.translate(hold, false)) << "XI2 sometimes reports a release twice";
    EXPECT_FALSE(translator.translate(shiftL, false));

    FnHoldState state;
    translator.translate(leftCtrl, true);
    const auto underControl = translator.translate(hold, true);
    ASSERT_TRUE(underControl);
    EXPECT_FALSE(state.handle(underControl->type, underControl->keyCode, underControl->flags).action)
        << "a press under the other Ctrl begins nothing";
}

TEST_F(TranslatorTest, SeededKeyMapsGiveFlagsWithoutChangingTracking)
{
    char keys[32] = {};
    keys[hold / 8] |= char(1 << (hold % 8));
    keys[super / 8] |= char(1 << (super % 8));
    EXPECT_EQ(translator.flagsOf(keys), FnHoldState::fnFlag | FnHoldState::commandFlag);
    EXPECT_EQ(translator.flags(), 0u);
    translator.setPressedKeys(keys);
    EXPECT_EQ(translator.flags(), FnHoldState::fnFlag | FnHoldState::commandFlag);
    EXPECT_TRUE(translator.translate(hold, false)) << "a key seeded as down has a release";
}

TEST(SessionMonitor, ReportsOneSuspendForTheFirstReasonAndOneResumeWhenTheLastIsGone)
{
    SessionMonitor monitor;
    QStringList log;
    monitor.noteLocked(true);
    EXPECT_TRUE(log.isEmpty()) << "nothing is reported before start";
    monitor.start([&] { log << u"suspend"_s; }, [&] { log << u"resume"_s; });
    monitor.noteLocked(true);
    monitor.noteSleeping(true);
    monitor.noteSleeping(false); // woke, still locked
    EXPECT_EQ(log, QStringList{u"suspend"_s});
    monitor.noteScreenSaver(true);
    monitor.noteLocked(false);
    EXPECT_TRUE(monitor.isSuspended());
    monitor.noteScreenSaver(false);
    EXPECT_EQ(log, (QStringList{u"suspend"_s, u"resume"_s}));
    monitor.noteActive(false);
    monitor.noteActive(true);
    EXPECT_EQ(log.size(), 4);
    monitor.stop();
    monitor.noteLocked(true);
    EXPECT_EQ(log.size(), 4);
}

} // namespace
} // namespace orv
