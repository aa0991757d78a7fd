#pragma once

#include "speech/AbstractAssetInventory.h"
#include "speech/pocketsphinx/PocketSphinxModel.h"

#include <vector>

namespace orv {

// The languages PocketSphinx has models for on Debian: installed when the model files are present;
// otherwise the package that provides them is named (nothing is downloaded).
class PocketSphinxAssetInventory final : public AbstractAssetInventory
{
public:
    struct Language
    {
        QString identifier; // "en-US"
        QString package;    // "pocketsphinx-en-us"
        PocketSphinxModel::Files files;
    };
    static std::vector<Language> debianLanguages();

    explicit PocketSphinxAssetInventory(std::vector<Language> languages = debianLanguages());

    QStringList installedLocales() const override;
    std::optional<QString> supportedLocale(const QString &identifier) const override;
    Task<Status> status(QString locale) override;
    Task<Expected<void, SpeechEngineError>> install(QString locale) override;

private:
    const Language *find(const QString &locale) const;

    std::vector<Language> m_languages;
};

} // namespace orv
