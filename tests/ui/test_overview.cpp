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
using namespace Qt::StringLiterals;
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
    dictate(u"hello world"_s);
    ASSERT_EQ(pad(), u"hello world"_s) << "a new result replaces the pad";

    type(u"hello World"_s);
    scheduler.advanceSeconds(0.5);
    type(u"hello World!"_s);
    scheduler.advanceSeconds(0.85);
    EXPECT_EQ(lastOutput(), u"hello world"_s) << "each keystroke restarts the wait";
    scheduler.advanceSeconds(0.1);
    EXPECT_EQ(lastOutput(), u"hello World!"_s);
    EXPECT_EQ(model->dictionary().size(), 1) << "learned (what: the model's test)";
    EXPECT_EQ(savedLibrary().history.value(0).output, u"hello World!"_s);
    EXPECT_FALSE(page().correctionPending());

    type(u"  hello World! \n"_s);
    scheduler.advanceSeconds(1);
    EXPECT_EQ(lastOutput(), u"  hello World! \n"_s) << "saved as typed, untrimmed";
    EXPECT_EQ(pad(), u"  hello World! \n"_s) << "the save's redraw leaves the pad as typed";
}

TEST_F(OverviewTest, typingIntoAnEmptyPadOrErasingSavesNothingAndANewResultOrClearingDropsAPendingEdit)
{
    page();
    type(u"notes before any dictation"_s);
    EXPECT_FALSE(page().correctionPending());
    scheduler.advanceSeconds(2);
    EXPECT_TRUE(savedLibrary().history.isEmpty());

    dictate(u"keep this"_s);
    EXPECT_EQ(pad(), u"keep this"_s) << "a result replaces what was typed into the empty pad";
    type(QString());
    type(u" \n "_s);
    scheduler.advanceSeconds(2);
    EXPECT_EQ(lastOutput(), u"keep this"_s);
    EXPECT_EQ(savedLibrary().history.value(0).output, u"keep this"_s);

    dictate(u"first result"_s);
    const QUuid first = model->lastResult()->id;
    type(u"first edit"_s);
    ASSERT_TRUE(page().correctionPending());
    dictate(u"second result"_s, 0.3);
    EXPECT_EQ(pad(), u"second result"_s);
    scheduler.advanceSeconds(2);
    EXPECT_EQ(savedLibrary().history.value(1).id, first);
    EXPECT_EQ(savedLibrary().history.value(1).output, u"first result"_s) << "the pending edit is dropped";
    EXPECT_EQ(lastOutput(), u"second result"_s);

    type(u"second edit"_s);
    model->clearHistory();
    EXPECT_EQ(pad(), QString());
    EXPECT_FALSE(page().resultID());
    scheduler.advanceSeconds(2);
    type(u"typed after clearing"_s);
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

    for (const auto &[outcome, shown, copyable] :
         {std::tuple{DeliveryResult::Outcome::inserted, u"Inserted"_s, false},
          std::tuple{DeliveryResult::Outcome::failed, u"Not inserted"_s, true}}) {
        SCOPED_TRACE(shown.toStdString());
        const QString message = u"Message for "_s + shown;
        deliveryFake->answer = DeliveryResult{outcome, message};
        dictate(u"text for "_s + shown);
        EXPECT_EQ(status.text(), shown);
        EXPECT_TRUE(status.isVisible());
        EXPECT_EQ(status.toolTip(), message);
        EXPECT_EQ(copy.isVisible(), copyable);
        EXPECT_EQ(copy.accessibleDescription(), message);
    }

    type(u"edited in the pad"_s);
    QApplication::clipboard()->setText(u"before"_s);
    copy.click();
    EXPECT_EQ(QApplication::clipboard()->text(), u"text for Not inserted"_s) << "Copy copies the result, not the pad";

    deliveryFake->answer = DeliveryResult{DeliveryResult::Outcome::copied, u"Copied."_s};
    formatterFake->echo = false;
    formatterFake->answer = FormattingResult{QString(), u"Built-in rules"_s, std::nullopt};
    dictate(u"formatted to nothing"_s);
    EXPECT_FALSE(copy.isVisible()) << "an empty result has nothing to copy";

    model->toggle(); // the line's texts while dictating are the model's test
    EXPECT_TRUE(status.isVisible());
    EXPECT_FALSE(copy.isVisible());
    model->cancelDictation();

    model->setErrorMessage(u"Something went wrong."_s);
    model->notifyChanged();
    EXPECT_TRUE(page().errorLabel()->isVisible());
    EXPECT_EQ(page().errorLabel()->text(), u"Something went wrong."_s);
    model->setErrorMessage(std::nullopt);
    model->notifyChanged();
    EXPECT_FALSE(page().errorLabel()->isVisible());
}

TEST_F(OverviewTest, theRecordButtonStartsAndFinishesAndWaitsWhilePreparingOrProcessing)
{
    speech->startAnswer.reset();
    page();
    QPushButton &record = *page().recordButton();
    EXPECT_EQ(record.accessibleName(), u"Start dictation"_s);
    EXPECT_EQ(record.toolTip(), u"Start or finish dictation (Ctrl+Alt+Space)"_s);
    EXPECT_EQ(page().holdHint()->text(), u"Hold Right Ctrl to speak"_s);

    record.click();
    EXPECT_EQ(model->phase(), RecordingPhase::preparing);
    EXPECT_FALSE(record.isEnabled());
    speechFake->startReplies.last().resolve(FakeSpeechEngine::StartResult());
    scheduler.runPending();
    EXPECT_TRUE(record.isEnabled());
    EXPECT_EQ(record.text(), u"Finish"_s);
    EXPECT_EQ(page().recordSymbol(), u"stop.fill"_s);
    EXPECT_EQ(record.accessibleName(), u"Finish dictation"_s);

    record.click();
    EXPECT_EQ(model->phase(), RecordingPhase::processing);
    EXPECT_FALSE(record.isEnabled());
    EXPECT_EQ(record.text(), u"Dictate"_s);
    EXPECT_EQ(page().recordSymbol(), u"mic.fill"_s);
}

TEST_F(OverviewTest, thePermissionsCardShowsOnlyWhatIsMissing)
{
    permissions->microphone = AuthorizationStatus::notDetermined;
    permissions->holdMicrophonePrompt = true;
    delivery->trusted = false;
    page();
    model->refreshStatus();
    EXPECT_TRUE(page().permissionCard()->isVisible());
    EXPECT_TRUE(page().microphoneRow()->isVisible());
    EXPECT_EQ(page().microphoneRow()->state(), u"Not requested"_s);
    EXPECT_FALSE(page().speechRow()->isVisible()) << "granted rows are hidden";
    EXPECT_EQ(page().accessibilityRow()->accessibleName(), u"Accessibility: Not enabled"_s);
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
