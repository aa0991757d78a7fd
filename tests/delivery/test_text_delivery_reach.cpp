// Delivery into the applications people use: keys still held and our toggle's key grab, applications
// that publish their widgets late or not at all, terminals.
#include "delivery/TargetReader.h"
#include "tests/delivery/TextDeliveryFixture.h"

#include <limits>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

// The dictation keys and our toggle's key grab ---------------------------------------------------

TEST_F(TextDeliveryTest, aCancelWhileTheKeysAreStillHeldRestoresTheClipboardAndPastesNothing)
{
    for (const bool byNewCapture : {false, true}) {
        SCOPED_TRACE(byNewCapture ? "a new dictation" : "the task is cancelled");
        pasteboard.writeFromElsewhere(previousClipboard());
        focusField(u"abc"_s, {3, 0});
        delivery.prepare();
        // A key goes down right after our text reached the clipboard: the paste waits for it.
        pasteboard.onStringWritten = [&] { desktop.keysHeld = true; };
        auto task = delivery.deliver(u"never pasted"_s, true);
        scheduler.advance(200ms);
        ASSERT_FALSE(task.isDone());
        if (byNewCapture)
            delivery.prepare();
        else
            task.cancel();
        EXPECT_EQ(finish(std::move(task)), (DeliveryResult{Outcome::failed, TextDelivery::cancelledMessage()}));
        EXPECT_EQ(pasteboard.contents(), previousClipboard());
        EXPECT_EQ(desktop.pasteCount, 0);
        desktop.keysHeld = false;
        pasteboard.onStringWritten = nullptr;
    }
}

TEST_F(TextDeliveryTest, focusThatIsMissingWhileKeysAreHeldIsWaitedForButFocusThatMovedIsNot)
{
    // The toggle's grab deactivates the window until the keys are let go; focus returns just after.
    const int field = focusField(u"Hi "_s, {3, 0});
    delivery.prepare();
    desktop.focus(0);
    desktop.keysHeld = true;
    scheduler.schedule(80ms, [&] { desktop.keysHeld = false; });
    scheduler.schedule(230ms, [&] { desktop.focus(field); });
    const TimePoint begun = scheduler.now();
    EXPECT_EQ(send(u"there"_s, false).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(field), u"Hi there"_s);
    // The paste follows the returning focus closely, then one read-back pause.
    EXPECT_LE(scheduler.now() - begun, 350ms);

    // Firefox shows the focus on its document until its window is active again: waited for too.
    const int document = desktop.addNode(window, u"AXButton"_s, notesProcess);
    delivery.prepare();
    desktop.focus(document);
    scheduler.schedule(120ms, [&] { desktop.focus(field); });
    EXPECT_EQ(send(u" again"_s, false).outcome, Outcome::inserted);

    // The focus comes back between the first check and the next look: the target is checked again.
    delivery.prepare();
    desktop.focus(0);
    desktop.onFocusRead = [&] {
        desktop.onFocusRead = nullptr;
        desktop.focus(field);
    };
    EXPECT_EQ(send(u"!"_s, false).outcome, Outcome::inserted);

    // Focus in another field is a move: no waiting.
    ASSERT_TRUE(delivery.prepare());
    ASSERT_TRUE(delivery.target()) << "capturing " << delivery.isCapturing();
    focusField(u""_s, {0, 0});
    const TimePoint started = scheduler.now();
    EXPECT_EQ(send(u"x"_s, false).message, TextDelivery::insertionPointChangedMessage());
    EXPECT_EQ(scheduler.now(), started);

    // Focus that stays away is a move too, after a short wait.
    desktop.focus(field);
    delivery.prepare();
    desktop.focus(0);
    EXPECT_EQ(send(u"y"_s, false).message, TextDelivery::insertionPointChangedMessage());
    EXPECT_EQ(desktop.pasteCount, 3);
}

TEST_F(TextDeliveryTest, deferredCaptureWaitsForFocusAndForAToolkitThatPublishesLate)
{
    // Focus missing at the start (a deactivated window) arrives later: captured.
    const int field = focusField(u"Hello"_s, {5, 0});
    desktop.focus(0);
    ASSERT_TRUE(delivery.prepare());
    EXPECT_TRUE(delivery.isCapturing());
    scheduler.advance(300ms);
    desktop.focus(field);
    scheduler.advance(100ms);
    ASSERT_TRUE(delivery.target());
    EXPECT_TRUE(sameElement(delivery.target()->element, desktop.handle(field)));

    // An application that shows nothing until accessibility is switched on publishes its widgets late.
    constexpr qint64 lateProcess = 400;
    desktop.setApplication(lateProcess, u"Late"_s);
    desktop.focus(0);
    ASSERT_TRUE(delivery.prepare());
    EXPECT_TRUE(delivery.isCapturing());
    scheduler.advance(500ms);
    const int lateWindow = desktop.addWindow(lateProcess);
    desktop.setFocusedWindow(lateProcess, lateWindow);
    const int lateField = desktop.addNode(lateWindow, u"AXTextField"_s, lateProcess);
    desktop.setAttribute(lateField, u"AXWindow"_s, desktop.handle(lateWindow));
    desktop.setText(lateField, QString(), {0, 0});
    desktop.focus(lateField);
    scheduler.advance(100ms);
    EXPECT_FALSE(delivery.isCapturing());
    ASSERT_TRUE(delivery.target());
    EXPECT_TRUE(sameElement(delivery.target()->element, desktop.handle(lateField)));
}

// Applications without accessibility and terminals ---------------------------------------------------

TEST_F(TextDeliveryTest, anApplicationWithoutAccessibilityGetsAnUnconfirmedPasteIntoItsWindow)
{
    constexpr qint64 xtermProcess = 500;
    desktop.setApplication(xtermProcess, u"XTerm"_s, true);
    desktop.focus(0);
    // Accessibility is already on, so nothing can be switched on for it: no wait.
    desktop.enableAccessibilityResult = false;
    ASSERT_TRUE(delivery.prepare());
    ASSERT_TRUE(delivery.target());
    EXPECT_FALSE(delivery.target()->element);
    EXPECT_EQ(delivery.targetApplicationName(), u"XTerm"_s);
    EXPECT_EQ(send(u"ls -l"_s), (DeliveryResult{Outcome::sent, TextDelivery::sentUnverifiableMessage(u"XTerm"_s)}));
    EXPECT_EQ(desktop.pasteCount, 1);
    EXPECT_TRUE(desktop.pastedAsTerminal);
    EXPECT_EQ(pasteboard.string(), u"ls -l"_s);
    EXPECT_FALSE(delivery.observation());

    // When accessibility was switched on for it, it gets one wait; the next dictation none.
    constexpr qint64 gameProcess = 600;
    desktop.setApplication(gameProcess, u"Game"_s);
    desktop.enableAccessibilityResult = true;
    ASSERT_TRUE(delivery.prepare());
    scheduler.advance(2600ms);
    EXPECT_TRUE(delivery.isCapturing());
    scheduler.advance(100ms);
    ASSERT_TRUE(delivery.target());
    ASSERT_TRUE(delivery.prepare());
    EXPECT_FALSE(delivery.isCapturing());
    ASSERT_TRUE(delivery.target());

    // The user switched to another application before the text was ready: nothing is pasted there.
    desktop.setApplication(notesProcess, u"Notes"_s);
    EXPECT_EQ(send(u"elsewhere"_s).message, TextDelivery::insertionPointChangedMessage());
    EXPECT_EQ(desktop.pasteCount, 1);
}

TEST_F(TextDeliveryTest, anApplicationWithATreeButNoTextFocusIsNeverPastedInto)
{
    const int button = desktop.addNode(window, u"AXButton"_s, notesProcess);
    desktop.focus(button);
    desktop.enableAccessibilityResult = false;
    EXPECT_FALSE(delivery.prepare());
    EXPECT_FALSE(delivery.target());
    EXPECT_EQ(send(u"kept"_s).outcome, Outcome::copied);
    EXPECT_EQ(desktop.pasteCount, 0);

    // A terminal in front: the message names the keys that paste there.
    desktop.setApplication(notesProcess, u"Terminal"_s, true);
    EXPECT_EQ(send(u"kept"_s).message, TextDelivery::copiedMessage(true));
}

TEST_F(TextDeliveryTest, aTerminalIsPastedIntoWithItsOwnKeysAndReadBack)
{
    const int terminal = focusField(u"$ \n\n"_s, {2, 0});
    desktop.setAttribute(terminal, u"AXSubrole"_s, u"AXTerminal"_s);
    EXPECT_EQ(dictate(u"echo hi"_s, false).outcome, Outcome::inserted);
    EXPECT_TRUE(desktop.pastedAsTerminal);
    EXPECT_EQ(desktop.text(terminal), u"$ echo hi\n\n"_s);

    desktop.removeAttribute(terminal, u"AXSubrole"_s);
    EXPECT_EQ(dictate(u"!"_s, false).outcome, Outcome::inserted);
    EXPECT_FALSE(desktop.pastedAsTerminal);
}

} // namespace

// The edited span is read around an anchor: one whose position makes no sense for the field (a corrupted
// or stale selection) reads nothing, without arithmetic overflow.
TEST_F(TextDeliveryTest, anAnchorOutsideTheFieldReadsNoEditedSpan)
{
    const int field = focusField(u"hello brave world"_s, {6, 5});
    const auto env = std::make_shared<const TextDelivery::Environment>(desktop.environment());
    for (const qint64 location : {std::numeric_limits<qint64>::min() + 1, qint64(-1), qint64(2), qint64(1000)}) {
        TextDelivery::Observation observation;
        observation.target.element = desktop.handle(field);
        observation.target.anchor = TextDelivery::Anchor{{location, 5}, 17, u"hello "_s, u" world"_s, false};
        observation.original = u"brave"_s;
        const auto span = reads::editedSpan(env, observation);
        scheduler.advance(1s);
        ASSERT_TRUE(span.isDone());
        EXPECT_EQ(span.result(), std::nullopt) << location;
    }
}

// Where the desktop puts the text in itself (an input method's commit, typed keys), the user's clipboard
// is left alone when the read-back confirms it; a text that never arrives (an input context swallowed the
// commit and reported success) or that could not be sent ends on the clipboard, never as inserted.
TEST_F(TextDeliveryTest, typedTextIsTrustedOnlyAfterTheReadBackAndOtherwiseEndsOnTheClipboard)
{
    bool sends = true;
    bool arrives = true;
    TextDelivery::Environment env = desktop.environment();
    env.typeText = [&](QString text) -> Task<bool> {
        if (sends && arrives)
            desktop.applyPaste(text);
        co_return sends;
    };
    TextDelivery typing(scheduler, env, ownProcess);
    const int field = focusField(u"Dear "_s, {5, 0});
    auto dictate = [&](const QString &text) {
        typing.prepare();
        return finish(typing.deliver(text, false));
    };

    EXPECT_EQ(dictate(u"Ana"_s), (DeliveryResult{Outcome::inserted, TextDelivery::insertedMessage(u"Notes"_s)}));
    EXPECT_EQ(desktop.text(field), u"Dear Ana"_s);
    EXPECT_EQ(pasteboard.contents(), previousClipboard());
    EXPECT_EQ(desktop.pasteCount, 0);

    arrives = false;
    EXPECT_EQ(dictate(u", hi"_s), (DeliveryResult{Outcome::copied, TextDelivery::sentUnconfirmedMessage(u"Notes"_s)}));
    EXPECT_EQ(desktop.text(field), u"Dear Ana"_s);
    EXPECT_EQ(pasteboard.string(), u", hi"_s);

    sends = false;
    EXPECT_EQ(dictate(u"again"_s), (DeliveryResult{Outcome::copied, TextDelivery::copiedMessage()}));
    EXPECT_EQ(pasteboard.string(), u"again"_s);

    // Typed into a terminal, a line break would be Enter: it goes in as a space.
    const int terminal = focusField(u"$ "_s, {2, 0});
    desktop.setAttribute(terminal, u"AXSubrole"_s, u"AXTerminal"_s);
    sends = true;
    arrives = true;
    EXPECT_EQ(dictate(u"ls\nrm -rf data"_s).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(terminal), u"$ ls rm -rf data"_s);

    sends = false;
    pasteboard.refuseStrings = true; // no clipboard reachable from the background either
    EXPECT_EQ(dictate(u"lost?"_s), (DeliveryResult{Outcome::failed, TextDelivery::clipboardUnavailableMessage()}));
}
