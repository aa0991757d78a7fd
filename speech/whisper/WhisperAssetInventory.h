#pragma once

#include "speech/AbstractAssetInventory.h"
#include "speech/whisper/WhisperModelDownloader.h"

#include <functional>
#include <memory>

namespace orv {

// The languages of the embedded Whisper, PocketSphinx's English under it. While Whisper is chosen without a
// model file of the user's, a language whose catalog model is missing is downloadable: the dictation
// downloads it (the engine shows "Downloading {language}…" with the percentage) and can cancel it. A failed
// download of English leaves the dictation to PocketSphinx; other languages have no fallback.
class WhisperAssetInventory final : public AbstractAssetInventory
{
public:
    struct Hooks
    {
        std::function<bool()> downloads;                       // Whisper chosen, models from the catalog
        std::function<void(const QString &)> onDownloadFailed; // the sentence, for the session's notice
    };

    WhisperAssetInventory(Scheduler &scheduler,
                          std::shared_ptr<AbstractAssetInventory> pocketSphinx,
                          Hooks hooks,
                          QString folder = WhisperModelCatalog::modelsFolder());

    QStringList installedLocales() const override;
    std::optional<QString> supportedLocale(const QString &identifier) const override;
    Task<Status> status(QString locale) override;
    Task<Expected<void, SpeechEngineError>> install(QString locale) override;

    // The language codes a multilingual model recognizes.
    static QStringList whisperLanguages();
    // Where downloads come from (tests use a loopback server); empty: the publisher's address.
    QUrl sourceOverride;

private:
    bool downloads() const { return m_hooks.downloads && m_hooks.downloads(); }

    std::shared_ptr<AbstractAssetInventory> m_pocketSphinx;
    Hooks m_hooks;
    QString m_folder;
    WhisperModelDownloader m_downloader;
};

} // namespace orv
