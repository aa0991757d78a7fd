#pragma once

#include "library/LinuxSettings.h"
#include "library/Records.h"

#include <QString>
#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orv {

class AppModel;
class LinuxSettings;

namespace ui {

class ShortcutField;

// The Settings card of the choices only this Linux build has: the hold key, the toggle shortcut, the local
// language-model server, the speech engine (PocketSphinx or a local speech server), and where the library is
// kept. Key and server choices are written to the settings
// at once; whoever uses them follows (the shortcuts register again, the formatter asks the new server), and
// the card shows what came of it. It redraws only when something it shows changed.
class LinuxChoicesCard final : public QWidget
{
    Q_OBJECT

public:
    // The settings must outlive the card.
    LinuxChoicesCard(AppModel &model, LinuxSettings &settings, QWidget *parent = nullptr);

    void refresh();
    void chooseHoldKey(int index);
    // Takes a combination by name (as pressed in the recorder); refuses what the parser refuses, saying why.
    void chooseToggle(const QString &name);
    void resetToggle();
    void chooseEndpoint();
    void checkModel();
    void chooseSpeechEngine(int index);
    void chooseSpeechServer();
    void chooseModelFile();
    void checkSpeechEngine();
    // Other accounts whose loopback servers may receive dictations; an unknown name is refused, saying so.
    void chooseAccounts();
    void openLibraryFolder();

    QComboBox *holdKeyPopup() const { return m_holdKey; }
    ShortcutField *toggleField() const { return m_toggle; }
    QPushButton *resetButton() const { return m_reset; }
    QLabel *toggleError() const { return m_toggleError; }
    QLineEdit *endpointField() const { return m_endpoint; }
    QLabel *endpointError() const { return m_endpointError; }
    QLabel *modelName() const { return m_modelName; }
    QLabel *modelStatus() const { return m_modelStatus; }
    QPushButton *checkButton() const { return m_check; }
    QComboBox *speechEnginePopup() const { return m_speechEngine; }
    QLineEdit *speechServerField() const { return m_speechServer; }
    QLabel *speechServerError() const { return m_speechServerError; }
    QLabel *speechEngineName() const { return m_speechName; }
    QLabel *speechEngineStatus() const { return m_speechStatus; }
    QPushButton *checkSpeechButton() const { return m_checkSpeech; }
    QLineEdit *accountsField() const { return m_accounts; }
    QLabel *accountsError() const { return m_accountsError; }
    QLabel *libraryFolder() const { return m_folder; }
    QPushButton *openFolderButton() const { return m_openFolder; }

private:
    // Everything the card shows, as last drawn.
    struct Shown
    {
        QString holdKey;
        QString toggle;
        QString endpoint;
        std::optional<QString> registrationError;
        QString modelName;
        QString modelStatus;
        QString modelCheck;
        LinuxSettings::SpeechEngineChoice speechEngine = LinuxSettings::SpeechEngineChoice::pocketSphinx;
        QString speechServer;
        QString speechName;
        QString speechStatus;
        QString accounts;
        QString folder;
        bool idle = true;
        bool operator==(const Shown &) const = default;
    };

    Shown current() const;
    void showToggleProblem();

    AppModel &m_model;
    LinuxSettings &m_settings;
    QComboBox *m_holdKey;
    ShortcutField *m_toggle;
    QPushButton *m_reset;
    QLabel *m_toggleError;
    QLineEdit *m_endpoint;
    QLabel *m_endpointError;
    QLabel *m_modelName;
    QLabel *m_modelStatus;
    QPushButton *m_check;
    QComboBox *m_speechEngine;
    QLineEdit *m_speechServer;
    QLabel *m_speechServerError;
    QLabel *m_speechName;
    QLabel *m_speechStatus;
    QPushButton *m_checkSpeech;
    QPushButton *m_modelFile;
    QLineEdit *m_accounts;
    QLabel *m_accountsError;
    QLabel *m_folder;
    QPushButton *m_openFolder;
    std::optional<Shown> m_shown;
    std::optional<QString> m_keyRefusal; // why the key choice made last was refused
};

} // namespace ui
} // namespace orv
