#include "app/LiveApplication.h"

#include "delivery/atspi/LiveEnvironment.h"
#include "desktop/LoginItemController.h"
#include "desktop/xdg/LiveDesktop.h"
#include "desktop/xdg/XdgAutostart.h"
#include "library/LinuxSettings.h"
#include "library/SettingsKeyValueStore.h"
#include "refine/IntelligenceFormatter.h"
#include "refine/LanguageModelSelector.h"
#include "refine/llamaserver/LlamaServerModel.h"
#include "shortcuts/x11/LiveGlobalShortcut.h"
#include "speech/live/SpeechComposition.h"
#include "speech/pulse/PulseMicrophones.h"
#include "speech/server/SpeechServer.h"

#include "base/PlatformText.h"

#include <QCoreApplication>

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

    m_model = std::make_unique<AppModel>(AppModel::Services{
        m_scheduler,
        std::move(loginItem),
        std::make_unique<SettingsKeyValueStore>(),
        std::make_unique<AppStore>(options.libraryPath),
        std::move(speechEngine),
        std::move(formatter),
        atspi::LiveEnvironment::createTextDelivery(m_scheduler),
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
            return makeLiveGlobalShortcut(m_scheduler, keys, std::move(callbacks));
        },
        options.shortcuts);
    m_shortcuts->updateRegistration();
    // The shortcut controller follows the key choices itself.
    QObject::connect(m_settings.get(), &LinuxSettings::changed, m_model.get(), [this] { choicesChanged(); });
}

void LiveApplication::applySpeechChoice()
{
    const bool server = m_settings->speechEngine() == LinuxSettings::SpeechEngineChoice::server;
    const QString endpoint = m_settings->speechServerEndpoint();
    const QStringList accounts = m_settings->allowedServerAccounts();
    const QString applied =
        server ? endpoint + QLatin1Char(' ') + accounts.join(QLatin1Char(',')) : QStringLiteral("pocketsphinx");
    if (m_speechChoiceApplied == applied)
        return;
    m_speechChoiceApplied = applied;
    m_speechCheck.cancel();
    SpeechEngineStatus &status = m_settings->speechEngineStatus();
    if (!server) {
        m_speechChoice->server.reset();
        status.report(speech::pocketSphinxDisplayName(),
                      QStringLiteral("Recognizes speech on %1; needs nothing else.").arg(platform::thisComputer()));
        return;
    }
    auto made = SpeechServer::make(m_scheduler, endpoint, accounts);
    if (!made) {
        m_speechChoice->server.reset();
        status.report(speech::pocketSphinxDisplayName(),
                      made.error() + QStringLiteral(" %1 is used instead.").arg(speech::pocketSphinxDisplayName()));
        return;
    }
    m_speechChoice->server = made.value();
    checkSpeechServer();
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

void LiveApplication::shutdown()
{
    m_speechCheck.cancel();
    if (m_shortcuts)
        m_shortcuts->stop();
    if (m_model)
        m_model->cancelDictation();
}

} // namespace orv
