#include "tests/delivery/TextDeliveryFixture.h"

using namespace orv;
using namespace orv::test;

namespace {

// A custom-drawn editor offers no text: it gets the paste unconfirmed, at once, where it is the focused,
// focusable editor of a main window; elsewhere what holds the focus is no place to write.
TEST_F(TextDeliveryTest, aCustomDrawnEditorGetsThePasteButListsDialogsAndUnfocusableObjectsDoNot)
{
    struct Case
    {
        const char *name;
        QString role;
        bool focusable;
        QString windowKind;
        QString containerRole;
        bool pasted;
    };
    const QString canvas = QStringLiteral("AXCanvas");
    const QString standard = QStringLiteral("AXStandardWindow");
    const std::vector<Case> cases{
        {"drawing area", canvas, true, standard, QStringLiteral("AXGroup"), true},
        {"filler", QStringLiteral("AXGroup"), true, standard, QStringLiteral("AXGroup"), true},
        {"in an icon view", canvas, true, standard, QStringLiteral("AXList"), false},
        {"in a tree", QStringLiteral("AXGroup"), true, standard, QStringLiteral("AXOutline"), false},
        {"not focusable", canvas, false, standard, QStringLiteral("AXGroup"), false},
        {"in a dialog", canvas, true, QStringLiteral("AXDialog"), QStringLiteral("AXGroup"), false},
    };
    desktop.enableAccessibilityResult = false;
    desktop.setAttribute(window, QStringLiteral("AXRole"), QStringLiteral("AXWindow"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        desktop.setAttribute(window, QStringLiteral("AXSubrole"), c.windowKind);
        const int container = desktop.addNode(window, c.containerRole, notesProcess);
        const int editor = desktop.addNode(container, c.role, notesProcess);
        desktop.setAttribute(editor, QStringLiteral("AXFocusable"), c.focusable);
        desktop.setAttribute(editor, QStringLiteral("AXWindow"), desktop.handle(window));
        desktop.focus(editor);
        const int pastes = desktop.pasteCount;
        EXPECT_EQ(delivery.prepare(), c.pasted);
        EXPECT_FALSE(delivery.isCapturing());
        const DeliveryResult result = send(QStringLiteral("drawn"));
        EXPECT_EQ(result.outcome, c.pasted ? Outcome::sent : Outcome::copied) << result.message.toStdString();
        EXPECT_EQ(desktop.pasteCount - pastes, c.pasted ? 1 : 0);
        EXPECT_EQ(pasteboard.string(), QStringLiteral("drawn"));
    }
}

// The outcome must not depend on how busy the machine is: focus that reads as nothing for a while (a
// toolkit rebuilding its objects, answers late under load) neither ends the read-back nor the capture.
TEST_F(TextDeliveryTest, focusThatCannotBeReadForAMomentCostsAttemptsNotTheOutcome)
{
    const int field = focusField(QStringLiteral("Hi"), {2, 0});
    delivery.prepare();
    desktop.pasteDelay = 150ms;
    scheduler.schedule(160ms, [&] { desktop.focus(0); });
    scheduler.schedule(260ms, [&] { desktop.focus(field); });
    EXPECT_EQ(send(QStringLiteral("there"), false).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(field), QStringLiteral("Hi there"));

    // An application whose accessibility came up but never showed a focus within the capture's attempts
    // still gets the paste, unconfirmed.
    constexpr qint64 slowProcess = 700;
    const int slowWindow = desktop.addWindow(slowProcess);
    desktop.setApplication(slowProcess, QStringLiteral("Slow"));
    desktop.focus(0);
    ASSERT_TRUE(delivery.prepare());
    scheduler.advance(3s);
    ASSERT_TRUE(delivery.target());
    EXPECT_FALSE(delivery.target()->element);
    EXPECT_EQ(send(QStringLiteral("late"), false).outcome, Outcome::sent);
    (void)slowWindow;
}

} // namespace
