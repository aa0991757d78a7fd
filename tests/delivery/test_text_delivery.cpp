#include "tests/delivery/TextDeliveryFixture.h"

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

namespace {

// Capture ----------------------------------------------------------------------------------------

TEST_F(TextDeliveryTest, secureDisabledAndProtectedFieldsOurOwnWindowsAndAnUntrustedDesktopAreNeverTargeted)
{
    const std::tuple<const char *, bool, QString, AttributeValue> cases[] = {
        {"secure subrole", false, u"AXSubrole"_s, u"AXSecureTextField"_s},
        {"lower-case secure role of an ancestor", true, u"AXRole"_s, u"passwordsecurepane"_s},
        {"secure in a subrole", true, u"AXSubrole"_s, u"MySECUREBox"_s},
        {"disabled container", true, u"AXEnabled"_s, false},
        {"protected content", false, u"AXProtectedContent"_s, true},
        {"AXSecure", true, u"AXSecure"_s, true},
    };
    for (const auto &[name, onContainer, attribute, value] : cases) {
        SCOPED_TRACE(name);
        const int container = desktop.addNode(window, u"AXGroup"_s, notesProcess);
        const int field = desktop.addNode(container, u"AXTextField"_s, notesProcess);
        desktop.setText(field, u"hunter2"_s, {7, 0});
        desktop.focus(field);
        desktop.setAttribute(onContainer ? container : field, attribute, value);
        desktop.enableAccessibilityResult = false;
        EXPECT_FALSE(delivery.prepare());
        EXPECT_FALSE(delivery.target());
        EXPECT_EQ(send(u"secret"_s),
                  (DeliveryResult{Outcome::copied, u"Copied. Click a text field and paste with Ctrl+V."_s}));
        EXPECT_EQ(desktop.textReads(field), 0);
        EXPECT_EQ(desktop.pasteCount, 0);
    }
    // A wrong-typed AXEnabled does not count as disabled.
    const int plain = focusField(u"ok"_s, {2, 0});
    desktop.setAttribute(plain, u"AXEnabled"_s, u"no"_s);
    EXPECT_TRUE(delivery.prepare());
    EXPECT_TRUE(delivery.target());

    desktop.setApplication(ownProcess, u"Orvanta"_s);
    EXPECT_FALSE(delivery.prepare());
    desktop.setApplication(notesProcess, u"Notes"_s);
    desktop.trusted = false;
    EXPECT_FALSE(delivery.prepare());
    EXPECT_TRUE(delivery.targetApplicationName().isEmpty());
}

TEST_F(TextDeliveryTest, editableAncestorGroupIsAcceptedButAPlainGroupIsNot)
{
    const int group = focusField(u"rich text"_s, {4, 0}, u"AXGroup"_s);
    const int run = desktop.addNode(group, u"AXStaticText"_s, notesProcess);
    desktop.enableAccessibilityResult = false;
    EXPECT_FALSE(delivery.prepare());

    desktop.setAttribute(run, u"AXEditableAncestor"_s, desktop.handle(group));
    desktop.focus(run);
    ASSERT_TRUE(delivery.prepare());
    ASSERT_TRUE(delivery.target());
    EXPECT_TRUE(sameElement(delivery.target()->element, desktop.handle(group)));
}

TEST_F(TextDeliveryTest, anchorTakesUpTo64UnitsOfContextAndDropsHugeSelections)
{
    const QString hundred = u"abcdefghijklmnopqrstuvwxyz"_s.repeated(4).left(100);
    const auto anchor = [&] {
        delivery.prepare();
        return delivery.target() ? delivery.target()->anchor : std::nullopt;
    };
    const int field = focusField(hundred, {10, 0});
    EXPECT_EQ(anchor(), (TextDelivery::Anchor{{10, 0}, 100, hundred.left(10), hundred.mid(10, 64), false}));
    desktop.setSelection(field, {100, 0});
    EXPECT_EQ(anchor(), (TextDelivery::Anchor{{100, 0}, 100, hundred.right(64), QString(), true}));

    // A failing range read falls back to the value string.
    desktop.stringForRangeWorks = false;
    EXPECT_TRUE(anchor());

    const QString big(9000, 'x'_L1);
    desktop.setText(field, big, {0, 8192});
    EXPECT_TRUE(anchor());
    desktop.setSelection(field, {0, 8193});
    ASSERT_TRUE(delivery.prepare());
    ASSERT_TRUE(delivery.target());
    EXPECT_FALSE(delivery.target()->anchor);
    EXPECT_EQ(delivery.target()->selection, (TextRange{0, 8193}));

    // Text with characters outside the basic plane is counted in UTF-16 units.
    desktop.setText(field, u"ab😀cd"_s, {4, 0});
    EXPECT_EQ(anchor(), (TextDelivery::Anchor{{4, 0}, 6, u"ab😀"_s, u"cd"_s, false}));
}

TEST_F(TextDeliveryTest, deferredCaptureRetriesAfterSwitchingAccessibilityOnAndStopsWhenFocusMoves)
{
    const int field = focusField(u"hello"_s, {5, 0});
    desktop.removeAttribute(field, u"AXRole"_s);
    ASSERT_TRUE(delivery.prepare());
    EXPECT_TRUE(delivery.isCapturing());
    EXPECT_EQ(desktop.enableCalls, 1);
    EXPECT_EQ(delivery.targetApplicationName(), u"Notes"_s);
    scheduler.advance(250ms);
    desktop.setAttribute(field, u"AXRole"_s, u"AXTextArea"_s);
    scheduler.advance(100ms);
    EXPECT_FALSE(delivery.isCapturing());
    ASSERT_TRUE(delivery.target());

    // Accessibility is switched on once per process.
    desktop.removeAttribute(field, u"AXRole"_s);
    ASSERT_TRUE(delivery.prepare());
    EXPECT_EQ(desktop.enableCalls, 1);
    scheduler.advance(150ms);
    focusField(u"elsewhere"_s, {0, 0});
    scheduler.advance(100ms);
    EXPECT_FALSE(delivery.isCapturing());
    desktop.setAttribute(field, u"AXRole"_s, u"AXTextArea"_s);
    EXPECT_FALSE(delivery.target());

    // A bare container named as focused while the window is deactivated (Firefox under the toggle's key
    // grab) is no place the user moved on from: the field the focus comes back to is captured.
    const int chrome = desktop.addNode(window, u"AXGroup"_s, notesProcess);
    desktop.focus(chrome);
    ASSERT_TRUE(delivery.prepare());
    scheduler.advance(150ms);
    EXPECT_TRUE(delivery.isCapturing());
    desktop.focus(field);
    scheduler.advance(100ms);
    ASSERT_TRUE(delivery.target());
    EXPECT_TRUE(sameElement(delivery.target()->element, desktop.handle(field)));

    // Without a change the attempts end after 27 pauses.
    desktop.focus(field);
    desktop.removeAttribute(field, u"AXRole"_s);
    ASSERT_TRUE(delivery.prepare());
    scheduler.advance(2600ms);
    EXPECT_TRUE(delivery.isCapturing());
    scheduler.advance(100ms);
    EXPECT_FALSE(delivery.isCapturing());
    EXPECT_FALSE(delivery.target());
}

TEST_F(TextDeliveryTest, aDeliveryWaitsForALateCaptureUntilItArrivesOrIsCancelled)
{
    const int field = focusField(u"Dear "_s, {5, 0});
    desktop.removeAttribute(field, u"AXRole"_s);
    ASSERT_TRUE(delivery.prepare());
    auto task = delivery.deliver(u"Sam"_s, false);
    scheduler.advance(300ms);
    EXPECT_FALSE(task.isDone());
    desktop.setAttribute(field, u"AXRole"_s, u"AXTextArea"_s);
    EXPECT_EQ(finish(std::move(task)), (DeliveryResult{Outcome::inserted, TextDelivery::insertedMessage(u"Notes"_s)}));
    EXPECT_EQ(desktop.text(field), u"Dear Sam"_s);

    // Cancelled while it waits: nothing is pasted and the user's clipboard stays.
    desktop.removeAttribute(field, u"AXRole"_s);
    delivery.prepare();
    auto waiting = delivery.deliver(u"y"_s, true);
    scheduler.advance(200ms);
    delivery.cancelCapture();
    EXPECT_EQ(finish(std::move(waiting)), (DeliveryResult{Outcome::failed, TextDelivery::cancelledMessage()}));
    EXPECT_EQ(pasteboard.contents(), previousClipboard());

    // Cancelled after the keystroke: the read-back stops and the text stays on the clipboard.
    desktop.setAttribute(field, u"AXRole"_s, u"AXTextArea"_s);
    delivery.prepare();
    auto cancelled = delivery.deliver(u"z"_s, true);
    cancelled.cancel();
    EXPECT_EQ(finish(std::move(cancelled)).outcome, Outcome::sent);
    EXPECT_EQ(pasteboard.string(), u" z"_s);
    EXPECT_FALSE(delivery.observation());
}

// Insertion and fallbacks --------------------------------------------------------------------------

TEST_F(TextDeliveryTest, confirmedInsertionRestoresTheReadableClipboardUnlessAnotherWriterTookIt)
{
    const int field = focusField(u"Hi "_s, {3, 0});
    desktop.pasteDelay = 250ms;
    delivery.prepare();
    const TimePoint started = scheduler.now();
    EXPECT_EQ(send(u"there"_s, false), (DeliveryResult{Outcome::inserted, TextDelivery::insertedMessage(u"Notes"_s)}));
    EXPECT_NEAR(secondsBetween(started, scheduler.now()), 0.3, 0.011);
    EXPECT_EQ(desktop.text(field), u"Hi there"_s);
    EXPECT_EQ(pasteboard.contents(), previousClipboard());
    EXPECT_EQ(desktop.pasteCount, 1);
    EXPECT_FALSE(delivery.target()) << "a delivery consumes the target";

    // A second delivery without a new capture falls back to the clipboard.
    EXPECT_EQ(send(u"again"_s, false), (DeliveryResult{Outcome::copied, TextDelivery::copiedMessage()}));
    EXPECT_EQ(pasteboard.string(), u"again"_s);

    // Types that cannot be read are left out of the restore.
    pasteboard.writeFromElsewhere(previousClipboard());
    pasteboard.unreadableTypes = {u"image/png"_s};
    EXPECT_EQ(dictate(u"!"_s, false).outcome, Outcome::inserted);
    EXPECT_EQ(pasteboard.contents(), (QList<Pasteboard::Item>{previousClipboard().first(), {}}));

    // What another writer put there during the verification stays.
    delivery.prepare();
    auto task = delivery.deliver(u"?"_s, false);
    scheduler.advance(50ms);
    const QList<Pasteboard::Item> theirs{{{test::FakePasteboard::plainType(), "copied by the user"}}};
    pasteboard.writeFromElsewhere(theirs);
    EXPECT_EQ(finish(std::move(task)).outcome, Outcome::inserted);
    EXPECT_EQ(pasteboard.contents(), theirs);
}

// A read-back that never finds the text (a caret left where it was, a paste that never applied) ends after
// twenty tries as sent, the text on the clipboard.
TEST_F(TextDeliveryTest, aReplacedSelectionIsConfirmedOnlyWhenContextAndCaretMatch)
{
    const int field = focusField(u"hello world"_s, {6, 5});
    EXPECT_EQ(dictate(u"there"_s).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(field), u"hello there"_s);

    desktop.setText(field, u"hello world"_s, {6, 5});
    desktop.pasteMovesCaret = false;
    const TimePoint started = scheduler.now();
    EXPECT_EQ(dictate(u"there"_s).outcome, Outcome::sent);
    EXPECT_NEAR(secondsBetween(started, scheduler.now()), 2.0, 0.011);
    EXPECT_EQ(pasteboard.string(), u"there"_s);
    EXPECT_FALSE(delivery.observation());
}

TEST_F(TextDeliveryTest, lineBreaksReachTextAreasAndBecomeSpacesInOneLineFields)
{
    const int area = focusField(QString(), {0, 0});
    EXPECT_EQ(dictate(u"Thanks\n\nSee you"_s).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(area), u"Thanks\n\nSee you"_s);
    const int field = focusField(QString(), {0, 0}, u"AXTextField"_s);
    EXPECT_EQ(dictate(u"Thanks \n\n See you,\nbye"_s).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(field), u"Thanks See you, bye"_s);
}

TEST_F(TextDeliveryTest, everyFallbackOfTheFailureTable)
{
    const QString changed = TextDelivery::insertionPointChangedMessage();

    // Empty text, even without a target; the clipboard is untouched.
    EXPECT_EQ(send(QString()), (DeliveryResult{Outcome::failed, TextDelivery::nothingToInsertMessage()}));
    EXPECT_EQ(pasteboard.contents(), previousClipboard());

    // The clipboard refuses the text while there is no target: the user's clipboard stays.
    pasteboard.refuseStrings = true;
    EXPECT_EQ(send(u"t0"_s), (DeliveryResult{Outcome::failed, TextDelivery::clipboardUnavailableMessage()}));
    EXPECT_EQ(pasteboard.contents(), previousClipboard());
    pasteboard.refuseStrings = false;

    // Not trusted.
    const int field = focusField(u"abc"_s, {3, 0});
    delivery.prepare();
    desktop.trusted = false;
    EXPECT_EQ(send(u"t1"_s), (DeliveryResult{Outcome::copied, TextDelivery::copiedMessage()}));
    EXPECT_EQ(pasteboard.string(), u"t1"_s);
    desktop.trusted = true;

    // Caret moved between capture and delivery.
    delivery.prepare();
    desktop.setSelection(field, {1, 0});
    EXPECT_EQ(send(u"t2"_s), (DeliveryResult{Outcome::copied, changed}));
    EXPECT_EQ(pasteboard.string(), u"t2"_s);

    // Focus moved to another window right after the clipboard write.
    desktop.setSelection(field, {3, 0});
    delivery.prepare();
    const int otherWindow = desktop.addWindow(notesProcess);
    pasteboard.onStringWritten = [&] {
        desktop.setAttribute(field, u"AXWindow"_s, desktop.handle(otherWindow));
        pasteboard.onStringWritten = nullptr;
    };
    EXPECT_EQ(send(u"t3"_s), (DeliveryResult{Outcome::copied, changed}));
    EXPECT_EQ(pasteboard.string(), u"t3"_s);
    EXPECT_EQ(desktop.pasteCount, 0);
    desktop.setAttribute(field, u"AXWindow"_s, desktop.handle(window));

    // The clipboard refuses the text: the snapshot goes back.
    pasteboard.writeFromElsewhere(previousClipboard());
    delivery.prepare();
    pasteboard.refuseStrings = true;
    EXPECT_EQ(send(u"t4"_s), (DeliveryResult{Outcome::failed, TextDelivery::clipboardUnavailableMessage()}));
    EXPECT_EQ(pasteboard.contents(), previousClipboard());
    pasteboard.refuseStrings = false;

    // The keystroke could not be posted.
    delivery.prepare();
    desktop.pastePosted = false;
    EXPECT_EQ(send(u"t5"_s), (DeliveryResult{Outcome::copied, TextDelivery::pasteNotPostedMessage()}));
    EXPECT_EQ(pasteboard.string(), u" t5"_s);
    desktop.pastePosted = true;

    // No anchor: sent without confirmation. The application's own name reaches the sentence without
    // the escape sequence and line break it carried.
    desktop.removeAttribute(field, u"AXNumberOfCharacters"_s);
    desktop.removeAttribute(field, u"AXValue"_s);
    desktop.setApplication(notesProcess, u"\x1b]0;owned\x07No\ntes\x1b[2J"_s);
    delivery.prepare();
    ASSERT_TRUE(delivery.target());
    EXPECT_EQ(send(u"t6"_s), (DeliveryResult{Outcome::sent, TextDelivery::sentUnverifiableMessage(u"No tes"_s)}));
    EXPECT_EQ(pasteboard.string(), u"t6"_s);
}

// Observation ------------------------------------------------------------------------------------

TEST_F(TextDeliveryTest, aCorrectionIsReportedOnce1200MsAfterTheLastKeystroke)
{
    const int field = focusField(u"Note: . Done"_s, {6, 0});
    ASSERT_EQ(dictate(u"a new ron fires"_s).outcome, Outcome::inserted);
    ASSERT_TRUE(delivery.observation());
    desktop.userEdit(field, u"Note: a neuron fires. Done"_s, {14, 0});
    scheduler.advance(600ms);
    desktop.userEdit(field, u"Note: a neuron fires. Done"_s, {14, 0});
    scheduler.advance(1100ms);
    EXPECT_TRUE(corrections.empty());
    scheduler.advance(100ms);
    ASSERT_EQ(corrections.size(), 1u);
    EXPECT_EQ(corrections[0], std::make_pair(u"a new ron fires"_s, u"a neuron fires"_s));

    // A second fix reports (first fix, second fix); undoing to the inserted text reports nothing.
    desktop.userEdit(field, u"Note: a neutron fires. Done"_s, {15, 0});
    scheduler.advance(1300ms);
    ASSERT_EQ(corrections.size(), 2u);
    EXPECT_EQ(corrections[1], std::make_pair(u"a neuron fires"_s, u"a neutron fires"_s));
    desktop.userEdit(field, u"Note: a new ron fires. Done"_s, {15, 0});
    scheduler.advance(1300ms);
    EXPECT_EQ(corrections.size(), 2u);
}

TEST_F(TextDeliveryTest, ambiguousSuffixEditedPrefixAndHugeChangesAreNotCaptured)
{
    const int field = focusField(u"Start  end."_s, {6, 0});
    ASSERT_EQ(dictate(u"one"_s).outcome, Outcome::inserted);
    // The suffix " end." appears twice now.
    desktop.userEdit(field, u"Start won end. end."_s, {9, 0});
    scheduler.advance(1300ms);
    EXPECT_TRUE(corrections.empty());
    // The text before the insertion point changed: the span is lost for good.
    desktop.userEdit(field, u"Begin won end."_s, {9, 0});
    scheduler.advance(1300ms);
    desktop.userEdit(field, u"Start won end."_s, {9, 0});
    scheduler.advance(1300ms);
    ASSERT_EQ(corrections.size(), 1u) << "only the restored prefix locates the span again";

    // At the end of a note the rest of the text is the span; growing it by more than 128 units is dropped.
    corrections.clear();
    desktop.setText(field, u"List: "_s, {6, 0});
    ASSERT_EQ(dictate(u"eggs"_s).outcome, Outcome::inserted);
    desktop.userEdit(field, u"List: eggs, milk"_s, {16, 0});
    scheduler.advance(1300ms);
    ASSERT_EQ(corrections.size(), 1u);
    EXPECT_EQ(corrections[0].second, u"eggs, milk"_s);
    desktop.userEdit(field, u"List: eggs"_s + QString(140, '!'_L1), {150, 0});
    scheduler.advance(1300ms);
    EXPECT_EQ(corrections.size(), 1u);
}

TEST_F(TextDeliveryTest, observationEndsOnFocusChangeDestructionExpiryAndWhenNotWanted)
{
    const int field = focusField(u"a"_s, {1, 0});
    ASSERT_EQ(dictate(u"b"_s, false).outcome, Outcome::inserted);
    EXPECT_FALSE(delivery.observation());
    EXPECT_EQ(desktop.liveObservers(), 0);

    ASSERT_EQ(dictate(u"c"_s).outcome, Outcome::inserted);
    ASSERT_TRUE(delivery.observation());
    desktop.addWindow(300);
    desktop.setApplication(300, u"Mail"_s);
    scheduler.advance(1s);
    EXPECT_FALSE(delivery.observation());
    EXPECT_EQ(desktop.liveObservers(), 0);

    desktop.setApplication(notesProcess, u"Notes"_s);
    ASSERT_EQ(dictate(u"d"_s).outcome, Outcome::inserted);
    desktop.fireDestroyed();
    EXPECT_FALSE(delivery.observation());

    ASSERT_EQ(dictate(u"e"_s).outcome, Outcome::inserted);
    scheduler.advance(88s);
    ASSERT_TRUE(delivery.observation());
    scheduler.advance(2s);
    EXPECT_FALSE(delivery.observation());
    desktop.userEdit(field, u"a b c d x"_s, {9, 0});
    scheduler.advance(2s);
    EXPECT_TRUE(corrections.empty());

    // An application that cannot report its changes is not watched, and the user is told once.
    desktop.observerRegistrationFails = true;
    ASSERT_EQ(dictate(u"f"_s).outcome, Outcome::inserted);
    EXPECT_FALSE(delivery.observation());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], TextDelivery::correctionsUnavailableMessage());
}

TEST_F(TextDeliveryTest, observationStoppedDuringVerificationIsNotRestarted)
{
    focusField(u"a"_s, {1, 0});
    desktop.pasteDelay = 250ms;
    delivery.prepare();
    auto task = delivery.deliver(u"b"_s, true);
    scheduler.advance(150ms);
    delivery.stopObservation(); // automatic learning switched off meanwhile
    EXPECT_EQ(finish(std::move(task)).outcome, Outcome::inserted);
    EXPECT_FALSE(delivery.observation());
    EXPECT_EQ(desktop.liveObservers(), 0);

    // A slow observer registration that is overtaken by a stop leaves nothing behind.
    desktop.replyDelay = 20ms;
    delivery.prepare();
    scheduler.advance(2s);
    auto second = delivery.deliver(u"c"_s, true);
    for (int i = 0; i < 400 && !delivery.observation() && desktop.liveObservers() == 0; ++i)
        scheduler.advance(1ms);
    delivery.stopObservation();
    EXPECT_EQ(finish(std::move(second)).outcome, Outcome::inserted);
    EXPECT_FALSE(delivery.observation());
    EXPECT_EQ(desktop.liveObservers(), 0);
}

} // namespace
