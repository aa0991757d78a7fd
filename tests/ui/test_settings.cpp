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
using ui::SettingsViewController;
using LoginStatus = AbstractLoginItemController::Status;

namespace {

class SettingsPageTest : public PagesTest
{
protected:
    SettingsViewController &page()
    {
        if (!model)
            seed({QStringLiteral("kept for later")}, {entry(QStringLiteral("teh"), QStringLiteral("the"), true)});
        return shownOnce(m_page, {900, 1400}, *model, &choices);
    }
    ui::LinuxChoicesCard &card() { return *page().linuxChoices(); }

    std::unique_ptr<SettingsViewController> m_page;
};

} // namespace

TEST_F(SettingsPageTest, theLoginItemShowsEachOfItsStatesAndTheBoxFollowsTheRegistration)
{
    page();
    const struct
    {
        LoginStatus status;
        Qt::CheckState box;
        bool detailShown, folderShown;
    } cases[] = {{LoginStatus::notRegistered, Qt::Unchecked, false, false},
                 {LoginStatus::enabled, Qt::Checked, false, false},
                 {LoginStatus::requiresApproval, Qt::PartiallyChecked, true, true},
                 {LoginStatus::notFound, Qt::Unchecked, true, false}};
    for (const auto &c : cases) {
        loginFake->registration = c.status;
        model->refreshStatus();
        SCOPED_TRACE(page().loginDetail()->text().toStdString());
        EXPECT_EQ(page().launchAtLogin()->checkState(), c.box);
        EXPECT_EQ(page().loginDetail()->isVisible(), c.detailShown);
        EXPECT_EQ(page().loginSettingsButton()->isVisible(), c.folderShown);
    }
    EXPECT_EQ(page().loginDetail()->text(), QStringLiteral("App unavailable"));

    // Needing approval counts as on: a click switches it off.
    loginFake->registration = LoginStatus::requiresApproval;
    model->refreshStatus();
    page().launchAtLogin()->click();
    EXPECT_EQ(loginFake->setEnabledCalls, QList<bool>{false});
    EXPECT_EQ(page().launchAtLogin()->checkState(), Qt::Unchecked);
    EXPECT_FALSE(page().loginError()->isVisible());
    loginFake->error = QStringLiteral("Couldn’t enable launch at login. The folder is read-only.");
    page().launchAtLogin()->click();
    EXPECT_EQ(page().loginError()->text(), *loginFake->error);
    EXPECT_TRUE(page().loginError()->isVisible());
}

TEST_F(SettingsPageTest, aStoredLanguageNoLongerOfferedStaysLastAndSelectedAndPopupsRestDuringADictation)
{
    speech->localesAnswer = QStringList{QStringLiteral("en-US"), QStringLiteral("de-DE")};
    page();
    Preferences preferences = model->preferences();
    preferences.localeIdentifier = QStringLiteral("fr-CA");
    model->setPreferences(preferences);
    model->notifyChanged();
    EXPECT_EQ(page().localeIDs(),
              (QStringList{QStringLiteral("en-US"), QStringLiteral("de-DE"), QStringLiteral("fr-CA")}));
    EXPECT_EQ(page().localePopup()->currentText(), QStringLiteral("French (Canada)")) << "by name, not by code";
    EXPECT_EQ(SettingsViewController::localeTitle(QStringLiteral("xx-YY")), QStringLiteral("xx-YY"));

    page().localePopup()->setCurrentIndex(1);
    page().changeLanguage(1);
    EXPECT_EQ(savedLibrary().preferences.localeIdentifier, QStringLiteral("de-DE"));
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

TEST_F(SettingsPageTest, statusesReadShortWithTheFullSentenceBehind)
{
    page();
    const QString interrupted = QStringLiteral("Right Ctrl was interrupted. Release the key before trying again.");
    model->setFnShortcutStatus(interrupted);
    EXPECT_EQ(page().shortcutDetail()->text(), QStringLiteral("Right Ctrl interrupted — release the key"));
    EXPECT_EQ(page().shortcutDetail()->toolTip(), interrupted);
    EXPECT_TRUE(page().shortcutDetail()->isVisible());
    model->setFnShortcutStatus(QStringLiteral("Hold Right Ctrl to speak; release to finish."));
    EXPECT_FALSE(page().shortcutDetail()->isVisible()) << "the working state says nothing";
    EXPECT_EQ(page().holdKeyCap()->accessibleName(), QStringLiteral("Right Ctrl key"));

    permissionsFake->microphone = AuthorizationStatus::denied;
    model->refreshStatus();
    EXPECT_EQ(page().microphoneDetail()->text(), QStringLiteral("Denied"));
    EXPECT_EQ(page().microphoneDetail()->toolTip(), model->microphoneStatus());
    EXPECT_EQ(page().accessibilityDetail()->text(), QStringLiteral("Enabled"));
}

TEST_F(SettingsPageTest, learningOffEndsTheWatchAtOnceAndHistoryOffKeepsTheDictionary)
{
    page();
    dictate(QStringLiteral("send it to Jon"));
    ASSERT_TRUE(deliveryFake->deliverCalls.last().observe);
    deliveryFake->calls.clear();
    page().learning()->click();
    EXPECT_EQ(deliveryFake->calls, QStringList{QStringLiteral("stopObservation")});
    EXPECT_FALSE(savedLibrary().preferences.autoLearn);
    deliveryFake->reportCorrection(QStringLiteral("send it to Jon"), QStringLiteral("send it to John"));
    EXPECT_EQ(model->dictionary().size(), 1) << "no correction from the ended watch is learned";

    page().history()->click();
    auto *question = page().window()->findChild<QMessageBox *>(QStringLiteral("OrvantaHistoryOff"));
    ASSERT_NE(question, nullptr) << "nothing is deleted without a question";
    EXPECT_EQ(question->informativeText(), QStringLiteral("Deletes the 2 saved dictations. Keeps your dictionary."));
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
    EXPECT_TRUE(field->text().isEmpty()) << "recording shows \"" << field->placeholderText().toStdString() << '"';
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Press a shortcut…"));
    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(choices.toggle(), QStringLiteral("Ctrl+Alt+K"));
    EXPECT_EQ(field->text(), QStringLiteral("Ctrl+Alt+K"));
    EXPECT_TRUE(card().resetButton()->isEnabled());

    QTest::keyClick(field, Qt::Key_X); // typing never lands in the field as text
    EXPECT_EQ(choices.toggle(), QStringLiteral("Ctrl+Alt+K")) << "refused";
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_TRUE(card().toggleError()->isVisible());
    EXPECT_TRUE(card().toggleError()->text().startsWith(QStringLiteral("“X” is not a shortcut")));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(field->text(), QStringLiteral("Ctrl+Alt+K")) << "Escape keeps the current one";
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_TRUE(field->text().isEmpty()) << "Backspace clears to record again";
    QTest::keyClick(field, Qt::Key_F8, Qt::ShiftModifier | Qt::MetaModifier);
    EXPECT_EQ(choices.toggle(), QStringLiteral("Shift+Super+F8"));
    EXPECT_FALSE(card().toggleError()->isVisible());

    card().resetButton()->click();
    EXPECT_EQ(choices.toggle(), QStringLiteral("Ctrl+Alt+Space"));
    EXPECT_FALSE(card().resetButton()->isEnabled());
}

TEST_F(SettingsPageTest, theModelServerTakesOnlyThisComputerAndCheckAsksItNow)
{
    page();
    card().endpointField()->setText(QStringLiteral("http://192.168.1.20:8080"));
    notifyNothing();
    EXPECT_EQ(card().endpointField()->text(), QStringLiteral("http://192.168.1.20:8080")) << "typing is not disturbed";
    QTest::keyClick(card().endpointField(), Qt::Key_Return);
    EXPECT_EQ(choices.languageModelEndpoint(), QStringLiteral("http://127.0.0.1:8080"));
    EXPECT_TRUE(card().endpointError()->isVisible());
    EXPECT_TRUE(card().endpointError()->text().contains(QStringLiteral("is not on this computer")));

    card().endpointField()->setText(QStringLiteral("http://localhost:9000"));
    QTest::keyClick(card().endpointField(), Qt::Key_Return);
    EXPECT_EQ(choices.languageModelEndpoint(), QStringLiteral("http://localhost:9000"));
    EXPECT_FALSE(card().endpointError()->isVisible());

    formatterFake->holdRefresh = true;
    formatterFake->status = QStringLiteral("A model server is ready.");
    card().checkButton()->click();
    EXPECT_EQ(formatterFake->refreshCalls, 1);
    EXPECT_EQ(card().modelStatus()->text(), QStringLiteral("Checking Built-in rules…"));
    formatterFake->refreshes.first().resolve(true);
    EXPECT_TRUE(card().modelStatus()->text().endsWith(QStringLiteral("Last check: A model server is ready.")));
    EXPECT_EQ(card().modelName()->text(), QStringLiteral("Built-in rules"));

    const QString folder = QFileInfo(libraryPath()).absolutePath();
    EXPECT_EQ(card().libraryFolder()->text(), folder);
    card().openFolderButton()->click();
    EXPECT_EQ(desktopFake->openedUrls, QList<QUrl>{QUrl::fromLocalFile(folder)});
}

TEST_F(SettingsPageTest, theSpeechEngineChoiceTakesALocalServerWithATranscriptionApiAndCheckAsksIt)
{
    page();
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
    card().speechServerField()->setText(QStringLiteral("http://10.0.0.7:8178/inference"));
    QTest::keyClick(card().speechServerField(), Qt::Key_Return);
    EXPECT_EQ(choices.speechServerEndpoint(), QStringLiteral("http://127.0.0.1:8178/inference"));
    EXPECT_TRUE(card().speechServerError()->isVisible());
    card().speechServerField()->setText(QStringLiteral("http://localhost:9000/v1/audio/transcriptions"));
    QTest::keyClick(card().speechServerField(), Qt::Key_Return);
    EXPECT_EQ(choices.speechServerEndpoint(), QStringLiteral("http://localhost:9000/v1/audio/transcriptions"));
    EXPECT_FALSE(card().speechServerError()->isVisible());

    int checks = 0;
    choices.speechEngineStatus().onCheck = [&] {
        ++checks;
        choices.speechEngineStatus().report(QStringLiteral("Whisper server"),
                                            QStringLiteral("Answering at http://localhost:9000."));
    };
    card().checkSpeechButton()->click();
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(card().speechEngineName()->text(), QStringLiteral("Whisper server"));
    EXPECT_EQ(card().speechEngineStatus()->text(), QStringLiteral("Answering at http://localhost:9000."));

    // Servers of other accounts: an account that does not exist is refused, the stored list kept.
    EXPECT_FALSE(card().accountsField()->accessibleName().isEmpty());
    card().accountsField()->setText(QStringLiteral("root, no-such-account-here"));
    QTest::keyClick(card().accountsField(), Qt::Key_Return);
    EXPECT_TRUE(choices.allowedServerAccounts().isEmpty());
    EXPECT_TRUE(card().accountsError()->text().contains(QStringLiteral("no-such-account-here")));
    card().accountsField()->setText(QStringLiteral("root"));
    QTest::keyClick(card().accountsField(), Qt::Key_Return);
    EXPECT_EQ(choices.allowedServerAccounts(), QStringList{QStringLiteral("root")});
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
    const Microphone builtIn{QStringLiteral("builtin"), QStringLiteral("Built-in Audio"), true};
    microphones.setMicrophones({builtIn, {QStringLiteral("webcam"), QStringLiteral("Webcam C920"), false}});
    ui::MicrophoneChooser &chooser = *page().microphoneChooser();
    QComboBox *list = chooser.popup();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), QStringLiteral("Desktop default (Built-in Audio)"));
    EXPECT_EQ(list->itemText(2), QStringLiteral("Webcam C920"));
    ASSERT_TRUE(microphones.isMetering());
    microphones.meterLevel(0.5f);
    EXPECT_EQ(chooser.meter()->value(), 50);

    chooser.choose(2);
    EXPECT_EQ(microphones.chosen().name, QStringLiteral("webcam"));
    EXPECT_EQ(microphones.metered, QStringLiteral("webcam")) << "the meter follows the choice";
    microphones.setMicrophones({builtIn});
    EXPECT_EQ(list->currentText(), QStringLiteral("Webcam C920 (not connected)"));

    startRecording();
    EXPECT_FALSE(microphones.isMetering()) << "never while a dictation runs";
    model->cancelDictation();
    EXPECT_TRUE(microphones.isMetering());
    page().hide();
    EXPECT_FALSE(microphones.isMetering()) << "the page left";

    microphones.refusal = QStringLiteral("The settings file could not be written.");
    chooser.choose(0);
    EXPECT_FALSE(chooser.problem()->isHidden());
    EXPECT_EQ(microphones.chosen().name, QStringLiteral("webcam"));
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
        return QStringLiteral("Added to GNOME's keyboard shortcuts.");
    };
    SessionKeysStatus::State state;
    state.mechanism = SessionKeysStatus::Mechanism::command;
    state.desktop = state.desktopWithShortcuts = QStringLiteral("GNOME");
    status.report(state);
    ASSERT_TRUE(keys.isVisible());
    EXPECT_TRUE(keys.mechanism()->text().contains(QStringLiteral("Bind the command")));
    EXPECT_EQ(keys.command()->text(), QStringLiteral("orvanta toggle"));
    EXPECT_FALSE(keys.inputDevices()->isVisible()) << "not in the input group";
    QTest::mouseClick(keys.desktopButton(), Qt::LeftButton);
    EXPECT_EQ(added, 1);
    EXPECT_EQ(keys.desktopResult()->text(), QStringLiteral("Added to GNOME's keyboard shortcuts."));

    // The portal on KDE with the toggle bound to Meta+D, for a member of `input`.
    state = {SessionKeysStatus::Mechanism::portal, true, {}, QStringLiteral("KDE"), {}, QStringLiteral("Meta+D")};
    status.report(state);
    EXPECT_TRUE(keys.mechanism()->text().contains(QStringLiteral("(Meta+D)")));
    EXPECT_FALSE(keys.desktopButton()->isVisible()) << "only where GNOME runs";
    ASSERT_TRUE(keys.inputDevices()->isVisible());
    EXPECT_TRUE(keys.inputDevices()->accessibleDescription().contains(QStringLiteral("every key you press")));
    keys.inputDevices()->click();
    EXPECT_TRUE(choices.readsInputDevices());

    ASSERT_TRUE(choices.setToggle(QStringLiteral("Super+Shift+D")));
    state.desktop = QStringLiteral("sway");
    status.report(state);
    EXPECT_TRUE(keys.hint()->text().contains(QStringLiteral("bindsym Shift+Mod4+d exec orvanta toggle")))
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
