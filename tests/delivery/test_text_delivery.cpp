#include "tests/delivery/TextDeliveryFixture.h"

using namespace orv;
using namespace orv::test;

namespace {

// Capture ----------------------------------------------------------------------------------------

TEST_F(TextDeliveryTest, secureDisabledAndProtectedFieldsAreNeverTargetedNorRead)
{
    const struct
    {
        const char *name;
        bool onContainer;
        QString attribute;
        AttributeValue value;
    } cases[] = {
        {"secure subrole", false, QStringLiteral("AXSubrole"), QStringLiteral("AXSecureTextField")},
        {"lower-case secure role of an ancestor", true, QStringLiteral("AXRole"), QStringLiteral("passwordsecurepane")},
        {"secure in a subrole", true, QStringLiteral("AXSubrole"), QStringLiteral("MySECUREBox")},
        {"disabled container", true, QStringLiteral("AXEnabled"), false},
        {"protected content", false, QStringLiteral("AXProtectedContent"), true},
        {"AXSecure", true, QStringLiteral("AXSecure"), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const int container = desktop.addNode(window, QStringLiteral("AXGroup"), notesProcess);
        const int field = desktop.addNode(container, QStringLiteral("AXTextField"), notesProcess);
        desktop.setText(field, QStringLiteral("hunter2"), {7, 0});
        desktop.focus(field);
        desktop.setAttribute(c.onContainer ? container : field, c.attribute, c.value);
        desktop.enableAccessibilityResult = false;
        EXPECT_FALSE(delivery.prepare());
        EXPECT_FALSE(delivery.target());
        EXPECT_EQ(
            send(QStringLiteral("secret")),
            (DeliveryResult{Outcome::copied, QStringLiteral("Copied. Click a text field and paste with Ctrl+V.")}));
        EXPECT_EQ(desktop.textReads(field), 0);
        EXPECT_EQ(desktop.pasteCount, 0);
    }
    // A wrong-typed AXEnabled does not count as disabled.
    const int plain = focusField(QStringLiteral("ok"), {2, 0});
    desktop.setAttribute(plain, QStringLiteral("AXEnabled"), QStringLiteral("no"));
    EXPECT_TRUE(delivery.prepare());
    EXPECT_TRUE(delivery.target());
}

TEST_F(TextDeliveryTest, editableAncestorGroupIsAcceptedButAPlainGroupIsNot)
{
    const int group = desktop.addNode(window, QStringLiteral("AXGroup"), notesProcess);
    desktop.setAttribute(group, QStringLiteral("AXWindow"), desktop.handle(window));
    desktop.setText(group, QStringLiteral("rich text"), {4, 0});
    const int run = desktop.addNode(group, QStringLiteral("AXStaticText"), notesProcess);
    desktop.focus(group);
    desktop.enableAccessibilityResult = false;
    EXPECT_FALSE(delivery.prepare());

    desktop.setAttribute(run, QStringLiteral("AXEditableAncestor"), desktop.handle(group));
    desktop.focus(run);
    ASSERT_TRUE(delivery.prepare());
    ASSERT_TRUE(delivery.target());
    EXPECT_TRUE(sameElement(delivery.target()->element, desktop.handle(group)));
    EXPECT_EQ(delivery.targetApplicationName(), QStringLiteral("Notes"));
}

TEST_F(TextDeliveryTest, anchorTakesUpTo64UnitsOfContextAndDropsHugeSelections)
{
    QString hundred;
    for (int i = 0; i < 100; ++i)
        hundred.append(QChar(u'a' + i % 26));
    const int field = focusField(hundred, {10, 0});
    ASSERT_TRUE(delivery.prepare());
    auto anchor = delivery.target()->anchor;
    ASSERT_TRUE(anchor);
    EXPECT_EQ(anchor->prefix, hundred.left(10));
    EXPECT_EQ(anchor->suffix, hundred.mid(10, 64));
    EXPECT_FALSE(anchor->wasAtEnd);
    EXPECT_EQ(anchor->originalCount, 100);

    desktop.setSelection(field, {100, 0});
    ASSERT_TRUE(delivery.prepare());
    anchor = delivery.target()->anchor;
    ASSERT_TRUE(anchor);
    EXPECT_EQ(anchor->prefix, hundred.right(64));
    EXPECT_TRUE(anchor->suffix.isEmpty());
    EXPECT_TRUE(anchor->wasAtEnd);

    // A failing range read falls back to the value string.
    desktop.stringForRangeWorks = false;
    ASSERT_TRUE(delivery.prepare());
    EXPECT_TRUE(delivery.target()->anchor);

    const QString big(9000, QLatin1Char('x'));
    desktop.setText(field, big, {0, 8192});
    ASSERT_TRUE(delivery.prepare());
    EXPECT_TRUE(delivery.target()->anchor);
    desktop.setSelection(field, {0, 8193});
    ASSERT_TRUE(delivery.prepare());
    ASSERT_TRUE(delivery.target());
    EXPECT_FALSE(delivery.target()->anchor);
    EXPECT_EQ(delivery.target()->selection, (TextRange{0, 8193}));

    // Text with characters outside the basic plane is counted in UTF-16 units.
    desktop.setText(field, QStringLiteral("ab😀cd"), {4, 0});
    ASSERT_TRUE(delivery.prepare());
    EXPECT_EQ(delivery.target()->anchor->prefix, QStringLiteral("ab😀"));
    EXPECT_EQ(delivery.target()->anchor->suffix, QStringLiteral("cd"));
}

TEST_F(TextDeliveryTest, ownApplicationAndMissingTrustCaptureNothing)
{
    focusField(QStringLiteral("x"), {1, 0});
    desktop.setApplication(ownProcess, QStringLiteral("Orvanta"));
    EXPECT_FALSE(delivery.prepare());
    desktop.setApplication(notesProcess, QStringLiteral("Notes"));
    desktop.trusted = false;
    EXPECT_FALSE(delivery.prepare());
    EXPECT_TRUE(delivery.targetApplicationName().isEmpty());
}

TEST_F(TextDeliveryTest, deferredCaptureRetriesAfterSwitchingAccessibilityOnAndStopsWhenFocusMoves)
{
    const int field = focusField(QStringLiteral("hello"), {5, 0});
    desktop.removeAttribute(field, QStringLiteral("AXRole"));
    ASSERT_TRUE(delivery.prepare());
    EXPECT_TRUE(delivery.isCapturing());
    EXPECT_EQ(desktop.enableCalls, 1);
    EXPECT_EQ(delivery.targetApplicationName(), QStringLiteral("Notes"));
    scheduler.advance(250ms);
    desktop.setAttribute(field, QStringLiteral("AXRole"), QStringLiteral("AXTextArea"));
    scheduler.advance(100ms);
    EXPECT_FALSE(delivery.isCapturing());
    ASSERT_TRUE(delivery.target());

    // Accessibility is switched on once per process.
    desktop.removeAttribute(field, QStringLiteral("AXRole"));
    ASSERT_TRUE(delivery.prepare());
    EXPECT_EQ(desktop.enableCalls, 1);
    scheduler.advance(150ms);
    const int other = focusField(QStringLiteral("elsewhere"), {0, 0});
    scheduler.advance(100ms);
    EXPECT_FALSE(delivery.isCapturing());
    desktop.setAttribute(field, QStringLiteral("AXRole"), QStringLiteral("AXTextArea"));
    EXPECT_FALSE(delivery.target());
    (void)other;

    // Without a change the attempts end after 27 pauses.
    desktop.focus(field);
    desktop.removeAttribute(field, QStringLiteral("AXRole"));
    ASSERT_TRUE(delivery.prepare());
    scheduler.advance(2600ms);
    EXPECT_TRUE(delivery.isCapturing());
    scheduler.advance(100ms);
    EXPECT_FALSE(delivery.isCapturing());
    EXPECT_FALSE(delivery.target());
}

TEST_F(TextDeliveryTest, deliveryWaitsForALateCapture)
{
    const int field = focusField(QStringLiteral("Dear "), {5, 0});
    desktop.removeAttribute(field, QStringLiteral("AXRole"));
    ASSERT_TRUE(delivery.prepare());
    auto task = delivery.deliver(QStringLiteral("Sam"), false);
    scheduler.advance(300ms);
    EXPECT_FALSE(task.isDone());
    desktop.setAttribute(field, QStringLiteral("AXRole"), QStringLiteral("AXTextArea"));
    const DeliveryResult result = finish(std::move(task));
    EXPECT_EQ(result, (DeliveryResult{Outcome::inserted, TextDelivery::insertedMessage(QStringLiteral("Notes"))}));
    EXPECT_EQ(desktop.text(field), QStringLiteral("Dear Sam"));
}

// Insertion and fallbacks --------------------------------------------------------------------------

TEST_F(TextDeliveryTest, confirmedInsertionRestoresTheReadableClipboardUnlessAnotherWriterTookIt)
{
    const int field = focusField(QStringLiteral("Hi "), {3, 0});
    desktop.pasteDelay = 250ms;
    delivery.prepare();
    const TimePoint started = scheduler.now();
    EXPECT_EQ(send(QStringLiteral("there"), false),
              (DeliveryResult{Outcome::inserted, TextDelivery::insertedMessage(QStringLiteral("Notes"))}));
    EXPECT_NEAR(secondsBetween(started, scheduler.now()), 0.3, 0.011);
    EXPECT_EQ(desktop.text(field), QStringLiteral("Hi there"));
    EXPECT_EQ(pasteboard.contents(), previousClipboard());
    EXPECT_EQ(desktop.pasteCount, 1);
    EXPECT_FALSE(delivery.target()) << "a delivery consumes the target";

    // A second delivery without a new capture falls back to the clipboard.
    EXPECT_EQ(send(QStringLiteral("again"), false), (DeliveryResult{Outcome::copied, TextDelivery::copiedMessage()}));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("again"));

    // Types that cannot be read are left out of the restore.
    pasteboard.writeFromElsewhere(previousClipboard());
    pasteboard.unreadableTypes = {QStringLiteral("image/png")};
    EXPECT_EQ(dictate(QStringLiteral("!"), false).outcome, Outcome::inserted);
    const QList<Pasteboard::Item> readable{
        {{QStringLiteral("text/html"), "<b>old</b>"}, {test::FakePasteboard::plainType(), "old"}}, {}};
    EXPECT_EQ(pasteboard.contents(), readable);

    // What another writer put there during the verification stays.
    delivery.prepare();
    auto task = delivery.deliver(QStringLiteral("?"), false);
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
    const int field = focusField(QStringLiteral("hello world"), {6, 5});
    EXPECT_EQ(dictate(QStringLiteral("there")).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(field), QStringLiteral("hello there"));

    desktop.setText(field, QStringLiteral("hello world"), {6, 5});
    desktop.pasteMovesCaret = false;
    const TimePoint started = scheduler.now();
    EXPECT_EQ(dictate(QStringLiteral("there")).outcome, Outcome::sent);
    EXPECT_NEAR(secondsBetween(started, scheduler.now()), 2.0, 0.011);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("there"));
    EXPECT_FALSE(delivery.observation());
}

TEST_F(TextDeliveryTest, lineBreaksReachTextAreasAndBecomeSpacesInOneLineFields)
{
    const int area = focusField(QString(), {0, 0});
    EXPECT_EQ(dictate(QStringLiteral("Thanks\n\nSee you")).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(area), QStringLiteral("Thanks\n\nSee you"));
    const int field = focusField(QString(), {0, 0}, QStringLiteral("AXTextField"));
    EXPECT_EQ(dictate(QStringLiteral("Thanks \n\n See you,\nbye")).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(field), QStringLiteral("Thanks See you, bye"));
}

TEST_F(TextDeliveryTest, everyFallbackOfTheFailureTable)
{
    const QString changed = TextDelivery::insertionPointChangedMessage();

    // Empty text, even without a target; the clipboard is untouched.
    EXPECT_EQ(send(QString()), (DeliveryResult{Outcome::failed, TextDelivery::nothingToInsertMessage()}));
    EXPECT_EQ(pasteboard.contents(), previousClipboard());

    // The clipboard refuses the text while there is no target: the user's clipboard stays.
    pasteboard.refuseStrings = true;
    EXPECT_EQ(send(QStringLiteral("t0")),
              (DeliveryResult{Outcome::failed, TextDelivery::clipboardUnavailableMessage()}));
    EXPECT_EQ(pasteboard.contents(), previousClipboard());
    pasteboard.refuseStrings = false;

    // Not trusted.
    const int field = focusField(QStringLiteral("abc"), {3, 0});
    delivery.prepare();
    desktop.trusted = false;
    EXPECT_EQ(send(QStringLiteral("t1")), (DeliveryResult{Outcome::copied, TextDelivery::copiedMessage()}));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("t1"));
    desktop.trusted = true;

    // Caret moved between capture and delivery.
    delivery.prepare();
    desktop.setSelection(field, {1, 0});
    EXPECT_EQ(send(QStringLiteral("t2")), (DeliveryResult{Outcome::copied, changed}));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("t2"));

    // Focus moved to another window right after the clipboard write.
    desktop.setSelection(field, {3, 0});
    delivery.prepare();
    const int otherWindow = desktop.addWindow(notesProcess);
    pasteboard.onStringWritten = [&] {
        desktop.setAttribute(field, QStringLiteral("AXWindow"), desktop.handle(otherWindow));
        pasteboard.onStringWritten = nullptr;
    };
    EXPECT_EQ(send(QStringLiteral("t3")), (DeliveryResult{Outcome::copied, changed}));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("t3"));
    EXPECT_EQ(desktop.pasteCount, 0);
    desktop.setAttribute(field, QStringLiteral("AXWindow"), desktop.handle(window));

    // The clipboard refuses the text: the snapshot goes back.
    pasteboard.writeFromElsewhere(previousClipboard());
    delivery.prepare();
    pasteboard.refuseStrings = true;
    EXPECT_EQ(send(QStringLiteral("t4")),
              (DeliveryResult{Outcome::failed, TextDelivery::clipboardUnavailableMessage()}));
    EXPECT_EQ(pasteboard.contents(), previousClipboard());
    pasteboard.refuseStrings = false;

    // The keystroke could not be posted.
    delivery.prepare();
    desktop.pastePosted = false;
    EXPECT_EQ(send(QStringLiteral("t5")), (DeliveryResult{Outcome::copied, TextDelivery::pasteNotPostedMessage()}));
    EXPECT_EQ(pasteboard.string(), QStringLiteral(" t5"));
    desktop.pastePosted = true;

    // No anchor: sent without confirmation. The application's own name reaches the sentence without
    // the escape sequence and line break it carried.
    desktop.removeAttribute(field, QStringLiteral("AXNumberOfCharacters"));
    desktop.removeAttribute(field, QStringLiteral("AXValue"));
    desktop.setApplication(notesProcess, QStringLiteral("\x1b]0;owned\x07No\ntes\x1b[2J"));
    delivery.prepare();
    ASSERT_TRUE(delivery.target());
    EXPECT_EQ(send(QStringLiteral("t6")),
              (DeliveryResult{Outcome::sent, TextDelivery::sentUnverifiableMessage(QStringLiteral("No tes"))}));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("t6"));
}

TEST_F(TextDeliveryTest, cancelOrANewCaptureEndsAWaitingDelivery)
{
    const int field = focusField(QStringLiteral("x"), {1, 0});
    desktop.removeAttribute(field, QStringLiteral("AXRole"));
    delivery.prepare();
    auto task = delivery.deliver(QStringLiteral("y"), true);
    scheduler.advance(200ms);
    delivery.cancelCapture();
    EXPECT_EQ(finish(std::move(task)), (DeliveryResult{Outcome::failed, TextDelivery::cancelledMessage()}));
    EXPECT_EQ(pasteboard.contents(), previousClipboard());

    // Cancelled after the keystroke: the read-back stops and the text stays on the clipboard.
    desktop.setAttribute(field, QStringLiteral("AXRole"), QStringLiteral("AXTextArea"));
    delivery.prepare();
    auto cancelled = delivery.deliver(QStringLiteral("z"), true);
    cancelled.cancel();
    EXPECT_EQ(finish(std::move(cancelled)).outcome, Outcome::sent);
    EXPECT_EQ(pasteboard.string(), QStringLiteral(" z"));
    EXPECT_FALSE(delivery.observation());
}

TEST_F(TextDeliveryTest, slowAccessibilityAnswersStillConfirm)
{
    const int field = focusField(QStringLiteral("slow "), {5, 0});
    desktop.replyDelay = 30ms;
    EXPECT_TRUE(delivery.prepare());
    scheduler.advance(2s);
    ASSERT_TRUE(delivery.target());
    EXPECT_EQ(finish(delivery.deliver(QStringLiteral("reply"), false), 30s).outcome, Outcome::inserted);
    EXPECT_EQ(desktop.text(field), QStringLiteral("slow reply"));
    EXPECT_EQ(pasteboard.contents(), previousClipboard());
}

// Observation ------------------------------------------------------------------------------------

TEST_F(TextDeliveryTest, aCorrectionIsReportedOnce1200MsAfterTheLastKeystroke)
{
    const int field = focusField(QStringLiteral("Note: . Done"), {6, 0});
    ASSERT_EQ(dictate(QStringLiteral("a new ron fires")).outcome, Outcome::inserted);
    ASSERT_TRUE(delivery.observation());
    desktop.userEdit(field, QStringLiteral("Note: a neuron fires. Done"), {14, 0});
    scheduler.advance(600ms);
    desktop.userEdit(field, QStringLiteral("Note: a neuron fires. Done"), {14, 0});
    scheduler.advance(1100ms);
    EXPECT_TRUE(corrections.empty());
    scheduler.advance(100ms);
    ASSERT_EQ(corrections.size(), 1u);
    EXPECT_EQ(corrections[0], std::make_pair(QStringLiteral("a new ron fires"), QStringLiteral("a neuron fires")));

    // A second fix reports (first fix, second fix); undoing to the inserted text reports nothing.
    desktop.userEdit(field, QStringLiteral("Note: a neutron fires. Done"), {15, 0});
    scheduler.advance(1300ms);
    ASSERT_EQ(corrections.size(), 2u);
    EXPECT_EQ(corrections[1], std::make_pair(QStringLiteral("a neuron fires"), QStringLiteral("a neutron fires")));
    desktop.userEdit(field, QStringLiteral("Note: a new ron fires. Done"), {15, 0});
    scheduler.advance(1300ms);
    EXPECT_EQ(corrections.size(), 2u);
}

TEST_F(TextDeliveryTest, ambiguousSuffixEditedPrefixAndHugeChangesAreNotCaptured)
{
    const int field = focusField(QStringLiteral("Start  end."), {6, 0});
    ASSERT_EQ(dictate(QStringLiteral("one")).outcome, Outcome::inserted);
    // The suffix " end." appears twice now.
    desktop.userEdit(field, QStringLiteral("Start won end. end."), {9, 0});
    scheduler.advance(1300ms);
    EXPECT_TRUE(corrections.empty());
    // The text before the insertion point changed: the span is lost for good.
    desktop.userEdit(field, QStringLiteral("Begin won end."), {9, 0});
    scheduler.advance(1300ms);
    desktop.userEdit(field, QStringLiteral("Start won end."), {9, 0});
    scheduler.advance(1300ms);
    ASSERT_EQ(corrections.size(), 1u) << "only the restored prefix locates the span again";

    // At the end of a note the rest of the text is the span; growing it by more than 128 units is dropped.
    corrections.clear();
    desktop.setText(field, QStringLiteral("List: "), {6, 0});
    ASSERT_EQ(dictate(QStringLiteral("eggs")).outcome, Outcome::inserted);
    desktop.userEdit(field, QStringLiteral("List: eggs, milk"), {16, 0});
    scheduler.advance(1300ms);
    ASSERT_EQ(corrections.size(), 1u);
    EXPECT_EQ(corrections[0].second, QStringLiteral("eggs, milk"));
    desktop.userEdit(field, QStringLiteral("List: eggs") + QString(140, QLatin1Char('!')), {150, 0});
    scheduler.advance(1300ms);
    EXPECT_EQ(corrections.size(), 1u);
}

TEST_F(TextDeliveryTest, observationEndsOnFocusChangeDestructionExpiryAndWhenNotWanted)
{
    const int field = focusField(QStringLiteral("a"), {1, 0});
    ASSERT_EQ(dictate(QStringLiteral("b"), false).outcome, Outcome::inserted);
    EXPECT_FALSE(delivery.observation());
    EXPECT_EQ(desktop.liveObservers(), 0);

    ASSERT_EQ(dictate(QStringLiteral("c")).outcome, Outcome::inserted);
    ASSERT_TRUE(delivery.observation());
    const int other = desktop.addWindow(300);
    desktop.setApplication(300, QStringLiteral("Mail"));
    (void)other;
    scheduler.advance(1s);
    EXPECT_FALSE(delivery.observation());
    EXPECT_EQ(desktop.liveObservers(), 0);

    desktop.setApplication(notesProcess, QStringLiteral("Notes"));
    ASSERT_EQ(dictate(QStringLiteral("d")).outcome, Outcome::inserted);
    desktop.fireDestroyed();
    EXPECT_FALSE(delivery.observation());

    ASSERT_EQ(dictate(QStringLiteral("e")).outcome, Outcome::inserted);
    scheduler.advance(88s);
    ASSERT_TRUE(delivery.observation());
    scheduler.advance(2s);
    EXPECT_FALSE(delivery.observation());
    desktop.userEdit(field, QStringLiteral("a b c d x"), {9, 0});
    scheduler.advance(2s);
    EXPECT_TRUE(corrections.empty());
}

TEST_F(TextDeliveryTest, observationStoppedDuringVerificationIsNotRestarted)
{
    focusField(QStringLiteral("a"), {1, 0});
    desktop.pasteDelay = 250ms;
    delivery.prepare();
    auto task = delivery.deliver(QStringLiteral("b"), true);
    scheduler.advance(150ms);
    delivery.stopObservation(); // automatic learning switched off meanwhile
    EXPECT_EQ(finish(std::move(task)).outcome, Outcome::inserted);
    EXPECT_FALSE(delivery.observation());
    EXPECT_EQ(desktop.liveObservers(), 0);

    // A slow observer registration that is overtaken by a stop leaves nothing behind.
    desktop.replyDelay = 20ms;
    delivery.prepare();
    scheduler.advance(2s);
    auto second = delivery.deliver(QStringLiteral("c"), true);
    for (int i = 0; i < 400 && !delivery.observation() && desktop.liveObservers() == 0; ++i)
        scheduler.advance(1ms);
    delivery.stopObservation();
    EXPECT_EQ(finish(std::move(second)).outcome, Outcome::inserted);
    EXPECT_FALSE(delivery.observation());
    EXPECT_EQ(desktop.liveObservers(), 0);
}

TEST_F(TextDeliveryTest, anAppWithoutChangeNotificationsGetsOneNotice)
{
    focusField(QStringLiteral("a"), {1, 0});
    desktop.observerRegistrationFails = true;
    ASSERT_EQ(dictate(QStringLiteral("b")).outcome, Outcome::inserted);
    EXPECT_FALSE(delivery.observation());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], TextDelivery::correctionsUnavailableMessage());
}

} // namespace
