#include "speech/WhisperModelCatalog.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

namespace orv {

namespace {

constexpr qint64 mebibyte = 1024 * 1024;

bool isEnglish(const QString &languageCode)
{
    return languageCode.isEmpty() || languageCode.startsWith(QLatin1String("en"));
}

} // namespace

QUrl WhisperModelInfo::source() const
{
    return QUrl(QStringLiteral("https://huggingface.co/ggerganov/whisper.cpp/resolve/main/") + fileName());
}

QString WhisperModelInfo::label() const
{
    return QStringLiteral("%1 (%2)").arg(name, QLocale::c().formattedDataSize(bytes, 0, QLocale::DataSizeSIFormat));
}

const std::vector<WhisperModelInfo> &WhisperModelCatalog::models()
{
    // Sizes and SHA-1 digests as whisper.cpp's models/README.md lists them.
    static const std::vector<WhisperModelInfo> list{
        {QStringLiteral("tiny.en"), 75 * mebibyte, "c78c86eb1a8faa21b369bcd33207cc90d64ae9df", false},
        {QStringLiteral("base.en"), 142 * mebibyte, "137c40403d78fd54d454da0f9bd998f78703390c", false},
        {QStringLiteral("small.en"), 466 * mebibyte, "db8a495a91d927739e50b3fc1cc4c6b8f6c2d022", false},
        {QStringLiteral("tiny"), 75 * mebibyte, "bd577a113a864445d4c299885e0cb97d4ba92b5f", true},
        {QStringLiteral("base"), 142 * mebibyte, "465707469ff3a37a2b9b8d8f89f2f99de7299dac", true},
        {QStringLiteral("small"), 466 * mebibyte, "55356645c2b361a969dfd0ef2c5a50d530afd8d5", true},
    };
    return list;
}

const WhisperModelInfo *WhisperModelCatalog::find(const QString &name)
{
    for (const WhisperModelInfo &model : models())
        if (model.name == name)
            return &model;
    return nullptr;
}

QString WhisperModelCatalog::modelsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/orvanta/models");
}

const WhisperModelInfo &WhisperModelCatalog::defaultFor(const QString &languageCode)
{
    return *find(isEnglish(languageCode) ? QStringLiteral("base.en") : QStringLiteral("base"));
}

QString WhisperModelCatalog::fileLabel(const QString &path)
{
    const QFileInfo file(path);
    for (const WhisperModelInfo &model : models())
        if (model.fileName() == file.fileName())
            return model.label();
    return QStringLiteral("%1 (%2)").arg(file.fileName(),
                                         QLocale::c().formattedDataSize(file.size(), 0, QLocale::DataSizeSIFormat));
}

std::optional<QString> WhisperModelCatalog::installedFile(const QString &languageCode, const QString &folder)
{
    const WhisperModelInfo &preferred = defaultFor(languageCode);
    std::vector<const WhisperModelInfo *> order{&preferred};
    for (const WhisperModelInfo &model : models())
        if (&model != &preferred && (model.multilingual || isEnglish(languageCode)))
            order.push_back(&model);
    for (const WhisperModelInfo *model : order) {
        const QString path = QDir(folder).filePath(model->fileName());
        if (QFileInfo(path).isFile())
            return path;
    }
    return std::nullopt;
}

} // namespace orv
