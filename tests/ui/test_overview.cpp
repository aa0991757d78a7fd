#include "tests/support/QtPrinters.h"
#include "tests/ui/UiHarness.h"
#include "ui/Card.h"
#include "ui/OverviewViewController.h"
#include "ui/PermissionRow.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace orv;
using namespace orv::test;
using ui::OverviewViewController;

namespace {

class OverviewTest : public WindowsTest
{
protected:
    OverviewViewController &page()
    {
        if (!model)
            make();
        return shownOnce(m_page, {900, 700}, *model);
    }
    QString pad() { return page().textView()->toPlainText(); }
    QString lastOutput() const { return model->lastResult() ? model->lastResult()->output : QString(); }
    // What the user types replaces the pad's text (erased first, as a keystroke would).
    void type(const QString &text)
    {
        page().textView()->selectAll();
        page().textView()->textCursor().removeSelectedText();
        page().textView()->insertPlainText(text);
    }

    std::unique_ptr<OverviewViewController> m_page;
};

} // namespace

TEST_F(OverviewTest, anEditOfTheResultIsSavedOnce900MillisecondsAfterTheLastKeystrokeAndLearned)
{
    page();
    dictate(QStringLiteral("hello world"));
    ASSERT_EQ(pad(), QStringLiteral("hello world")) << "a new result replaces the pad";

    type(QStringLiteral("hello World"));
    scheduler.advanceSeconds(0.5);
    type(QStringLiteral("hello World!"));
    scheduler.advanceSeconds(0.85);
    EXPECT_EQ(lastOutput(), QStringLiteral("hello world")) << "each keystroke restarts the wait";
    scheduler.advanceSeconds(0.1);
    EXPECT_EQ(lastOutput(), QStringLiteral("hello World!"));
    EXPECT_EQ(model->dictionary().size(), 1) << "learned (what: the model's test)";
    EXPECT_EQ(savedLibrary().history.value(0).output, QStringLiteral("hello World!"));
    EXPECT_FALSE(page().correctionPending());

    type(QStringLiteral("  hello World! \n"));
    scheduler.advanceSeconds(1);
    EXPECT_EQ(lastOutput(), QStringLiteral("  hello World! \n")) << "saved as typed, untrimmed";
    EXPECT_EQ(pad(), QStringLiteral("  hello World! \n")) << "the save's redraw leaves the pad as typed";
}

TEST_F(OverviewTest, typingIntoAnEmptyPadOrErasingTheResultSavesNothing)
{
    page();
    type(QStringLiteral("notes before any dictation"));
    EXPECT_FALSE(page().correctionPending());
    scheduler.advanceSeconds(2);
    EXPECT_TRUE(savedLibrary().history.isEmpty());

    dictate(QStringLiteral("keep this"));
    EXPECT_EQ(pad(), QStringLiteral("keep this")) << "a result replaces what was typed into the empty pad";
    type(QString());
    type(QStringLiteral(" \n "));
    scheduler.advanceSeconds(2);
    EXPECT_EQ(lastOutput(), QStringLiteral("keep this"));
    EXPECT_EQ(savedLibrary().history.value(0).output, QStringLiteral("keep this"));
}

TEST_F(OverviewTest, aNewResultWinsOverAPendingEditAndClearingTheHistoryEmptiesThePad)
{
    page();
    dictate(QStringLiteral("first result"));
    const QUuid first = model->lastResult()->id;
    type(QStringLiteral("first edit"));
    ASSERT_TRUE(page().correctionPending());
    dictate(QStringLiteral("second result"), 0.3);
    EXPECT_EQ(pad(), QStringLiteral("second result"));
    scheduler.advanceSeconds(2);
    EXPECT_EQ(savedLibrary().history.value(1).id, first);
    EXPECT_EQ(savedLibrary().history.value(1).output, QStringLiteral("first result")) << "the pending edit is dropped";
    EXPECT_EQ(lastOutput(), QStringLiteral("second result"));

    type(QStringLiteral("second edit"));
    model->clearHistory();
    EXPECT_EQ(pad(), QString());
    EXPECT_FALSE(page().resultID());
    scheduler.advanceSeconds(2);
    type(QStringLiteral("typed after clearing"));
    scheduler.advanceSeconds(2);
    EXPECT_TRUE(savedLibrary().history.isEmpty()) << "neither the pending nor a later edit is saved";
}

TEST_F(OverviewTest, theStatusAndCopyFollowEachDeliveryOutcome)
{
    page();
    QLabel &status = *page().statusLabel();
    QPushButton &copy = *page().copyButton();
    EXPECT_FALSE(status.isVisible()) << "nothing to say while ready";
    EXPECT_FALSE(copy.isVisible());

    const struct
    {
        DeliveryResult::Outcome outcome;
        QString shown;
        bool copyable;
    } cases[] = {
        {DeliveryResult::Outcome::inserted, QStringLiteral("Inserted"), false},
        {DeliveryResult::Outcome::failed, QStringLiteral("Not inserted"), true},
    };
    for (const auto &c : cases) {
        const QString message = QStringLiteral("Message for ") + c.shown;
        deliveryFake->answer = DeliveryResult{c.outcome, message};
        dictate(QStringLiteral("text for ") + c.shown);
        EXPECT_EQ(status.text(), c.shown);
        EXPECT_TRUE(status.isVisible());
        EXPECT_EQ(status.toolTip(), message);
        EXPECT_EQ(copy.isVisible(), c.copyable) << c.shown.toStdString();
        EXPECT_EQ(copy.accessibleDescription(), message);
    }

    type(QStringLiteral("edited in the pad"));
    QApplication::clipboard()->setText(QStringLiteral("before"));
    copy.click();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("text for Not inserted"))
        << "Copy copies the result, not the pad";

    deliveryFake->answer = DeliveryResult{DeliveryResult::Outcome::copied, QStringLiteral("Copied.")};
    formatterFake->echo = false;
    formatterFake->answer = FormattingResult{QString(), QStringLiteral("Built-in rules"), std::nullopt};
    dictate(QStringLiteral("formatted to nothing"));
    EXPECT_FALSE(copy.isVisible()) << "an empty result has nothing to copy";

    model->toggle(); // the line's texts while dictating are the model's test
    EXPECT_TRUE(status.isVisible());
    EXPECT_FALSE(copy.isVisible());
    model->cancelDictation();

    model->setErrorMessage(QStringLiteral("Something went wrong."));
    model->notifyChanged();
    EXPECT_TRUE(page().errorLabel()->isVisible());
    EXPECT_EQ(page().errorLabel()->text(), QStringLiteral("Something went wrong."));
    model->setErrorMessage(std::nullopt);
    model->notifyChanged();
    EXPECT_FALSE(page().errorLabel()->isVisible());
}

TEST_F(OverviewTest, theRecordButtonStartsAndFinishesAndWaitsWhilePreparingOrProcessing)
{
    speech->startAnswer.reset();
    page();
    QPushButton &record = *page().recordButton();
    EXPECT_EQ(record.accessibleName(), QStringLiteral("Start dictation"));
    EXPECT_EQ(record.toolTip(), QStringLiteral("Start or finish dictation (Ctrl+Alt+Space)"));
    EXPECT_EQ(page().holdHint()->text(), QStringLiteral("Hold Right Ctrl to speak"));

    record.click();
    EXPECT_EQ(model->phase(), RecordingPhase::preparing);
    EXPECT_FALSE(record.isEnabled());
    speechFake->startReplies.last().resolve(FakeSpeechEngine::StartResult());
    scheduler.runPending();
    EXPECT_TRUE(record.isEnabled());
    EXPECT_EQ(record.text(), QStringLiteral("Finish"));
    EXPECT_EQ(page().recordSymbol(), QStringLiteral("stop.fill"));
    EXPECT_EQ(record.accessibleName(), QStringLiteral("Finish dictation"));

    record.click();
    EXPECT_EQ(model->phase(), RecordingPhase::processing);
    EXPECT_FALSE(record.isEnabled());
    EXPECT_EQ(record.text(), QStringLiteral("Dictate"));
    EXPECT_EQ(page().recordSymbol(), QStringLiteral("mic.fill"));
}

TEST_F(OverviewTest, thePermissionsCardShowsOnlyWhatIsMissing)
{
    permissions->microphone = AuthorizationStatus::notDetermined;
    permissions->holdMicrophonePrompt = true;
    delivery->trusted = false;
    make();
    model->refreshStatus();
    page();
    EXPECT_TRUE(page().permissionCard()->isVisible());
    EXPECT_TRUE(page().microphoneRow()->isVisible());
    EXPECT_EQ(page().microphoneRow()->state(), QStringLiteral("Not requested"));
    EXPECT_FALSE(page().speechRow()->isVisible()) << "granted rows are hidden";
    EXPECT_EQ(page().accessibilityRow()->accessibleName(), QStringLiteral("Accessibility: Not enabled"));
    EXPECT_TRUE(page().setupButton()->isVisible());
    EXPECT_TRUE(page().accessibilityButton()->isVisible());

    page().setupButton()->click();
    EXPECT_EQ(permissionsFake->microphoneRequests, 1);
    permissionsFake->answerMicrophone(true);
    scheduler.runPending();
    EXPECT_FALSE(page().microphoneRow()->isVisible());
    EXPECT_FALSE(page().setupButton()->isVisible());
    EXPECT_TRUE(page().permissionCard()->isVisible()) << "accessibility is still off";

    deliveryFake->trusted = true;
    model->refreshStatus();
    EXPECT_FALSE(page().permissionCard()->isVisible());

    for (const char *granted : {"authorized", "Allowed", "GRANTED", "enabled"})
        EXPECT_TRUE(OverviewViewController::isGranted(QString::fromLatin1(granted))) << granted;
    for (const char *missing : {"Not requested", "Denied — open your desktop settings", "Restricted", ""})
        EXPECT_FALSE(OverviewViewController::isGranted(QString::fromUtf8(missing))) << missing;
}
