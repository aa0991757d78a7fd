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
using namespace Qt::StringLiterals;
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
    EXPECT_EQ(controls().microphone->accessibleName(), u"Microphone: Allowed"_s);
    EXPECT_TRUE(controls().microphone->isGranted());
    EXPECT_EQ(controls().speech->state(), u"Not requested"_s);

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

TEST_F(OnboardingTest, theLoginItemFollowsTheRegistrationAndBackAndSetUpLaterShowOnlyWhereTheyBelong)
{
    launch();
    const auto visible = [this](QWidget *widget) { return widget->isVisibleTo(&flow()); };
    EXPECT_FALSE(visible(controls().backButton));
    EXPECT_TRUE(visible(controls().laterButton));
    EXPECT_EQ(controls().nextButton->text(), u"&Continue"_s);
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
    EXPECT_EQ(controls().nextButton->text(), u"&Open Orvanta"_s);
    EXPECT_EQ(controls().nextButton->accessibleName(), u"Open Orvanta"_s);

    controls().backButton->click();
    EXPECT_EQ(flow().renderedStep(), Step::permissions);
    controls().backButton->click();

    // The states' boxes are the Settings page's test; here, the flow's own controls follow them.
    loginFake->registration = LoginStatus::requiresApproval;
    model->refreshStatus();
    EXPECT_EQ(controls().loginCheckbox->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(controls().loginStatus->text(), u"Needs approval"_s);
    EXPECT_TRUE(controls().loginSettings->isVisibleTo(&flow()));
    controls().loginCheckbox->click(); // awaiting approval counts as on: switches off
    EXPECT_EQ(loginFake->setEnabledCalls, QList<bool>{false});
    EXPECT_FALSE(controls().loginError->isVisibleTo(&flow()));
    loginFake->error = u"Couldn’t enable launch at login. Disk full."_s;
    model->notifyChanged();
    EXPECT_TRUE(controls().loginError->isVisibleTo(&flow()));
    EXPECT_EQ(controls().loginError->text(), *loginFake->error);
}

TEST_F(OnboardingTest, theKeysPageNamesTheConfiguredKeysAndItsNoteFollowsAccessibility)
{
    delivery->trusted = false;
    make();
    model->setShortcutNames({u"Right Alt"_s, u"Ctrl+F9"_s});
    model->advanceOnboarding();
    model->advanceOnboarding();
    ASSERT_EQ(flow().renderedStep(), Step::shortcut);
    QStringList names;
    for (const QWidget *widget : controls().page->findChildren<QWidget *>())
        if (widget->accessibleName().endsWith(u" key"_s))
            names.append(widget->accessibleName());
    EXPECT_EQ(names, (QStringList{u"Right Alt key"_s, u"Ctrl+F9 key"_s, u"Esc key"_s}));
    EXPECT_TRUE(controls().shortcutNote->text().startsWith(u"Enable Accessibility in Settings"_s));

    deliveryFake->trusted = true;
    model->refreshStatus();
    model->onboarding().goBack();
    model->notifyChanged();
    model->advanceOnboarding();
    EXPECT_TRUE(controls().shortcutNote->text().startsWith(u"If Right Alt does something else"_s));
}

TEST_F(OnboardingTest, deniedAccessReadsDeniedAndEnableAccessibilitySaysWhatItDoesBeforeSwitchingItOn)
{
    permissions->microphone = AuthorizationStatus::denied;
    delivery->trusted = false;
    launch();
    model->advanceOnboarding();
    EXPECT_EQ(controls().microphone->state(), u"Denied"_s);
    EXPECT_FALSE(controls().microphone->isGranted());
    EXPECT_FALSE(controls().permissionError->isVisibleTo(&flow()));
    model->setErrorMessage(u"Allow Orvanta in Settings → Sound → Input."_s);
    model->notifyChanged();
    EXPECT_EQ(controls().permissionError->text(), u"Allow Orvanta in Settings → Sound → Input."_s);
    EXPECT_TRUE(controls().permissionError->isVisibleTo(&flow()));

    const auto prompt = [this] {
        return delegate->mainWindow()->findChild<QMessageBox *>(QLatin1String(ui::accessibilityPromptName));
    };
    controls().accessibilityButton->click();
    ASSERT_NE(prompt(), nullptr);
    EXPECT_EQ(prompt()->text(), u"Switch on accessibility for this desktop session?"_s);
    prompt()->button(QMessageBox::Cancel)->click();
    QApplication::processEvents();
    EXPECT_EQ(desktopFake->enableCalls, 0);

    controls().accessibilityButton->click();
    ASSERT_NE(prompt(), nullptr);
    QAbstractButton *enable = prompt()->buttons().at(0);
    ASSERT_EQ(enable->text(), u"Enable"_s);
    enable->click();
    EXPECT_EQ(desktopFake->enableCalls, 1);
    deliveryFake->trusted = true;
    scheduler.advanceSeconds(1.2);
    EXPECT_FALSE(controls().accessibilityButton->isVisibleTo(&flow()));
    EXPECT_EQ(controls().accessibility->accessibleName(), u"Accessibility: Enabled"_s);
}
