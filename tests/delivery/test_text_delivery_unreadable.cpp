#include "tests/delivery/TextDeliveryFixture.h"

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

// A custom-drawn editor offers no text: it gets the paste unconfirmed, at once, where it is the focused,
// focusable editor of a main window; elsewhere what holds the focus is no place to write.
TEST_F(TextDeliveryTest, aCustomDrawnEditorGetsThePasteButListsDialogsAndUnfocusableObjectsDoNot)
{
    const QString canvas = u"AXCanvas"_s;
    const QString standard = u"AXStandardWindow"_s;
    const std::vector<std::tuple<const char *, QString, bool, QString, QString, bool>> cases{
        {"drawing area", canvas, true, standard, u"AXGroup"_s, true},
        {"filler", u"AXGroup"_s, true, standard, u"AXGroup"_s, true},
        {"in an icon view", canvas, true, standard, u"AXList"_s, false},
        {"in a tree", u"AXGroup"_s, true, standard, u"AXOutline"_s, false},
        {"not focusable", canvas, false, standard, u"AXGroup"_s, false},
        {"in a dialog", canvas, true, u"AXDialog"_s, u"AXGroup"_s, false},
    };
    desktop.enableAccessibilityResult = false;
    desktop.setAttribute(window, u"AXRole"_s, u"AXWindow"_s);
    for (const auto &[name, role, focusable, windowKind, containerRole, pasted] : cases) {
        SCOPED_TRACE(name);
        desktop.setAttribute(window, u"AXSubrole"_s, windowKind);
        const int container = desktop.addNode(window, containerRole, notesProcess);
        const int editor = desktop.addNode(container, role, notesProcess);
        desktop.setAttribute(editor, u"AXFocusable"_s, focusable);
        desktop.setAttribute(editor, u"AXWindow"_s, desktop.handle(window));
        desktop.focus(editor);
        const int pastes = desktop.pasteCount;
        EXPECT_EQ(delivery.prepare(), pasted);
        EXPECT_FALSE(delivery.isCapturing());
        const DeliveryResult result = send(u"drawn"_s);
        EXPECT_EQ(result.outcome, pasted ? Outcome::sent : Outcome::copied) << result.message.toStdString();
        EXPECT_EQ(desktop.pasteCount - pastes, pasted ? 1 : 0);
        EXPECT_EQ(pasteboard.string(), u"drawn"_s);
    }
}

// The outcome must not depend on how busy the machine is: focus that reads as nothing for a while (a
// toolkit rebuilding its objects, answers late under load) neither ends the read-back nor the capture.
TEST_F(TextDeliveryTest, focusThatCannotBeReadForAMomentCostsAttemptsNotTheOutcome)
{
    const int field = focusField(u"Hi"_s, {2, 0});
    delivery.prepare();
    desktop.pasteDelay = 150ms;
    scheduler.schedule(160ms, [&] { desktop.focus(0); });
    scheduler.schedule(260ms, [&] { desktop.focus(field); });
    EXPECT_EQ(send(u"there"_s, false).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(field), u"Hi there"_s);

    // An application whose accessibility came up but never showed a focus within the capture's attempts
    // still gets the paste, unconfirmed.
    constexpr qint64 slowProcess = 700;
    desktop.addWindow(slowProcess);
    desktop.setApplication(slowProcess, u"Slow"_s);
    desktop.focus(0);
    ASSERT_TRUE(delivery.prepare());
    scheduler.advance(3s);
    ASSERT_TRUE(delivery.target());
    EXPECT_FALSE(delivery.target()->element);
    EXPECT_EQ(send(u"late"_s, false).outcome, Outcome::sent);
}

} // namespace
