#include "speech/live/SpeechComposition.h"

#include "base/PlatformText.h"
#include "speech/pocketsphinx/PocketSphinxAssetInventory.h"
#include "speech/pocketsphinx/PocketSphinxModel.h"
#include "speech/pocketsphinx/PocketSphinxTranscriber.h"
#include "speech/pulse/PulseAudioSource.h"
#include "speech/pulse/PulsePermissions.h"
#include "speech/server/SpeechServerTranscriber.h"
#include "speech/soxr/SoxrAudioConverter.h"

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

// Sessions go to the chosen server, with the PocketSphinx factory standing by for each of them.
void offerSpeechServer(Scheduler &scheduler,
                       SpeechEngine::Platform &platform,
                       std::shared_ptr<const SpeechServerChoice> choice)
{
    if (!choice)
        return;
    auto pocketSphinx = platform.makeTranscriber;
    platform.makeTranscriber = [&scheduler, pocketSphinx,
                                choice](const QString &locale) -> std::shared_ptr<AbstractTranscriber> {
        if (!choice->server)
            return pocketSphinx(locale);
        auto transcriber = std::make_shared<SpeechServerTranscriber>(
            scheduler, choice->server, locale, [pocketSphinx, locale] { return pocketSphinx(locale); },
            pocketSphinxDisplayName());
        transcriber->setLiveText(choice->liveText);
        return transcriber;
    };
    platform.displayName = [choice] {
        return choice->server ? choice->server->displayName() : pocketSphinxDisplayName();
    };
}

} // namespace

QString pocketSphinxDisplayName()
{
    return platform::recognizerName();
}

SpeechEngine::Platform pocketSphinxPlatform(Scheduler &scheduler,
                                            std::shared_ptr<PocketSphinxModel> model,
                                            std::shared_ptr<RecognizerProgress> progress)
{
    auto inventory = std::make_shared<PocketSphinxAssetInventory>();
    model->loadInBackground();
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
