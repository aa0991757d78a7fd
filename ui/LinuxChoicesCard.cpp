#include "ui/LinuxChoicesCard.h"

#include "base/PlatformText.h"
#include "core/AppModel.h"
#include "library/LinuxSettings.h"
#include "shortcuts/ShortcutKeys.h"
#include "ui/SettingsLayout.h"
#include "ui/ShortcutField.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace orv::ui {

namespace {

QLabel *problemLine()
{
    QLabel *line = label(QString(), 12, QFont::Normal, Tone::error, true);
    line->hide();
    return line;
}

void showProblem(QLabel *line, const std::optional<QString> &problem)
{
    line->setText(problem.value_or(QString()));
    line->setVisible(problem.has_value());
}

} // namespace

LinuxChoicesCard::LinuxChoicesCard(AppModel &model, LinuxSettings &settings, QWidget *parent)
    : QWidget(parent), m_model(model), m_settings(settings), m_holdKey(new QComboBox), m_toggle(new ShortcutField),
      m_reset(new QPushButton(QStringLiteral("Rese&t"))), m_toggleError(problemLine()), m_endpoint(new QLineEdit),
      m_endpointError(problemLine()), m_modelName(label(QString(), 13)),
      m_modelStatus(label(QString(), 12, QFont::Normal, Tone::secondary, true)),
      m_check(new QPushButton(QStringLiteral("Chec&k"))), m_speechEngine(new QComboBox), m_speechServer(new QLineEdit),
      m_speechServerError(problemLine()), m_speechName(label(QString(), 13)),
      m_speechStatus(label(QString(), 12, QFont::Normal, Tone::secondary, true)),
      m_checkSpeech(new QPushButton(QStringLiteral("Check"))),
      m_modelFile(new QPushButton(QStringLiteral("Use a model file…"))), m_accounts(new QLineEdit),
      m_accountsError(problemLine()), m_folder(label(QString(), 12, QFont::Normal, Tone::secondary)),
      m_openFolder(new QPushButton(symbols::icon(QStringLiteral("folder")), QStringLiteral("&Open Folder")))
{
    m_holdKey->addItems(shortcutkeys::holdKeyNames());
    describe(m_holdKey, QStringLiteral("Hold key"), QStringLiteral("The key you hold to speak and release to finish."));
    connect(m_holdKey, &QComboBox::activated, this, &LinuxChoicesCard::chooseHoldKey);

    describe(m_toggle, QStringLiteral("Toggle shortcut"),
             QStringLiteral("Press the new combination here, for example Ctrl+Shift+D. Backspace clears, Escape "
                            "keeps the current one."));
    m_toggle->onCombination = [this](const QString &name) { chooseToggle(name); };
    m_toggle->onRefusedKey = [this](const QString &reason) {
        m_keyRefusal = reason;
        showToggleProblem();
    };
    describe(m_reset, QStringLiteral("Reset toggle shortcut"),
             QStringLiteral("Back to %1.").arg(platform::defaultToggleName()));
    connect(m_reset, &QPushButton::clicked, this, &LinuxChoicesCard::resetToggle);

    describe(m_endpoint, QStringLiteral("Language model server address"),
             QStringLiteral("The address of a llama.cpp server on %1, such as http://127.0.0.1:8080 or a Unix "
                            "socket written unix:/path/to/socket, used once you press Return or leave the field. "
                            "Addresses elsewhere are refused.")
                 .arg(platform::thisComputer()));
    connect(m_endpoint, &QLineEdit::editingFinished, this, &LinuxChoicesCard::chooseEndpoint);
    connect(m_endpoint, &QLineEdit::textEdited, this, [this] { m_endpointError->hide(); });
    describe(m_check, QStringLiteral("Check the language model"),
             QStringLiteral("Asks the model server now whether it is there."));
    connect(m_check, &QPushButton::clicked, this, &LinuxChoicesCard::checkModel);

    m_speechEngine->addItem(QStringLiteral("PocketSphinx (on %1)").arg(platform::thisComputer()));
    m_speechEngine->addItem(QStringLiteral("Local speech server"));
    m_speechEngine->addItem(QStringLiteral("Whisper (embedded, on %1)").arg(platform::thisComputer()));
    describe(m_speechEngine, QStringLiteral("Speech engine"),
             QStringLiteral("PocketSphinx needs nothing else. Whisper is far more accurate: its model is downloaded "
                            "once, at the first dictation, and PocketSphinx shows the words as you speak. A local "
                            "speech server such as whisper.cpp's works too. PocketSphinx stands in whenever the "
                            "other engine cannot answer."));
    connect(m_speechEngine, &QComboBox::activated, this, &LinuxChoicesCard::chooseSpeechEngine);
    describe(m_speechServer, QStringLiteral("Speech server address"),
             QStringLiteral("The address of a speech server on %1, ending in /inference (whisper.cpp's server) or "
                            "/v1/audio/transcriptions. Addresses elsewhere are refused.")
                 .arg(platform::thisComputer()));
    connect(m_speechServer, &QLineEdit::editingFinished, this, &LinuxChoicesCard::chooseSpeechServer);
    connect(m_speechServer, &QLineEdit::textEdited, this, [this] { m_speechServerError->hide(); });
    describe(m_checkSpeech, QStringLiteral("Check the speech engine"),
             QStringLiteral("Asks the speech server now whether it is there."));
    connect(m_checkSpeech, &QPushButton::clicked, this, &LinuxChoicesCard::checkSpeechEngine);
    describe(m_modelFile, QStringLiteral("Use a Whisper model file"),
             QStringLiteral("Whisper with a ggml model file you already have instead of the downloaded one."));
    connect(m_modelFile, &QPushButton::clicked, this, &LinuxChoicesCard::chooseModelFile);

    describe(m_accounts, QStringLiteral("Other accounts whose servers may be used"),
             QStringLiteral("Servers on %1 run by these accounts (names, separated by commas) may receive your "
                            "dictations. Servers of any other account are refused.")
                 .arg(platform::thisComputer()));
    m_accounts->setPlaceholderText(QStringLiteral("None: only servers you run"));
    connect(m_accounts, &QLineEdit::editingFinished, this, &LinuxChoicesCard::chooseAccounts);
    connect(m_accounts, &QLineEdit::textEdited, this, [this] { m_accountsError->hide(); });

    m_folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    describe(m_openFolder, QStringLiteral("Open the library folder"),
             QStringLiteral("Opens the folder in your file manager."));
    connect(m_openFolder, &QPushButton::clicked, this, &LinuxChoicesCard::openLibraryFolder);

    namespace layout = settingslayout;
    QGridLayout *grid = layout::grid();
    layout::addRow(grid, QStringLiteral("Hold key"), m_holdKey);
    layout::addRow(grid, QStringLiteral("Toggle"), {m_toggle, m_reset});
    layout::addNote(grid, m_toggleError);
    layout::addRow(grid, QStringLiteral("Model server"), m_endpoint);
    layout::addNote(grid, m_endpointError);
    layout::addRow(grid, QStringLiteral("Model"), {m_modelName, m_check});
    layout::addNote(grid, m_modelStatus);
    layout::addRow(grid, QStringLiteral("Speech engine"), {m_speechEngine, m_modelFile});
    layout::addRow(grid, QStringLiteral("Speech server"), m_speechServer);
    layout::addNote(grid, m_speechServerError);
    layout::addRow(grid, QStringLiteral("Recognizer"), {m_speechName, m_checkSpeech});
    layout::addNote(grid, m_speechStatus);
    layout::addRow(grid, QStringLiteral("Other accounts"), m_accounts);
    layout::addNote(grid, m_accountsError);
    layout::addRow(grid, QStringLiteral("Library"), {m_folder, m_openFolder});
    layout::addNote(grid,
                    label(QStringLiteral("Your dictations and dictionary stay on %1.").arg(platform::thisComputer()),
                          12, QFont::Normal, Tone::secondary, true));
    m_toggle->setMinimumWidth(pixelsForPoints(180));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(layout::card(QStringLiteral("Keys, Model and Data"), grid));

    connect(&m_model, &AppModel::changed, this, &LinuxChoicesCard::refresh);
    connect(&m_settings, &LinuxSettings::changed, this, &LinuxChoicesCard::refresh);
    connect(&m_settings.speechEngineStatus(), &SpeechEngineStatus::changed, this, &LinuxChoicesCard::refresh);
    refresh();
}

LinuxChoicesCard::Shown LinuxChoicesCard::current() const
{
    return {m_settings.holdKey(),
            m_settings.toggle(),
            m_settings.languageModelEndpoint(),
            m_model.shortcutRegistrationError(),
            m_model.activeModelName(),
            m_model.modelStatus(),
            m_model.modelCheckResult(),
            m_settings.speechEngine(),
            m_settings.speechServerEndpoint(),
            m_settings.speechEngineStatus().name(),
            m_settings.speechEngineStatus().text(),
            m_settings.allowedServerAccounts().join(QStringLiteral(", ")),
            QFileInfo(m_model.store().filePath()).absolutePath(),
            m_model.phase() == RecordingPhase::idle};
}

void LinuxChoicesCard::refresh()
{
    const Shown shown = current();
    if (m_shown == shown)
        return;
    // Fields are refilled only when their stored value changed, never under the user's typing otherwise.
    if (!m_shown || m_shown->toggle != shown.toggle)
        m_toggle->setCombination(shown.toggle);
    if (!m_shown || m_shown->endpoint != shown.endpoint)
        m_endpoint->setText(shown.endpoint);
    if (!m_shown || m_shown->speechServer != shown.speechServer)
        m_speechServer->setText(shown.speechServer);
    if (!m_shown || m_shown->accounts != shown.accounts)
        m_accounts->setText(shown.accounts);
    m_shown = shown;

    m_holdKey->setCurrentIndex(m_holdKey->findText(shown.holdKey));
    // The keys are not changed under a dictation: starting them again would end a hold-key one.
    m_holdKey->setEnabled(shown.idle);
    m_toggle->setEnabled(shown.idle);
    m_reset->setEnabled(shown.idle && shown.toggle != platform::defaultToggleName());
    showToggleProblem();
    m_modelName->setText(shown.modelName);
    m_modelStatus->setText(shown.modelCheck.isEmpty()
                               ? shown.modelStatus
                               : shown.modelStatus + QStringLiteral("\nLast check: ") + shown.modelCheck);
    const bool server = shown.speechEngine == LinuxSettings::SpeechEngineChoice::server;
    m_speechEngine->setCurrentIndex(server                                                             ? 1
                                    : shown.speechEngine == LinuxSettings::SpeechEngineChoice::whisper ? 2
                                                                                                       : 0);
    m_speechServer->setEnabled(server);
    m_speechName->setText(shown.speechName);
    m_speechStatus->setText(shown.speechStatus);
    m_folder->setText(shown.folder);
    m_folder->setToolTip(shown.folder);
}

void LinuxChoicesCard::showToggleProblem()
{
    showProblem(m_toggleError, m_keyRefusal ? m_keyRefusal : m_model.shortcutRegistrationError());
}

void LinuxChoicesCard::chooseHoldKey(int index)
{
    const QString name = m_holdKey->itemText(index);
    if (const auto saved = m_settings.setHoldKey(name); !saved) {
        m_keyRefusal = saved.error();
        showToggleProblem();
    }
    refresh();
}

void LinuxChoicesCard::chooseToggle(const QString &name)
{
    const auto saved = m_settings.setToggle(name.trimmed());
    if (saved)
        m_keyRefusal.reset();
    else
        m_keyRefusal = saved.error();
    showToggleProblem();
    if (saved)
        m_toggle->setCombination(m_settings.toggle()); // the canonical spelling, or the working one kept
}

void LinuxChoicesCard::resetToggle()
{
    chooseToggle(platform::defaultToggleName());
}

void LinuxChoicesCard::chooseEndpoint()
{
    const auto saved = m_settings.setLanguageModelEndpoint(m_endpoint->text());
    showProblem(m_endpointError, saved ? std::nullopt : std::optional<QString>(saved.error()));
    if (saved)
        m_endpoint->setText(m_settings.languageModelEndpoint());
}

void LinuxChoicesCard::checkModel()
{
    m_model.checkLanguageModel();
}

void LinuxChoicesCard::chooseSpeechEngine(int index)
{
    (void)m_settings.setSpeechEngine(index == 1   ? LinuxSettings::SpeechEngineChoice::server
                                     : index == 2 ? LinuxSettings::SpeechEngineChoice::whisper
                                                  : LinuxSettings::SpeechEngineChoice::pocketSphinx);
    refresh();
}

void LinuxChoicesCard::chooseModelFile()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Use a Whisper model file"), QString(),
                                                      QStringLiteral("Whisper models (*.bin);;All files (*)"));
    if (path.isEmpty())
        return;
    const auto saved = m_settings.setWhisperModelFile(path);
    showProblem(m_speechServerError, saved ? std::nullopt : std::optional<QString>(saved.error()));
    if (saved)
        (void)m_settings.setSpeechEngine(LinuxSettings::SpeechEngineChoice::whisper);
    refresh();
}

void LinuxChoicesCard::chooseSpeechServer()
{
    const auto saved = m_settings.setSpeechServerEndpoint(m_speechServer->text());
    showProblem(m_speechServerError, saved ? std::nullopt : std::optional<QString>(saved.error()));
    if (saved)
        m_speechServer->setText(m_settings.speechServerEndpoint());
}

void LinuxChoicesCard::chooseAccounts()
{
    const auto saved = m_settings.setAllowedServerAccounts(m_accounts->text());
    showProblem(m_accountsError, saved ? std::nullopt : std::optional<QString>(saved.error()));
    if (saved)
        m_accounts->setText(m_settings.allowedServerAccounts().join(QStringLiteral(", ")));
}

void LinuxChoicesCard::checkSpeechEngine()
{
    m_settings.speechEngineStatus().check();
}

void LinuxChoicesCard::openLibraryFolder()
{
    m_model.desktop().openUrl(QUrl::fromLocalFile(QFileInfo(m_model.store().filePath()).absolutePath()));
}

} // namespace orv::ui
