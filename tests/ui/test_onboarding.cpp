#include "tests/support/QtPrinters.h"
#include "tests/ui/UiHarness.h"
#include "ui/AccessibilityPrompt.h"
#include "ui/MainWindowController.h"
#include "ui/OnboardingViewController.h"
#include "ui/PermissionRow.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace orv;
using namespace orv::test;
using Step = OnboardingState::Step;
using LoginStatus = AbstractLoginItemController::Status;

namespace {

class OnboardingTest : public WindowsTest
{
protected:
    ui::OnboardingViewController &flow()
    {
        if (!delegate)
            launch();
        return *delegate->mainWindow()->onboardingController();
    }
    const ui::OnboardingViewController::Controls &controls() { return flow().controls(); }
};

} // namespace

TEST_F(OnboardingTest, continueWaitsForMicrophoneAndSpeechWhileTheRestOfThePageStays)
{
    permissions->microphone = AuthorizationStatus::authorized;
    permissions->speech = AuthorizationStatus::notDetermined;
    permissions->holdSpeechPrompt = true;
    launch();
    model->advanceOnboarding();
    ASSERT_EQ(flow().renderedStep(), Step::permissions);
    EXPECT_FALSE(controls().nextButton->isEnabled());
    EXPECT_FALSE(controls().nextButton->toolTip().isEmpty()) << "says what Continue waits for";
    EXPECT_EQ(controls().microphone->accessibleName(), QStringLiteral("Microphone: Allowed"));
    EXPECT_TRUE(controls().microphone->isGranted());
    EXPECT_EQ(controls().speech->state(), QStringLiteral("Not requested"));

    QApplication::setActiveWindow(delegate->mainWindow());
    QTest::keyClick(delegate->mainWindow(), Qt::Key_Return);
    EXPECT_EQ(model->onboarding().step(), Step::permissions) << "Return does nothing while Continue is disabled";

    const QWidget *page = controls().page;
    controls().permissionButton->click();
    ASSERT_EQ(permissionsFake->speechRequests, 1);
    permissionsFake->answerSpeech(AuthorizationStatus::authorized);
    scheduler.runPending();
    EXPECT_EQ(controls().page, page) << "granting redraws the page without rebuilding it";
    EXPECT_TRUE(controls().nextButton->isEnabled());
    EXPECT_TRUE(controls().nextButton->toolTip().isEmpty());
    EXPECT_FALSE(controls().permissionButton->isVisibleTo(&flow()));
    EXPECT_TRUE(controls().speech->isGranted());

    QTest::keyClick(delegate->mainWindow(), Qt::Key_Return);
    EXPECT_EQ(model->onboarding().step(), Step::shortcut);
}

TEST_F(OnboardingTest, deniedAccessReadsDeniedAndTheErrorIsShown)
{
    permissions->microphone = AuthorizationStatus::denied;
    launch();
    model->advanceOnboarding();
    EXPECT_EQ(controls().microphone->state(), QStringLiteral("Denied"));
    EXPECT_FALSE(controls().microphone->isGranted());
    EXPECT_FALSE(controls().permissionError->isVisibleTo(&flow()));
    model->setErrorMessage(QStringLiteral("Allow Orvanta in Settings → Sound → Input."));
    model->notifyChanged();
    EXPECT_TRUE(controls().permissionError->isVisibleTo(&flow()));
    EXPECT_EQ(controls().permissionError->text(), QStringLiteral("Allow Orvanta in Settings → Sound → Input."));
}

TEST_F(OnboardingTest, backAndSetUpLaterShowOnlyWhereTheyBelongAndThePageComesBeforeTheButtons)
{
    launch();
    const auto visible = [this](QWidget *widget) { return widget->isVisibleTo(&flow()); };
    EXPECT_FALSE(visible(controls().backButton));
    EXPECT_TRUE(visible(controls().laterButton));
    EXPECT_EQ(controls().nextButton->text(), QStringLiteral("&Continue"));
    // The page comes before the buttons, for Tab and for screen readers.
    const auto tabAfter = [&](QWidget *widget) {
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) || !visible(widget));
        return widget;
    };
    EXPECT_EQ(tabAfter(controls().loginCheckbox), controls().laterButton);
    EXPECT_EQ(tabAfter(controls().laterButton), controls().nextButton);
    const QWidget *column = controls().nextButton->parentWidget();
    EXPECT_LT(column->children().indexOf(controls().page->parentWidget()),
              column->children().indexOf(controls().nextButton));
    QCoreApplication::sendPostedEvents();
    const int headline = controls().heading->mapTo(&flow(), QPoint()).y();

    controls().nextButton->click();
    controls().nextButton->click();
    ASSERT_EQ(flow().renderedStep(), Step::shortcut);
    QCoreApplication::sendPostedEvents(); // the layouts settle
    EXPECT_EQ(controls().heading->mapTo(&flow(), QPoint()).y(), headline) << "the headline stays in place";
    EXPECT_TRUE(visible(controls().backButton));
    EXPECT_FALSE(visible(controls().laterButton));
    EXPECT_EQ(controls().nextButton->text(), QStringLiteral("&Open Orvanta"));
    EXPECT_EQ(controls().nextButton->accessibleName(), QStringLiteral("Open Orvanta"));

    controls().backButton->click();
    EXPECT_EQ(flow().renderedStep(), Step::permissions);
}

TEST_F(OnboardingTest, theKeysPageNamesTheConfiguredKeysAndItsNoteFollowsAccessibility)
{
    delivery->trusted = false;
    make();
    model->setShortcutNames({QStringLiteral("Right Alt"), QStringLiteral("Ctrl+F9")});
    model->advanceOnboarding();
    model->advanceOnboarding();
    ASSERT_EQ(flow().renderedStep(), Step::shortcut);
    const QList<QWidget *> caps = controls().page->findChildren<QWidget *>();
    QStringList names;
    for (const QWidget *widget : caps)
        if (widget->accessibleName().endsWith(QLatin1String(" key")))
            names.append(widget->accessibleName());
    EXPECT_EQ(names,
              (QStringList{QStringLiteral("Right Alt key"), QStringLiteral("Ctrl+F9 key"), QStringLiteral("Esc key")}));
    EXPECT_TRUE(controls().shortcutNote->text().startsWith(QStringLiteral("Enable Accessibility in Settings")));

    deliveryFake->trusted = true;
    model->refreshStatus();
    model->onboarding().goBack();
    model->notifyChanged();
    model->advanceOnboarding();
    EXPECT_TRUE(controls().shortcutNote->text().startsWith(QStringLiteral("If Right Alt does something else")));
}

// The states' boxes are the Settings page's test; here, the flow's own controls follow them.
TEST_F(OnboardingTest, theLoginItemFollowsTheRegistrationAndShowsItsError)
{
    launch();
    loginFake->registration = LoginStatus::requiresApproval;
    model->refreshStatus();
    EXPECT_EQ(controls().loginCheckbox->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(controls().loginStatus->text(), QStringLiteral("Needs approval"));
    EXPECT_TRUE(controls().loginSettings->isVisibleTo(&flow()));
    controls().loginCheckbox->click(); // awaiting approval counts as on: switches off
    EXPECT_EQ(loginFake->setEnabledCalls, QList<bool>{false});
    EXPECT_FALSE(controls().loginError->isVisibleTo(&flow()));
    loginFake->error = QStringLiteral("Couldn’t enable launch at login. Disk full.");
    model->notifyChanged();
    EXPECT_TRUE(controls().loginError->isVisibleTo(&flow()));
    EXPECT_EQ(controls().loginError->text(), *loginFake->error);
}

TEST_F(OnboardingTest, enableAccessibilitySaysWhatItDoesBeforeSwitchingItOn)
{
    delivery->trusted = false;
    launch();
    model->advanceOnboarding();
    const auto prompt = [this] {
        return delegate->mainWindow()->findChild<QMessageBox *>(QLatin1String(ui::accessibilityPromptName));
    };
    controls().accessibilityButton->click();
    ASSERT_NE(prompt(), nullptr);
    EXPECT_EQ(prompt()->text(), QStringLiteral("Switch on accessibility for this desktop session?"));
    prompt()->button(QMessageBox::Cancel)->click();
    QApplication::processEvents();
    EXPECT_EQ(desktopFake->enableCalls, 0);

    controls().accessibilityButton->click();
    ASSERT_NE(prompt(), nullptr);
    QAbstractButton *enable = prompt()->buttons().at(0);
    ASSERT_EQ(enable->text(), QStringLiteral("Enable"));
    enable->click();
    EXPECT_EQ(desktopFake->enableCalls, 1);
    deliveryFake->trusted = true;
    scheduler.advanceSeconds(1.2);
    EXPECT_FALSE(controls().accessibilityButton->isVisibleTo(&flow()));
    EXPECT_EQ(controls().accessibility->accessibleName(), QStringLiteral("Accessibility: Enabled"));
}
