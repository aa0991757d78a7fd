#include "speech/live/SpeechComposition.h"

#include "base/PlatformText.h"
#include "speech/WhisperModelCatalog.h"
#include "speech/pocketsphinx/PocketSphinxAssetInventory.h"
#include "speech/pocketsphinx/PocketSphinxModel.h"
#include "speech/pocketsphinx/PocketSphinxTranscriber.h"
#include "speech/pulse/PulseAudioSource.h"
#include "speech/pulse/PulsePermissions.h"
#include "speech/server/SpeechServer.h"
#include "speech/server/SpeechServerTranscriber.h"
#include "speech/soxr/SoxrAudioConverter.h"
#ifdef ORVANTA_HAVE_WHISPER
#include "speech/whisper/WhisperAssetInventory.h"
#include "speech/whisper/WhisperModel.h"
#include "speech/whisper/WhisperTranscriber.h"
#endif

#include <utility>

namespace orv::speech {

namespace {

// Files need no permission.
class GrantedPermissions final : public Permissions
{
public:
    AuthorizationStatus microphoneStatus() const override { return AuthorizationStatus::authorized; }
    AuthorizationStatus speechStatus() const override { return AuthorizationStatus::authorized; }
    Task<bool> requestMicrophoneAccess() override { co_return true; }
    Task<AuthorizationStatus> requestSpeechAuthorization() override { co_return AuthorizationStatus::authorized; }
};

// Sessions go to the chosen recognizer, with the PocketSphinx factory standing by for each of them (and
// giving the embedded Whisper its live words).
void offerSpeechServer(Scheduler &scheduler,
                       SpeechEngine::Platform &platform,
                       std::shared_ptr<const SpeechServerChoice> choice)
{
    if (!choice)
        return;
    auto pocketSphinx = platform.makeTranscriber;
    platform.makeTranscriber = [&scheduler, pocketSphinx,
                                choice](const QString &locale) -> std::shared_ptr<AbstractTranscriber> {
#ifdef ORVANTA_HAVE_WHISPER
        if (choice->whisper) {
            auto transcriber = std::make_shared<WhisperTranscriber>(
                scheduler,
                [&scheduler, choice, locale] {
                    return whisperModelFor(scheduler, *choice, SpeechServer::languageCode(locale));
                },
                locale, [pocketSphinx, locale] { return pocketSphinx(locale); }, pocketSphinxDisplayName());
            transcriber->missingModel = [choice] { return std::exchange(choice->whisperProblem, QString()); };
            return transcriber;
        }
#endif
        if (!choice->server)
            return pocketSphinx(locale);
        auto transcriber = std::make_shared<SpeechServerTranscriber>(
            scheduler, choice->server, locale, [pocketSphinx, locale] { return pocketSphinx(locale); },
            pocketSphinxDisplayName());
        transcriber->setLiveText(choice->liveText);
        return transcriber;
    };
#ifdef ORVANTA_HAVE_WHISPER
    // Models of the catalog come on first use while Whisper is chosen without a file of the user's.
    platform.assets = std::make_shared<WhisperAssetInventory>(
        scheduler, platform.assets,
        WhisperAssetInventory::Hooks{
            [choice] { return choice->whisper && choice->whisperDownloads && choice->whisperFile.isEmpty(); },
            [choice](const QString &why) { choice->whisperProblem = why; }});
#endif
    platform.displayName = [choice] {
        if (choice->whisper)
            return whisperDisplayName();
        return choice->server ? choice->server->displayName() : pocketSphinxDisplayName();
    };
}

} // namespace

QString pocketSphinxDisplayName()
{
    return platform::recognizerName();
}

QString whisperDisplayName()
{
    return QStringLiteral("Whisper");
}

bool whisperBuiltIn()
{
#ifdef ORVANTA_HAVE_WHISPER
    return true;
#else
    return false;
#endif
}

std::shared_ptr<WhisperModel>
whisperModelFor(Scheduler &scheduler, const SpeechServerChoice &choice, const QString &languageCode)
{
#ifdef ORVANTA_HAVE_WHISPER
    const QString path = !choice.whisperFile.isEmpty()
                             ? choice.whisperFile
                             : WhisperModelCatalog::installedFile(languageCode).value_or(QString());
    if (path.isEmpty())
        return nullptr;
    if (!choice.whisperModel || choice.whisperModel->path() != path) {
        choice.whisperModel = std::make_shared<WhisperModel>(scheduler, path);
        choice.whisperModel->loadInBackground();
    }
    return choice.whisperModel;
#else
    (void)scheduler;
    (void)choice;
    (void)languageCode;
    return nullptr;
#endif
}

QString whisperModelPath(const std::shared_ptr<WhisperModel> &model)
{
#ifdef ORVANTA_HAVE_WHISPER
    if (model)
        return model->path();
#endif
    (void)model;
    return {};
}

Task<Expected<void, QString>> whisperModelLoaded(std::shared_ptr<WhisperModel> model)
{
#ifdef ORVANTA_HAVE_WHISPER
    if (model)
        co_return co_await model->whenLoaded();
#endif
    (void)model;
    co_return unexpected(QStringLiteral("This build has no embedded Whisper."));
}

SpeechEngine::Platform pocketSphinxPlatform(Scheduler &scheduler,
                                            std::shared_ptr<PocketSphinxModel> model,
                                            std::shared_ptr<RecognizerProgress> progress)
{
    auto inventory = std::make_shared<PocketSphinxAssetInventory>();
    // The model loads once the event loop runs, so that a start's own work (the library, the window) has the
    // processor first; a dictation that comes sooner starts the load itself.
    scheduler.schedule(Duration::zero(), [weak = std::weak_ptr<PocketSphinxModel>(model)] {
        if (const auto loading = weak.lock())
            loading->loadInBackground();
    });
    SpeechEngine::Platform platform;
    platform.assets = inventory;
    platform.makeConverter = [](const AudioFormat &from, const AudioFormat &to) {
        return std::make_unique<SoxrAudioConverter>(from, to);
    };
    platform.makeTranscriber = [&scheduler, model, progress](const QString &) {
        return std::make_shared<PocketSphinxTranscriber>(scheduler, model, progress);
    };
    return platform;
}

std::unique_ptr<SpeechEngine> makeLiveSpeechEngine(Scheduler &scheduler,
                                                   std::shared_ptr<const SpeechServerChoice> choice,
                                                   std::function<Microphone()> microphone)
{
    auto model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish());
    SpeechEngine::Platform platform = pocketSphinxPlatform(scheduler, model);
    offerSpeechServer(scheduler, platform, std::move(choice));
    platform.permissions = std::make_shared<PulsePermissions>();
    platform.makeAudioSource = [microphone] {
        return std::make_unique<PulseAudioSource>(microphone ? microphone() : Microphone{});
    };
    return std::make_unique<SpeechEngine>(scheduler, std::move(platform), pocketSphinxDisplayName());
}

std::unique_ptr<SpeechEngine> makeFileSpeechEngine(Scheduler &scheduler,
                                                   std::shared_ptr<const WavAudio> audio,
                                                   WavFileSource::Pace pace,
                                                   std::function<void()> onEnd,
                                                   std::shared_ptr<PocketSphinxModel> model,
                                                   std::shared_ptr<RecognizerProgress> progress,
                                                   std::shared_ptr<const SpeechServerChoice> choice)
{
    if (!model)
        model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish());
    SpeechEngine::Platform platform = pocketSphinxPlatform(scheduler, model, progress);
    offerSpeechServer(scheduler, platform, std::move(choice));
    platform.permissions = std::make_shared<GrantedPermissions>();
    platform.makeAudioSource = [audio, pace, onEnd, progress] {
        return std::make_unique<WavFileSource>(audio, pace, onEnd, progress);
    };
    return std::make_unique<SpeechEngine>(scheduler, std::move(platform), pocketSphinxDisplayName());
}

} // namespace orv::speech
