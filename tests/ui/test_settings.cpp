#include "tests/support/FakeMicrophones.h"
#include "tests/support/QtPrinters.h"
#include "tests/ui/PagesHarness.h"
#include "ui/LinuxChoicesCard.h"
#include "ui/MicrophoneChooser.h"
#include "ui/SessionKeysCard.h"
#include "ui/SettingsViewController.h"
#include "ui/ShortcutField.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;
using ui::SettingsViewController;
using LoginStatus = AbstractLoginItemController::Status;

namespace {

class SettingsPageTest : public PagesTest
{
protected:
    SettingsViewController &page()
    {
        if (!model)
            seed({u"kept for later"_s}, {entry(u"teh"_s, u"the"_s, true)});
        return shownOnce(m_page, {900, 1400}, *model, &choices);
    }
    ui::LinuxChoicesCard &card() { return *page().linuxChoices(); }

    std::unique_ptr<SettingsViewController> m_page;
};

} // namespace

TEST_F(SettingsPageTest, theLoginItemShowsEachOfItsStatesAndTheOtherStatusesReadShortWithTheFullSentenceBehind)
{
    page();
    for (const auto &[status, box, detailShown, folderShown] :
         {std::tuple{LoginStatus::notRegistered, Qt::Unchecked, false, false},
          std::tuple{LoginStatus::enabled, Qt::Checked, false, false},
          std::tuple{LoginStatus::requiresApproval, Qt::PartiallyChecked, true, true},
          std::tuple{LoginStatus::notFound, Qt::Unchecked, true, false}}) {
        loginFake->registration = status;
        model->refreshStatus();
        SCOPED_TRACE(page().loginDetail()->text().toStdString());
        EXPECT_EQ(page().launchAtLogin()->checkState(), box);
        EXPECT_EQ(page().loginDetail()->isVisible(), detailShown);
        EXPECT_EQ(page().loginSettingsButton()->isVisible(), folderShown);
    }
    EXPECT_EQ(page().loginDetail()->text(), u"App unavailable"_s);

    // Needing approval counts as on: a click switches it off.
    loginFake->registration = LoginStatus::requiresApproval;
    model->refreshStatus();
    page().launchAtLogin()->click();
    EXPECT_EQ(loginFake->setEnabledCalls, QList<bool>{false});
    EXPECT_EQ(page().launchAtLogin()->checkState(), Qt::Unchecked);
    EXPECT_FALSE(page().loginError()->isVisible());
    loginFake->error = u"Couldn’t enable launch at login. The folder is read-only."_s;
    page().launchAtLogin()->click();
    EXPECT_EQ(page().loginError()->text(), *loginFake->error);
    EXPECT_TRUE(page().loginError()->isVisible());

    // The other statuses read short with the full sentence behind.
    const QString interrupted = u"Right Ctrl was interrupted. Release the key before trying again."_s;
    model->setFnShortcutStatus(interrupted);
    EXPECT_EQ(page().shortcutDetail()->text(), u"Right Ctrl interrupted — release the key"_s);
    EXPECT_EQ(page().shortcutDetail()->toolTip(), interrupted);
    EXPECT_TRUE(page().shortcutDetail()->isVisible());
    model->setFnShortcutStatus(u"Hold Right Ctrl to speak; release to finish."_s);
    EXPECT_FALSE(page().shortcutDetail()->isVisible()) << "the working state says nothing";
    EXPECT_EQ(page().holdKeyCap()->accessibleName(), u"Right Ctrl key"_s);

    permissionsFake->microphone = AuthorizationStatus::denied;
    model->refreshStatus();
    EXPECT_EQ(page().microphoneDetail()->text(), u"Denied"_s);
    EXPECT_EQ(page().microphoneDetail()->toolTip(), model->microphoneStatus());
    EXPECT_EQ(page().accessibilityDetail()->text(), u"Enabled"_s);
}

TEST_F(SettingsPageTest, aStoredLanguageNoLongerOfferedStaysLastAndSelectedAndPopupsRestDuringADictation)
{
    speech->localesAnswer = QStringList{u"en-US"_s, u"de-DE"_s};
    page();
    model->setPreferences(Preferences{.localeIdentifier = u"fr-CA"_s});
    model->notifyChanged();
    EXPECT_EQ(page().localeIDs(), (QStringList{u"en-US"_s, u"de-DE"_s, u"fr-CA"_s}));
    EXPECT_EQ(page().localePopup()->currentText(), u"French (Canada)"_s) << "by name, not by code";
    EXPECT_EQ(SettingsViewController::localeTitle(u"xx-YY"_s), u"xx-YY"_s);

    page().localePopup()->setCurrentIndex(1);
    page().changeLanguage(1);
    EXPECT_EQ(savedLibrary().preferences.localeIdentifier, u"de-DE"_s);
    page().formattingChanged(2);
    EXPECT_EQ(savedLibrary().preferences.mode, DictationMode::structured);
    EXPECT_EQ(page().modePopup()->toolTip(), modeDescription(DictationMode::structured));

    const QList<QWidget *> resting = {page().localePopup(), page().modePopup(), card().holdKeyPopup(),
                                      card().toggleField()};
    startRecording();
    for (const QWidget *popup : resting)
        EXPECT_FALSE(popup->isEnabled()) << popup->accessibleName().toStdString();
    model->cancelDictation();
    for (const QWidget *popup : resting)
        EXPECT_TRUE(popup->isEnabled()) << popup->accessibleName().toStdString();
}

TEST_F(SettingsPageTest, learningOffEndsTheWatchAtOnceAndHistoryOffKeepsTheDictionary)
{
    page();
    dictate(u"send it to Jon"_s);
    ASSERT_TRUE(deliveryFake->deliverCalls.last().observe);
    deliveryFake->calls.clear();
    page().learning()->click();
    EXPECT_EQ(deliveryFake->calls, QStringList{u"stopObservation"_s});
    EXPECT_FALSE(savedLibrary().preferences.autoLearn);
    deliveryFake->reportCorrection(u"send it to Jon"_s, u"send it to John"_s);
    EXPECT_EQ(model->dictionary().size(), 1) << "no correction from the ended watch is learned";

    page().history()->click();
    auto *question = page().window()->findChild<QMessageBox *>(u"OrvantaHistoryOff"_s);
    ASSERT_NE(question, nullptr) << "nothing is deleted without a question";
    EXPECT_EQ(question->informativeText(), u"Deletes the 2 saved dictations. Keeps your dictionary."_s);
    EXPECT_EQ(question->defaultButton(), question->escapeButton()) << "Return keeps the history";
    EXPECT_FALSE(model->history().isEmpty());
    question->buttons().last()->click(); // "Delete History"
    EXPECT_TRUE(model->history().isEmpty());
    EXPECT_EQ(savedLibrary().dictionary.size(), 1) << "the dictionary is kept";
    EXPECT_FALSE(page().history()->isChecked());
}

TEST_F(SettingsPageTest, theToggleIsARecorderOfPressedCombinationsAndSaysWhyOneIsRefused)
{
    page();
    ui::ShortcutField *field = card().toggleField();
    field->setFocus();
    QFocusEvent focusIn(QEvent::FocusIn);
    QCoreApplication::sendEvent(field, &focusIn);
    EXPECT_TRUE(field->text().isEmpty()) << "recording shows its prompt";
    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(choices.toggle(), u"Ctrl+Alt+K"_s);
    EXPECT_EQ(field->text(), u"Ctrl+Alt+K"_s);
    EXPECT_TRUE(card().resetButton()->isEnabled());

    QTest::keyClick(field, Qt::Key_X); // typing never lands in the field as text
    EXPECT_EQ(choices.toggle(), u"Ctrl+Alt+K"_s) << "refused";
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_TRUE(card().toggleError()->isVisible());
    EXPECT_TRUE(card().toggleError()->text().startsWith(u"“X” is not a shortcut"_s));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(field->text(), u"Ctrl+Alt+K"_s) << "Escape keeps the current one";
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_TRUE(field->text().isEmpty()) << "Backspace clears to record again";
    QTest::keyClick(field, Qt::Key_F8, Qt::ShiftModifier | Qt::MetaModifier);
    EXPECT_EQ(choices.toggle(), u"Shift+Super+F8"_s);
    EXPECT_FALSE(card().toggleError()->isVisible());

    card().resetButton()->click();
    EXPECT_EQ(choices.toggle(), u"Ctrl+Alt+Space"_s);
    EXPECT_FALSE(card().resetButton()->isEnabled());
}

TEST_F(SettingsPageTest, theModelAndSpeechServersTakeOnlyThisComputerAndCheckAsksThemNow)
{
    page();
    card().endpointField()->setText(u"http://192.168.1.20:8080"_s);
    notifyNothing();
    EXPECT_EQ(card().endpointField()->text(), u"http://192.168.1.20:8080"_s) << "typing is not disturbed";
    QTest::keyClick(card().endpointField(), Qt::Key_Return);
    EXPECT_EQ(choices.languageModelEndpoint(), u"http://127.0.0.1:8080"_s);
    EXPECT_TRUE(card().endpointError()->isVisible());
    EXPECT_TRUE(card().endpointError()->text().contains(u"is not on this computer"_s));

    card().endpointField()->setText(u"http://localhost:9000"_s);
    QTest::keyClick(card().endpointField(), Qt::Key_Return);
    EXPECT_EQ(choices.languageModelEndpoint(), u"http://localhost:9000"_s);
    EXPECT_FALSE(card().endpointError()->isVisible());

    formatterFake->holdRefresh = true;
    formatterFake->status = u"A model server is ready."_s;
    card().checkButton()->click();
    EXPECT_EQ(formatterFake->refreshCalls, 1);
    EXPECT_EQ(card().modelStatus()->text(), u"Checking Built-in rules…"_s);
    formatterFake->refreshes.first().resolve(true);
    EXPECT_TRUE(card().modelStatus()->text().endsWith(u"Last check: A model server is ready."_s));
    EXPECT_EQ(card().modelName()->text(), u"Built-in rules"_s);

    const QString folder = QFileInfo(libraryPath()).absolutePath();
    EXPECT_EQ(card().libraryFolder()->text(), folder);
    card().openFolderButton()->click();
    EXPECT_EQ(desktopFake->openedUrls, QList<QUrl>{QUrl::fromLocalFile(folder)});

    // The speech engine's server: one with a transcription API on this computer.
    EXPECT_EQ(card().speechEnginePopup()->currentIndex(), 0) << "PocketSphinx by default";
    EXPECT_FALSE(card().speechServerField()->isEnabled());
    for (QWidget *control : std::initializer_list<QWidget *>{card().speechEnginePopup(), card().speechServerField(),
                                                             card().checkSpeechButton()})
        EXPECT_FALSE(control->accessibleName().isEmpty());

    card().speechEnginePopup()->setCurrentIndex(1);
    card().chooseSpeechEngine(1);
    EXPECT_EQ(choices.speechEngine(), LinuxSettings::SpeechEngineChoice::server);
    EXPECT_TRUE(card().speechServerField()->isEnabled());

    // An address the settings refuse (which ones: their own test) shows why and keeps the stored one.
    card().speechServerField()->setText(u"http://10.0.0.7:8178/inference"_s);
    QTest::keyClick(card().speechServerField(), Qt::Key_Return);
    EXPECT_EQ(choices.speechServerEndpoint(), u"http://127.0.0.1:8178/inference"_s);
    EXPECT_TRUE(card().speechServerError()->isVisible());
    card().speechServerField()->setText(u"http://localhost:9000/v1/audio/transcriptions"_s);
    QTest::keyClick(card().speechServerField(), Qt::Key_Return);
    EXPECT_EQ(choices.speechServerEndpoint(), u"http://localhost:9000/v1/audio/transcriptions"_s);
    EXPECT_FALSE(card().speechServerError()->isVisible());

    int checks = 0;
    choices.speechEngineStatus().onCheck = [&] {
        ++checks;
        choices.speechEngineStatus().report(u"Whisper server"_s, u"Answering at http://localhost:9000."_s);
    };
    card().checkSpeechButton()->click();
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(card().speechEngineName()->text(), u"Whisper server"_s);
    EXPECT_EQ(card().speechEngineStatus()->text(), u"Answering at http://localhost:9000."_s);

    // Servers of other accounts: an account that does not exist is refused, the stored list kept.
    EXPECT_FALSE(card().accountsField()->accessibleName().isEmpty());
    card().accountsField()->setText(u"root, no-such-account-here"_s);
    QTest::keyClick(card().accountsField(), Qt::Key_Return);
    EXPECT_TRUE(choices.allowedServerAccounts().isEmpty());
    EXPECT_TRUE(card().accountsError()->text().contains(u"no-such-account-here"_s));
    card().accountsField()->setText(u"root"_s);
    QTest::keyClick(card().accountsField(), Qt::Key_Return);
    EXPECT_EQ(choices.allowedServerAccounts(), QStringList{u"root"_s});
    EXPECT_FALSE(card().accountsError()->isVisible());
}

// The list names the default first and the rest by description; a choice is kept at once; a chosen microphone
// that is unplugged stays listed. The meter listens only while the page is shown and no dictation runs.
TEST_F(SettingsPageTest, theMicrophoneListFollowsTheServerAndItsMeterListensOnlyWhileShownAndIdle)
{
    FakeMicrophones microphones;
    seed({});
    model->setMicrophones(&microphones);
    const auto detach = qScopeGuard([this] {
        m_page.reset();
        model->setMicrophones(nullptr);
    });
    const Microphone builtIn{u"builtin"_s, u"Built-in Audio"_s, true};
    microphones.setMicrophones({builtIn, {u"webcam"_s, u"Webcam C920"_s, false}});
    ui::MicrophoneChooser &chooser = *page().microphoneChooser();
    QComboBox *list = chooser.popup();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), u"Desktop default (Built-in Audio)"_s);
    EXPECT_EQ(list->itemText(2), u"Webcam C920"_s);
    ASSERT_TRUE(microphones.isMetering());
    microphones.meterLevel(0.5f);
    EXPECT_EQ(chooser.meter()->value(), 50);

    chooser.choose(2);
    EXPECT_EQ(microphones.chosen().name, u"webcam"_s);
    EXPECT_EQ(microphones.metered, u"webcam"_s) << "the meter follows the choice";
    microphones.setMicrophones({builtIn});
    EXPECT_EQ(list->currentText(), u"Webcam C920 (not connected)"_s);

    startRecording();
    EXPECT_FALSE(microphones.isMetering()) << "never while a dictation runs";
    model->cancelDictation();
    EXPECT_TRUE(microphones.isMetering());
    page().hide();
    EXPECT_FALSE(microphones.isMetering()) << "the page left";

    microphones.refusal = u"The settings file could not be written."_s;
    chooser.choose(0);
    EXPECT_FALSE(chooser.problem()->isHidden());
    EXPECT_EQ(microphones.chosen().name, u"webcam"_s);
}

// On X11 nothing about Wayland shows. On Wayland the card names what works here and the exact command; the
// GNOME button answers with what it did; the input-device opt-in is offered only to members of `input`
// and is stored. Every control has a name a screen reader reads.
TEST_F(SettingsPageTest, theWaylandKeysNameTheMechanismTheCommandAndOfferOnlyWhatThisSessionAllows)
{
    ui::SessionKeysCard &keys = *page().sessionKeys();
    EXPECT_FALSE(keys.isVisible()) << "X11";

    SessionKeysStatus &status = choices.sessionKeys();
    int added = 0;
    status.onAddDesktopShortcut = [&added]() -> Expected<QString, QString> {
        ++added;
        return u"Added to GNOME's keyboard shortcuts."_s;
    };
    SessionKeysStatus::State state{SessionKeysStatus::Mechanism::command, false, u"GNOME"_s, u"GNOME"_s, {}, {}};
    status.report(state);
    ASSERT_TRUE(keys.isVisible());
    EXPECT_TRUE(keys.mechanism()->text().contains(u"Bind the command"_s));
    EXPECT_EQ(keys.command()->text(), u"orvanta toggle"_s);
    EXPECT_FALSE(keys.inputDevices()->isVisible()) << "not in the input group";
    QTest::mouseClick(keys.desktopButton(), Qt::LeftButton);
    EXPECT_EQ(added, 1);
    EXPECT_EQ(keys.desktopResult()->text(), u"Added to GNOME's keyboard shortcuts."_s);

    // The portal on KDE with the toggle bound to Meta+D, for a member of `input`.
    state = {SessionKeysStatus::Mechanism::portal, true, {}, u"KDE"_s, {}, u"Meta+D"_s};
    status.report(state);
    EXPECT_TRUE(keys.mechanism()->text().contains(u"(Meta+D)"_s));
    EXPECT_FALSE(keys.desktopButton()->isVisible()) << "only where GNOME runs";
    ASSERT_TRUE(keys.inputDevices()->isVisible());
    EXPECT_TRUE(keys.inputDevices()->accessibleDescription().contains(u"every key you press"_s));
    keys.inputDevices()->click();
    EXPECT_TRUE(choices.readsInputDevices());

    ASSERT_TRUE(choices.setToggle(u"Super+Shift+D"_s));
    state.desktop = u"sway"_s;
    status.report(state);
    EXPECT_TRUE(keys.hint()->text().contains(u"bindsym Shift+Mod4+d exec orvanta toggle"_s))
        << "the user's toggle, in sway's words: " << keys.hint()->text().toStdString();

    for (QWidget *control : std::initializer_list<QWidget *>{keys.mechanism(), keys.command(), keys.copyButton(),
                                                             keys.desktopButton(), keys.inputDevices()})
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
}

TEST_F(SettingsPageTest, everyListIsNamedByTheLabelBesideIt)
{
    // A list's own accessible name on Linux is its current value: a screen reader says what it is for only
    // through the label that names it, and only when that label sits beside the list itself.
    const auto lists = page().findChildren<QComboBox *>();
    ASSERT_GE(lists.size(), 4);
    for (QComboBox *list : lists) {
        SCOPED_TRACE(list->accessibleName().toStdString());
        const auto labels = QAccessible::queryAccessibleInterface(list)->relations(QAccessible::Label);
        ASSERT_EQ(labels.size(), 1);
        EXPECT_FALSE(labels.front().first->text(QAccessible::Name).isEmpty());
    }
}
