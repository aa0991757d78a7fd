#include "speech/live/SpeechComposition.h"

#include "base/PlatformText.h"
#include "speech/pocketsphinx/PocketSphinxAssetInventory.h"
#include "speech/pocketsphinx/PocketSphinxModel.h"
#include "speech/pocketsphinx/PocketSphinxTranscriber.h"
#include "speech/pulse/PulseAudioSource.h"
#include "speech/pulse/PulsePermissions.h"
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

std::shared_ptr<Permissions> makeLivePermissions()
{
    return std::make_shared<PulsePermissions>();
}

std::unique_ptr<SpeechEngine> makeLiveSpeechEngine(Scheduler &scheduler, std::shared_ptr<Permissions> permissions)
{
    auto model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish());
    SpeechEngine::Platform platform = pocketSphinxPlatform(scheduler, model);
    platform.permissions = std::move(permissions);
    platform.makeAudioSource = [] { return std::make_unique<PulseAudioSource>(); };
    return std::make_unique<SpeechEngine>(scheduler, std::move(platform), pocketSphinxDisplayName());
}

std::unique_ptr<SpeechEngine> makeFileSpeechEngine(Scheduler &scheduler,
                                                   std::shared_ptr<const WavAudio> audio,
                                                   WavFileSource::Pace pace,
                                                   std::function<void()> onEnd,
                                                   std::shared_ptr<PocketSphinxModel> model,
                                                   std::shared_ptr<RecognizerProgress> progress)
{
    if (!model)
        model = std::make_shared<PocketSphinxModel>(scheduler, PocketSphinxModel::debianEnglish());
    SpeechEngine::Platform platform = pocketSphinxPlatform(scheduler, model, progress);
    platform.permissions = std::make_shared<GrantedPermissions>();
    platform.makeAudioSource = [audio, pace, onEnd, progress] {
        return std::make_unique<WavFileSource>(audio, pace, onEnd, progress);
    };
    return std::make_unique<SpeechEngine>(scheduler, std::move(platform), pocketSphinxDisplayName());
}

} // namespace orv::speech
