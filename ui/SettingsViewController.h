#pragma once

#include "core/AppModel.h"
#include "desktop/AbstractLoginItemController.h"

#include <QStringList>
#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace orv {

class LinuxSettings;

namespace ui {

class LinuxChoicesCard;
class SessionKeysCard;
class MicrophoneChooser;

// The Settings page: start at login, dictation language and formatting, learning and history, permissions,
// the keys, and (with the Linux choices) the hold key, toggle, language-model server and library folder. It
// stores no settings of its own: it writes preferences through the model and the Linux choices into their
// settings, and redraws only when something it shows changed, so an open list is never disturbed.
class SettingsViewController final : public QWidget
{
    Q_OBJECT

public:
    // choices: the Linux choices; without them their card is left out. They must outlive the page.
    SettingsViewController(AppModel &model, LinuxSettings *choices, QWidget *parent = nullptr);
    ~SettingsViewController() override;

    void refresh();

    void changeLaunchAtLogin();
    void openLoginItems();
    void showSetup();
    void changeLanguage(int index);
    void formattingChanged(int index);
    void changeLearning(bool on);
    void changeHistory(bool on);
    void requestDictation();
    void requestAccessibility();

    // A hold-key status in its short form (the full sentence is the tooltip).
    static QString shortFnStatus(const QString &status, const QString &holdKey);
    // What the language list calls a locale: its language and region, or the identifier itself.
    static QString localeTitle(const QString &identifier);

    QCheckBox *launchAtLogin() const { return m_launchAtLogin; }
    QLabel *loginDetail() const { return m_loginDetail; }
    QLabel *loginError() const { return m_loginError; }
    QPushButton *loginSettingsButton() const { return m_loginSettingsButton; }
    QComboBox *localePopup() const { return m_localePopup; }
    QComboBox *modePopup() const { return m_modePopup; }
    QCheckBox *learning() const { return m_learning; }
    QCheckBox *history() const { return m_history; }
    QLabel *microphoneDetail() const { return m_microphoneDetail; }
    QLabel *speechDetail() const { return m_speechDetail; }
    QLabel *accessibilityDetail() const { return m_accessibilityDetail; }
    QPushButton *accessibilityButton() const { return m_accessibilityButton; }
    QPushButton *dictationButton() const { return m_dictationButton; }
    QLabel *permissionNote() const { return m_permissionNote; }
    QLabel *shortcutDetail() const { return m_shortcutDetail; }
    QLabel *holdKeyCap() const { return m_holdKeyCap; }
    QLabel *toggleCap() const { return m_toggleCap; }
    const QStringList &localeIDs() const { return m_localeIDs; }
    LinuxChoicesCard *linuxChoices() const { return m_linuxChoices; }
    SessionKeysCard *sessionKeys() const { return m_sessionKeys; }
    MicrophoneChooser *microphoneChooser() const { return m_microphoneChooser; }

private:
    // Everything the page shows, as last drawn.
    struct Shown
    {
        AbstractLoginItemController::Status loginStatus;
        std::optional<QString> loginError;
        QStringList locales;
        QString localeIdentifier;
        DictationMode mode;
        bool autoLearn;
        bool retainHistory;
        QString microphoneStatus;
        QString speechStatus;
        bool accessibilityEnabled;
        QString fnStatus;
        AppModel::ShortcutNames keys;
        bool idle;
        bool operator==(const Shown &) const = default;
    };

    QWidget *buildStartup();
    QWidget *buildDictation();
    QWidget *buildPrivacy();
    QWidget *buildPermissions();
    QWidget *buildShortcuts();
    Shown current() const;
    void redrawLogin(const Shown &shown);
    void redrawLanguages(const Shown &shown);
    void redrawKeys(const Shown &shown);
    void showPermissionNote(const QString &text);
    void savePreferences(const Preferences &preferences);

    AppModel &m_model;
    QCheckBox *m_launchAtLogin = nullptr;
    QLabel *m_loginDetail = nullptr;
    QLabel *m_loginError = nullptr;
    QPushButton *m_loginSettingsButton = nullptr;
    QComboBox *m_localePopup = nullptr;
    QComboBox *m_modePopup = nullptr;
    QCheckBox *m_learning = nullptr;
    QCheckBox *m_history = nullptr;
    QLabel *m_microphoneDetail = nullptr;
    QLabel *m_speechDetail = nullptr;
    QLabel *m_accessibilityDetail = nullptr;
    QPushButton *m_dictationButton = nullptr;
    QPushButton *m_accessibilityButton = nullptr;
    QLabel *m_permissionNote = nullptr; // what to do where no settings program could be opened
    QLabel *m_holdKeyCap = nullptr;
    QLabel *m_holdMeaning = nullptr;
    QLabel *m_toggleCap = nullptr;
    QLabel *m_shortcutDetail = nullptr;
    LinuxChoicesCard *m_linuxChoices = nullptr;
    SessionKeysCard *m_sessionKeys = nullptr;
    MicrophoneChooser *m_microphoneChooser = nullptr;
    QStringList m_localeIDs;
    std::optional<Shown> m_shown;
};

} // namespace ui
} // namespace orv
