#include "app/LiveApplication.h"

#include "app/SessionKeys.h"
#include "app/SessionPlatform.h"
#include "delivery/atspi/LiveEnvironment.h"
#include "desktop/LoginItemController.h"
#include "desktop/xdg/LiveDesktop.h"
#include "desktop/xdg/XdgAutostart.h"
#include "library/LinuxSettings.h"
#include "library/SettingsKeyValueStore.h"
#include "refine/IntelligenceFormatter.h"
#include "refine/LanguageModelSelector.h"
#include "refine/llamaserver/LlamaServerModel.h"
#include "speech/WhisperModelCatalog.h"
#include "speech/live/SpeechComposition.h"
#include "speech/pulse/PulseMicrophones.h"
#include "speech/server/SpeechServer.h"

#include "base/PlatformText.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>

namespace orv {

void LiveApplication::configureProcess()
{
    atspi::LiveEnvironment::configureProcess();
}

LiveApplication::LiveApplication(const Options &options)
    : m_settings(std::make_unique<LinuxSettings>(std::make_unique<SettingsKeyValueStore>()))
{
    auto desktop = std::make_unique<LiveDesktop>();
    LiveDesktop *desktopHandle = desktop.get();
    const XdgAutostart autostart(XdgAutostart::defaultEntryPath(), QCoreApplication::applicationFilePath());
    auto loginItem = std::make_unique<LoginItemController>(autostart.operations(
        [desktopHandle](const QString &folder) { desktopHandle->openUrl(QUrl::fromLocalFile(folder)); }));

    m_speechChoice = std::make_shared<SpeechServerChoice>();
    applySpeechChoice();
    m_settings->speechEngineStatus().onCheck = [this] { checkSpeechServer(); };
    LinuxSettings *settings = m_settings.get();
    const auto chosenMicrophone = [settings] {
        return Microphone{settings->audioSource(), settings->audioSourceDescription()};
    };
    m_microphones = std::make_unique<PulseMicrophones>(
        m_scheduler, PulseMicrophones::Choice{chosenMicrophone, [settings](const Microphone &microphone) {
                                                  return settings->setAudioSource(microphone.name,
                                                                                  microphone.description);
                                              }});
    auto speechEngine = speech::makeLiveSpeechEngine(m_scheduler, m_speechChoice, chosenMicrophone);
    m_languageServerEndpoint = m_settings->languageModelEndpoint();
    m_serverAccounts = m_settings->allowedServerAccounts();
    auto languageServer = std::make_unique<LlamaServerModel>(m_scheduler, m_languageServerEndpoint, m_serverAccounts);
    m_languageServer = languageServer.get();
    auto formatter = std::make_unique<IntelligenceFormatter>(
        m_scheduler, std::make_unique<LanguageModelSelector>(std::move(languageServer)), speechEngine->displayName());
    IntelligenceFormatter *formatterHandle = formatter.get();

    auto store = options.library ? options.library() : std::make_unique<AppStore>(options.libraryPath);
    m_model = std::make_unique<AppModel>(AppModel::Services{
        m_scheduler,
        std::move(loginItem),
        std::make_unique<SettingsKeyValueStore>(),
        std::move(store),
        std::move(speechEngine),
        std::move(formatter),
        makeSessionTextDelivery(sessionPlatform(), m_scheduler),
        std::move(desktop),
    });
    m_model->setMicrophones(m_microphones.get());
    // A local model server that starts or stops changes what the status texts say.
    QPointer<AppModel> weakModel(m_model.get());
    formatterHandle->onModelChange = [weakModel] {
        if (weakModel)
            weakModel->refreshStatus();
    };

    m_shortcuts = std::make_unique<ShortcutController>(
        *m_model, *m_settings,
        [this](const ShortcutSettings &keys, GlobalShortcut::Callbacks callbacks) {
            return makeSessionGlobalShortcut(sessionPlatform(), m_scheduler, keys, std::move(callbacks), *m_settings);
        },
        options.shortcuts);
    m_shortcuts->updateRegistration();
    // The shortcut controller follows the key choices itself.
    QObject::connect(m_settings.get(), &LinuxSettings::changed, m_model.get(), [this] { choicesChanged(); });
}

void LiveApplication::applySpeechChoice()
{
    const LinuxSettings::SpeechEngineChoice engine = m_settings->speechEngine();
    const QString endpoint = m_settings->speechServerEndpoint();
    const QStringList accounts = m_settings->allowedServerAccounts();
    const QString whisperFile = m_settings->whisperModelFile();
    QString applied = QStringLiteral("pocketsphinx");
    if (engine == LinuxSettings::SpeechEngineChoice::server)
        applied = endpoint + QLatin1Char(' ') + accounts.join(QLatin1Char(','));
    else if (engine == LinuxSettings::SpeechEngineChoice::whisper)
        applied = QStringLiteral("whisper:") + whisperFile;
    if (m_speechChoiceApplied == applied)
        return;
    m_speechChoiceApplied = applied;
    m_speechCheck.cancel();
    m_speechChoice->whisper = false;
    m_speechChoice->whisperFile.clear();
    m_speechChoice->whisperModel.reset();
    m_speechChoice->server.reset();
    SpeechEngineStatus &status = m_settings->speechEngineStatus();
    const QString pocketSphinx = speech::pocketSphinxDisplayName();
    if (engine == LinuxSettings::SpeechEngineChoice::whisper) {
        m_speechChoice->whisper = speech::whisperBuiltIn();
        m_speechChoice->whisperFile = whisperFile;
        checkWhisperModel();
        return;
    }
    if (engine != LinuxSettings::SpeechEngineChoice::server) {
        status.report(pocketSphinx,
                      QStringLiteral("Recognizes speech on %1; needs nothing else.").arg(platform::thisComputer()));
        return;
    }
    auto made = SpeechServer::make(m_scheduler, endpoint, accounts);
    if (!made) {
        status.report(pocketSphinx, made.error() + QStringLiteral(" %1 is used instead.").arg(pocketSphinx));
        return;
    }
    m_speechChoice->server = made.value();
    checkSpeechServer();
}

void LiveApplication::checkWhisperModel()
{
    SpeechEngineStatus *status = &m_settings->speechEngineStatus();
    const QString pocketSphinx = speech::pocketSphinxDisplayName();
    if (!speech::whisperBuiltIn()) {
        status->report(pocketSphinx,
                       QStringLiteral("This build has no embedded Whisper; %1 is used instead.").arg(pocketSphinx));
        return;
    }
    auto model = speech::whisperModelFor(m_scheduler, *m_speechChoice, QStringLiteral("en"));
    const QString whisper = speech::whisperDisplayName();
    if (!model) {
        const WhisperModelInfo &wanted = WhisperModelCatalog::defaultFor(QStringLiteral("en"));
        status->report(whisper, QStringLiteral("Not downloaded yet: the first dictation downloads %1 from %2; %3 "
                                               "transcribes until it is in.")
                                    .arg(wanted.label(), wanted.source().host(), pocketSphinx));
        return;
    }
    const QString label = WhisperModelCatalog::fileLabel(speech::whisperModelPath(model));
    status->report(whisper, QStringLiteral("Loading %1…").arg(label));
    m_speechCheck = [](std::shared_ptr<WhisperModel> model, SpeechEngineStatus *status, QString label) -> Task<> {
        const auto loaded = co_await speech::whisperModelLoaded(model);
        const QString whisper = speech::whisperDisplayName();
        if (loaded)
            status->report(whisper, QStringLiteral("%1 on %2.").arg(label, platform::thisComputer()));
        else
            status->report(whisper,
                           loaded.error() +
                               QStringLiteral(" Dictations use %1 instead.").arg(speech::pocketSphinxDisplayName()));
    }(model, status, label);
}

void LiveApplication::checkSpeechServer()
{
    std::shared_ptr<SpeechServer> server = m_speechChoice ? m_speechChoice->server : nullptr;
    SpeechEngineStatus *status = &m_settings->speechEngineStatus();
    if (!server && m_settings->speechEngine() == LinuxSettings::SpeechEngineChoice::server) {
        m_speechChoiceApplied.reset(); // a refused address: say again why
        applySpeechChoice();
        return;
    }
    if (!server) {
        // PocketSphinx needs no answer from anyone: the check says what is in use.
        status->report(speech::pocketSphinxDisplayName(),
                       QStringLiteral("Last check: %1 is ready and recognizes speech on %2.")
                           .arg(speech::pocketSphinxDisplayName(), platform::thisComputer()));
        return;
    }
    status->report(server->displayName(), QStringLiteral("Checking %1…").arg(server->endpoint().toString()));
    m_speechCheck.cancel();
    m_speechCheck = [](std::shared_ptr<SpeechServer> server, SpeechEngineStatus *status) -> Task<> {
        const auto answered = co_await server->probe();
        if (!answered && answered.error().cancelled)
            co_return;
        if (answered)
            status->report(server->displayName(),
                           QStringLiteral("Answering at %1.").arg(server->endpoint().toString()));
        else
            status->report(
                server->displayName(),
                answered.error().message +
                    QStringLiteral(" Dictations use %1 until it answers.").arg(speech::pocketSphinxDisplayName()));
    }(server, status);
}

void LiveApplication::choicesChanged()
{
    applySpeechChoice();
    const QString endpoint = m_settings->languageModelEndpoint();
    const QStringList accounts = m_settings->allowedServerAccounts();
    if ((endpoint == m_languageServerEndpoint && accounts == m_serverAccounts) || !m_languageServer)
        return;
    m_languageServerEndpoint = endpoint;
    m_serverAccounts = accounts;
    m_languageServer->setEndpoint(endpoint, accounts);
    m_model->checkLanguageModel();
}

LiveApplication::~LiveApplication()
{
    shutdown();
}

void LiveApplication::finishDictationBeforeQuit()
{
    QEventLoop waiting;
    bool finished = false;
    m_model->finishBeforeQuit([&] {
        finished = true;
        waiting.quit();
    });
    if (!finished)
        waiting.exec();
}

void LiveApplication::shutdown()
{
    m_speechCheck.cancel();
    if (m_shortcuts)
        m_shortcuts->stop();
    if (m_model)
        m_model->cancelDictation();
}

} // namespace orv
