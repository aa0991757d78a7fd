#include "speech/whisper/WhisperAssetInventory.h"

#include "speech/server/SpeechServer.h"

#include <whisper.h>

#include <QFileInfo>
#include <QLocale>

namespace orv {

WhisperAssetInventory::WhisperAssetInventory(Scheduler &scheduler,
                                             std::shared_ptr<AbstractAssetInventory> pocketSphinx,
                                             Hooks hooks,
                                             QString folder)
    : m_pocketSphinx(std::move(pocketSphinx)), m_hooks(std::move(hooks)), m_folder(folder),
      m_downloader(scheduler, std::move(folder))
{}

QStringList WhisperAssetInventory::whisperLanguages()
{
    QStringList codes;
    for (int id = 0; id <= whisper_lang_max_id(); ++id)
        if (const char *code = whisper_lang_str(id))
            codes.append(QString::fromLatin1(code));
    return codes;
}

QStringList WhisperAssetInventory::installedLocales() const
{
    QStringList locales = m_pocketSphinx->installedLocales();
    if (!downloads())
        return locales;
    for (const WhisperModelInfo &model : WhisperModelCatalog::models()) {
        if (model.multilingual && QFileInfo::exists(m_folder + u'/' + model.fileName())) {
            for (const QString &code : whisperLanguages()) {
                const QLocale locale(code);
                if (locale.language() != QLocale::English && locale.language() != QLocale::C)
                    locales.append(locale.name().replace(u'_', u'-'));
            }
            break;
        }
    }
    return locales;
}

std::optional<QString> WhisperAssetInventory::supportedLocale(const QString &identifier) const
{
    if (auto english = m_pocketSphinx->supportedLocale(identifier))
        return english;
    if (!downloads())
        return std::nullopt;
    const QString code = SpeechServer::languageCode(identifier);
    if (code.isEmpty() || whisper_lang_id(code.toLatin1().constData()) < 0)
        return std::nullopt;
    return QLocale(code).name().replace(u'_', u'-');
}

Task<AbstractAssetInventory::Status> WhisperAssetInventory::status(QString locale)
{
    if (!downloads()) {
        std::shared_ptr<AbstractAssetInventory> pocketSphinx = m_pocketSphinx;
        co_return co_await pocketSphinx->status(locale);
    }
    const QString code = SpeechServer::languageCode(locale);
    co_return WhisperModelCatalog::installedFile(code, m_folder) ? Status::installed : Status::downloadable;
}

Task<Expected<void, SpeechEngineError>> WhisperAssetInventory::install(QString locale)
{
    const QString code = SpeechServer::languageCode(locale);
    const bool english = m_pocketSphinx->supportedLocale(locale).has_value();
    WhisperModelDownloader::Progress progress = [this](qint64 received, qint64 total) {
        if (onProgress)
            onProgress(received, total);
    };
    Task<Expected<QString, WhisperModelDownloader::Failure>> fetching =
        m_downloader.download(WhisperModelCatalog::defaultFor(code), sourceOverride, progress);
    const auto fetched = co_await fetching;
    if (fetched)
        co_return Expected<void, SpeechEngineError>();
    if (fetched.error().cancelled)
        co_return unexpected(SpeechEngineError{SpeechEngineError::Kind::cancelled, {}});
    if (m_hooks.onDownloadFailed)
        m_hooks.onDownloadFailed(fetched.error().sentence);
    if (english)
        co_return Expected<void, SpeechEngineError>(); // PocketSphinx takes the dictation, with a notice
    co_return unexpected(SpeechEngineError{SpeechEngineError::Kind::platform, fetched.error().sentence});
}

} // namespace orv
