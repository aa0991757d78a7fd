#include "speech/pocketsphinx/PocketSphinxAssetInventory.h"

#include "base/PlatformText.h"

#include <QLocale>

namespace orv {

std::vector<PocketSphinxAssetInventory::Language> PocketSphinxAssetInventory::debianLanguages()
{
    return {
        Language{QStringLiteral("en-US"), QStringLiteral("pocketsphinx-en-us"), PocketSphinxModel::debianEnglish()}};
}

PocketSphinxAssetInventory::PocketSphinxAssetInventory(std::vector<Language> languages)
    : m_languages(std::move(languages))
{}

const PocketSphinxAssetInventory::Language *PocketSphinxAssetInventory::find(const QString &locale) const
{
    for (const Language &language : m_languages)
        if (language.identifier == locale)
            return &language;
    return nullptr;
}

QStringList PocketSphinxAssetInventory::installedLocales() const
{
    QStringList locales;
    for (const Language &language : m_languages)
        if (PocketSphinxModel::isComplete(language.files))
            locales.append(language.identifier);
    return locales;
}

std::optional<QString> PocketSphinxAssetInventory::supportedLocale(const QString &identifier) const
{
    QString wanted = identifier.trimmed();
    wanted.replace(QLatin1Char('_'), QLatin1Char('-'));
    if (wanted.isEmpty())
        return std::nullopt;
    for (const Language &language : m_languages)
        if (language.identifier.compare(wanted, Qt::CaseInsensitive) == 0)
            return language.identifier;
    // A bare language code ("en") stands for the one model of that language.
    if (!wanted.contains(QLatin1Char('-')))
        for (const Language &language : m_languages)
            if (language.identifier.section(QLatin1Char('-'), 0, 0).compare(wanted, Qt::CaseInsensitive) == 0)
                return language.identifier;
    return std::nullopt;
}

Task<AbstractAssetInventory::Status> PocketSphinxAssetInventory::status(QString locale)
{
    const Language *language = find(locale);
    if (!language)
        co_return Status::unsupported;
    co_return PocketSphinxModel::isComplete(language->files) ? Status::installed : Status::notInstalled;
}

Task<Expected<void, SpeechEngineError>> PocketSphinxAssetInventory::install(QString locale)
{
    const Language *language = find(locale);
    if (!language)
        co_return unexpected(SpeechEngineError{SpeechEngineError::Kind::unsupportedLanguage, locale});
    const QString name = QLocale(locale).nativeLanguageName();
    co_return unexpected(
        SpeechEngineError{SpeechEngineError::Kind::platform,
                          QStringLiteral("The PocketSphinx model for %1 is not installed %2. Install the package %3.")
                              .arg(name.isEmpty() ? locale : name, platform::onThisComputer(), language->package)});
}

} // namespace orv
