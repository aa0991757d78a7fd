#include "ui/SettingsViewController.h"

#include "base/PlatformText.h"
#include "ui/AccessibilityPrompt.h"
#include "ui/Dialogs.h"
#include "ui/LinuxChoicesCard.h"
#include "ui/LoginItemText.h"
#include "ui/MicrophoneChooser.h"
#include "ui/SessionKeysCard.h"
#include "ui/SettingsLayout.h"
#include "ui/UIComponents.h"

#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace orv::ui {

namespace {

using LoginStatus = AbstractLoginItemController::Status;
namespace layout = settingslayout;

// A permission status as its detail shows it: "Denied — open …" reads just "Denied"; the full status is the
// tooltip and accessible description.
void showPermission(QLabel *detail, const QString &status)
{
    detail->setText(status.startsWith(QLatin1String("Denied")) ? QStringLiteral("Denied") : status);
    detail->setToolTip(status);
    detail->setAccessibleDescription(status);
}

QLabel *detailLabel()
{
    return label(QString(), 13, QFont::Normal, Tone::secondary);
}

// `title` as written on the button, with its mnemonic ("&&" for "&").
QPushButton *button(const QString &title, const QString &help = {})
{
    auto *result = new QPushButton(title);
    result->setAccessibleName(withoutMnemonic(title));
    if (!help.isEmpty())
        result->setAccessibleDescription(help);
    return result;
}

} // namespace

SettingsViewController::SettingsViewController(AppModel &model, LinuxSettings *choices, QWidget *parent)
    : QWidget(parent), m_model(model)
{
    setAccessibleName(QStringLiteral("Settings"));
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(pixelsForPoints(16));
    column->addWidget(label(QStringLiteral("Settings"), 26, QFont::Bold));
    column->addWidget(buildStartup());
    column->addWidget(buildDictation());
    column->addWidget(buildPrivacy());
    column->addWidget(buildPermissions());
    column->addWidget(buildShortcuts());
    if (choices) {
        m_linuxChoices = new LinuxChoicesCard(model, *choices);
        column->addWidget(m_linuxChoices);
        m_sessionKeys = new SessionKeysCard(*choices);
        column->addWidget(m_sessionKeys);
    }
    scrollingPage(this, content, 28);
    connect(&m_model, &AppModel::changed, this, &SettingsViewController::refresh);
    refresh();
}

SettingsViewController::~SettingsViewController() = default;

QWidget *SettingsViewController::buildStartup()
{
    m_launchAtLogin = new QCheckBox(QStringLiteral("Open Orvanta at login"));
    describe(m_launchAtLogin, QStringLiteral("Open Orvanta at login"),
             QStringLiteral("Starts Orvanta in the %1 when you log in to %2.")
                 .arg(platform::trayName(), platform::yourComputer()));
    connect(m_launchAtLogin, &QCheckBox::clicked, this, &SettingsViewController::changeLaunchAtLogin);
    m_loginDetail = detailLabel();
    m_loginError = label(QString(), 12, QFont::Normal, Tone::error, true);
    m_loginSettingsButton = button(QStringLiteral("Open A&utostart Folder…"),
                                   QStringLiteral("Opens the folder of the entries your desktop starts at login."));
    connect(m_loginSettingsButton, &QPushButton::clicked, this, &SettingsViewController::openLoginItems);
    QPushButton *setup = button(QStringLiteral("Show &Setup…"));
    connect(setup, &QPushButton::clicked, this, &SettingsViewController::showSetup);

    auto *content = new QVBoxLayout;
    content->setSpacing(pixelsForPoints(8));
    content->addWidget(m_launchAtLogin);
    content->addWidget(m_loginDetail);
    content->addWidget(m_loginError);
    content->addWidget(layout::row({m_loginSettingsButton, setup}));
    return layout::card(QStringLiteral("Startup"), content);
}

QWidget *SettingsViewController::buildDictation()
{
    m_localePopup = new QComboBox;
    describe(m_localePopup, QStringLiteral("Dictation language"),
             QStringLiteral("The language used by %1.").arg(m_model.speech().displayName()));
    connect(m_localePopup, &QComboBox::activated, this, &SettingsViewController::changeLanguage);
    m_modePopup = new QComboBox;
    for (DictationMode mode : allDictationModes)
        m_modePopup->addItem(rawValue(mode));
    m_modePopup->setAccessibleName(QStringLiteral("Formatting style"));
    connect(m_modePopup, &QComboBox::activated, this, &SettingsViewController::formattingChanged);

    QGridLayout *grid = layout::grid();
    layout::addRow(grid, QStringLiteral("Language"), m_localePopup);
    layout::addRow(grid, QStringLiteral("Formatting"), m_modePopup);
    m_microphoneChooser = new MicrophoneChooser(m_model);
    layout::addRow(grid, QStringLiteral("Microphone"), m_microphoneChooser)->setBuddy(m_microphoneChooser->popup());
    return layout::card(QStringLiteral("Dictation"), grid);
}

QWidget *SettingsViewController::buildPrivacy()
{
    m_learning = new QCheckBox(QStringLiteral("Learn corrections"));
    m_learning->setAccessibleName(m_learning->text());
    m_learning->setAccessibleDescription(QStringLiteral(
        "Learns preferred spellings when you correct recently dictated text. Password fields are excluded."));
    m_learning->setToolTip(QStringLiteral("Learn preferred spellings from your corrections. Your dictionary stays on "
                                          "%1; password fields are excluded. Review or remove entries in Dictionary.")
                               .arg(platform::thisComputer()));
    connect(m_learning, &QCheckBox::clicked, this, &SettingsViewController::changeLearning);
    m_history = new QCheckBox(QStringLiteral("Save history"));
    m_history->setAccessibleName(m_history->text());
    m_history->setAccessibleDescription(QStringLiteral("Stores recent transcripts locally on %1. Turning this off "
                                                       "clears saved dictations and stops saving new ones. Your "
                                                       "dictionary is kept.")
                                            .arg(platform::thisComputer()));
    m_history->setToolTip(
        QStringLiteral("Save recent dictations on %1. Turning this off clears history; your dictionary is kept.")
            .arg(platform::thisComputer()));
    connect(m_history, &QCheckBox::clicked, this, &SettingsViewController::changeHistory);

    auto *content = new QVBoxLayout;
    content->setSpacing(pixelsForPoints(8));
    content->addWidget(m_learning);
    content->addWidget(m_history);
    content->addWidget(label(QStringLiteral("Turning off clears history."), 11, QFont::Normal, Tone::secondary));
    return layout::card(QStringLiteral("Privacy"), content);
}

QWidget *SettingsViewController::buildPermissions()
{
    m_microphoneDetail = detailLabel();
    m_speechDetail = detailLabel();
    m_accessibilityDetail = detailLabel();
    QGridLayout *grid = layout::grid();
    layout::addRow(grid, QStringLiteral("Microphone"), m_microphoneDetail);
    layout::addRow(grid, QStringLiteral("Speech"), m_speechDetail);
    layout::addRow(grid, QStringLiteral("Accessibility"), m_accessibilityDetail);

    m_dictationButton =
        button(QStringLiteral("&Microphone && Speech…"),
               QStringLiteral(
                   "Requests microphone and speech recognition access. Both permissions are required for dictation."));
    m_dictationButton->setToolTip(QStringLiteral("Allow microphone capture and %1 speech recognition for dictation.")
                                      .arg(m_model.speech().displayName()));
    connect(m_dictationButton, &QPushButton::clicked, this, &SettingsViewController::requestDictation);
    m_accessibilityButton = button(QStringLiteral("A&ccessibility…"));
    connect(m_accessibilityButton, &QPushButton::clicked, this, &SettingsViewController::requestAccessibility);

    m_permissionNote = label(QString(), 12, QFont::Normal, Tone::secondary, true);
    m_permissionNote->hide();

    auto *content = new QVBoxLayout;
    content->setSpacing(pixelsForPoints(12));
    content->addLayout(grid);
    content->addWidget(layout::row({m_dictationButton, m_accessibilityButton}));
    content->addWidget(m_permissionNote);
    return layout::card(QStringLiteral("Permissions"), content);
}

QWidget *SettingsViewController::buildShortcuts()
{
    m_holdKeyCap = label(QString(), 13, QFont::DemiBold);
    m_holdMeaning = label(QStringLiteral("Hold to speak"), 13);
    m_toggleCap = label(QString(), 13, QFont::DemiBold);
    QLabel *escape = label(QStringLiteral("Esc"), 13, QFont::DemiBold);
    escape->setAccessibleName(QStringLiteral("Escape"));

    auto *grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(pixelsForPoints(8));
    grid->setHorizontalSpacing(pixelsForPoints(20));
    grid->setColumnStretch(1, 1);
    grid->addWidget(m_holdKeyCap, 0, 0);
    grid->addWidget(m_holdMeaning, 0, 1);
    grid->addWidget(m_toggleCap, 1, 0);
    grid->addWidget(label(QStringLiteral("Toggle"), 13), 1, 1);
    grid->addWidget(escape, 2, 0);
    grid->addWidget(label(QStringLiteral("Cancel"), 13), 2, 1);
    m_shortcutDetail = label(QString(), 12, QFont::Normal, Tone::secondary, true);

    auto *content = new QVBoxLayout;
    content->setSpacing(pixelsForPoints(10));
    content->addLayout(grid);
    content->addWidget(m_shortcutDetail);
    return layout::card(QStringLiteral("Shortcuts"), content);
}

SettingsViewController::Shown SettingsViewController::current() const
{
    const AbstractLoginItemController &login = m_model.loginItem();
    const Preferences &preferences = m_model.preferences();
    return {login.status(),
            login.errorMessage(),
            m_model.supportedLocales(),
            preferences.localeIdentifier,
            preferences.mode,
            preferences.autoLearn,
            preferences.retainHistory,
            m_model.microphoneStatus(),
            m_model.speechStatus(),
            m_model.accessibilityEnabled(),
            m_model.fnShortcutStatus(),
            m_model.shortcutNames(),
            m_model.phase() == RecordingPhase::idle};
}

void SettingsViewController::refresh()
{
    const Shown shown = current();
    if (m_shown == shown)
        return; // a level report or a tick: nothing here changed
    m_shown = shown;

    redrawLogin(shown);
    redrawLanguages(shown);
    const auto mode = std::find(allDictationModes.begin(), allDictationModes.end(), shown.mode);
    m_modePopup->setCurrentIndex(mode == allDictationModes.end() ? 0 : int(mode - allDictationModes.begin()));
    const QString description = modeDescription(allDictationModes.at(m_modePopup->currentIndex()));
    m_modePopup->setToolTip(description);
    m_modePopup->setAccessibleDescription(description);
    m_learning->setChecked(shown.autoLearn);
    m_history->setChecked(shown.retainHistory);
    showPermission(m_microphoneDetail, shown.microphoneStatus);
    showPermission(m_speechDetail, shown.speechStatus);
    m_accessibilityDetail->setText(shown.accessibilityEnabled ? QStringLiteral("Enabled")
                                                              : QStringLiteral("Not enabled"));
    m_accessibilityButton->setToolTip(
        shown.accessibilityEnabled
            ? QStringLiteral("Open Accessibility settings.")
            : QStringLiteral("Enable Accessibility for %1, text insertion, and correction learning.")
                  .arg(shown.keys.holdKey));
    m_accessibilityButton->setAccessibleDescription(
        QStringLiteral("Accessibility access enables the %1 shortcut, text insertion in other apps, and correction "
                       "learning.")
            .arg(shown.keys.holdKey));
    redrawKeys(shown);
    m_localePopup->setEnabled(shown.idle);
    m_modePopup->setEnabled(shown.idle);
}

void SettingsViewController::redrawLogin(const Shown &shown)
{
    const LoginStatus status = shown.loginStatus;
    m_launchAtLogin->setCheckState(status == LoginStatus::enabled            ? Qt::Checked
                                   : status == LoginStatus::requiresApproval ? Qt::PartiallyChecked
                                                                             : Qt::Unchecked);
    m_loginDetail->setText(loginStatusText(status));
    m_loginDetail->setVisible(status == LoginStatus::requiresApproval || status == LoginStatus::notFound);
    m_loginSettingsButton->setVisible(status == LoginStatus::requiresApproval);
    m_loginError->setText(shown.loginError.value_or(QString()));
    m_loginError->setVisible(shown.loginError.has_value());
}

void SettingsViewController::redrawLanguages(const Shown &shown)
{
    // A multilingual model offers about a hundred languages: they are listed by the name shown.
    QStringList identifiers = shown.locales;
    QCollator collator;
    std::stable_sort(identifiers.begin(), identifiers.end(), [&collator](const QString &a, const QString &b) {
        return collator.compare(localeTitle(a), localeTitle(b)) < 0;
    });
    if (!identifiers.contains(shown.localeIdentifier))
        identifiers.append(shown.localeIdentifier); // a stored language no longer offered stays, last
    if (identifiers != m_localeIDs) {
        m_localeIDs = identifiers;
        const QSignalBlocker quiet(m_localePopup);
        m_localePopup->clear();
        for (const QString &identifier : std::as_const(m_localeIDs))
            m_localePopup->addItem(localeTitle(identifier));
    }
    const qsizetype selected = m_localeIDs.indexOf(shown.localeIdentifier);
    if (selected >= 0 && m_localePopup->currentIndex() != selected)
        m_localePopup->setCurrentIndex(int(selected));
}

void SettingsViewController::redrawKeys(const Shown &shown)
{
    const QString hold = shown.keys.holdKey;
    const QString holdHelp =
        QStringLiteral("Hold %1 to speak, then release to finish. Requires Accessibility access.").arg(hold);
    m_holdKeyCap->setText(hold);
    m_holdKeyCap->setAccessibleName(hold + QStringLiteral(" key"));
    m_holdKeyCap->setToolTip(holdHelp);
    m_holdMeaning->setToolTip(holdHelp);
    m_holdMeaning->setAccessibleDescription(
        QStringLiteral("Release %1 to finish dictation. Accessibility access is required.").arg(hold));
    m_toggleCap->setText(shown.keys.toggle);
    m_toggleCap->setAccessibleName(shown.keys.toggle);

    const QString &status = shown.fnStatus;
    m_shortcutDetail->setVisible(!status.isEmpty() && !status.startsWith(QStringLiteral("Hold ") + hold));
    m_shortcutDetail->setText(shortFnStatus(status, hold));
    m_shortcutDetail->setToolTip(status);
    m_shortcutDetail->setAccessibleName(status);
}

QString SettingsViewController::shortFnStatus(const QString &status, const QString &holdKey)
{
    if (status.startsWith(QLatin1String("Enable Accessibility")))
        return QStringLiteral("Accessibility required");
    if (status.contains(QLatin1String("secure keyboard input")))
        return QStringLiteral("Paused during secure input");
    if (status.contains(QLatin1String("asleep or locked")))
        return QStringLiteral("Paused while asleep or locked");
    if (status.contains(QLatin1String("unavailable")))
        return holdKey + QStringLiteral(" unavailable");
    if (status.contains(QLatin1String("interrupted")))
        return holdKey + QStringLiteral(" interrupted — release the key");
    return status;
}

QString SettingsViewController::localeTitle(const QString &identifier)
{
    const QLocale locale(identifier);
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage)
        return identifier;
    QString title = QLocale::languageToString(locale.language());
    if (identifier.contains(QLatin1Char('-')) || identifier.contains(QLatin1Char('_')))
        title += QStringLiteral(" (") + QLocale::territoryToString(locale.territory()) + QLatin1Char(')');
    return title;
}

void SettingsViewController::savePreferences(const Preferences &preferences)
{
    m_model.setPreferences(preferences);
    m_model.saveLibrary();
    m_model.notifyChanged();
}

void SettingsViewController::changeLaunchAtLogin()
{
    const LoginStatus status = m_model.loginItem().status();
    m_model.loginItem().setEnabled(status != LoginStatus::enabled && status != LoginStatus::requiresApproval);
    m_shown.reset(); // the click changed the box: draw it from the registration again
    m_model.notifyChanged();
}

void SettingsViewController::openLoginItems()
{
    m_model.loginItem().openSettings();
}

void SettingsViewController::showSetup()
{
    m_model.resetOnboarding();
}

void SettingsViewController::changeLanguage(int index)
{
    if (index < 0 || index >= m_localeIDs.size())
        return;
    Preferences preferences = m_model.preferences();
    preferences.localeIdentifier = m_localeIDs.at(index);
    savePreferences(preferences);
}

void SettingsViewController::formattingChanged(int index)
{
    if (index < 0 || index >= int(allDictationModes.size()))
        return;
    Preferences preferences = m_model.preferences();
    preferences.mode = allDictationModes.at(index);
    savePreferences(preferences);
}

void SettingsViewController::changeLearning(bool on)
{
    Preferences preferences = m_model.preferences();
    preferences.autoLearn = on;
    if (!on)
        m_model.delivery().stopObservation(); // no correction from the edit being watched is learned
    m_shown.reset();
    savePreferences(preferences);
}

void SettingsViewController::changeHistory(bool on)
{
    m_shown.reset();
    if (on || m_model.history().isEmpty()) {
        m_model.setRetainHistory(on);
        return;
    }
    // Turning history off deletes what is saved: only after the user says so.
    m_history->setChecked(true);
    QPointer<AppModel> model(&m_model);
    const qsizetype count = m_model.history().size();
    askBeforeDeleting(window(),
                      {QStringLiteral("OrvantaHistoryOff"), QStringLiteral("Stop Saving History"),
                       QStringLiteral("Stop saving history?"),
                       (count == 1 ? QStringLiteral("Deletes the saved dictation.")
                                   : QStringLiteral("Deletes the %1 saved dictations.").arg(count)) +
                           QStringLiteral(" Keeps your dictionary."),
                       QStringLiteral("&Delete History"), QStringLiteral("&Keep Saving")},
                      [model] {
                          if (model)
                              model->setRetainHistory(false);
                      });
}

void SettingsViewController::requestDictation()
{
    m_permissionNote->hide();
    const bool allowed = m_model.microphoneStatus() == authorizationText(AuthorizationStatus::authorized) &&
                         m_model.speechStatus() == authorizationText(AuthorizationStatus::authorized);
    if (!allowed) {
        m_model.requestPermissions();
        return;
    }
    // Nothing to ask: the microphone is chosen in the desktop's sound settings.
    if (!m_model.openPrivacySettings(privacyAnchor::microphone()))
        showPermissionNote(QStringLiteral("Dictation may use the microphone. To choose another one, open your "
                                          "desktop's sound settings (or PulseAudio Volume Control, pavucontrol)."));
}

void SettingsViewController::requestAccessibility()
{
    m_permissionNote->hide();
    if (!m_model.accessibilityEnabled())
        enableAccessibility(m_model, this);
    else if (!m_model.openPrivacySettings(privacyAnchor::accessibility()))
        showPermissionNote(QStringLiteral("Accessibility is on for this session. To keep it on after you log out, "
                                          "turn on assistive technologies in your desktop's accessibility settings."));
}

void SettingsViewController::showPermissionNote(const QString &text)
{
    m_permissionNote->setText(text);
    m_permissionNote->show();
}

} // namespace orv::ui
