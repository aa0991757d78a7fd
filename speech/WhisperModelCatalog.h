#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace orv {

// The publisher's Whisper models in ggml format (whisper.cpp's model list): name, size, checksum and
// where each is downloaded from. The checksums are the SHA-1 digests the publisher lists.
struct WhisperModelInfo
{
    QString name;     // "base.en"
    qint64 bytes = 0; // approximate, for the free-space check and the texts
    QByteArray sha1;  // hex
    bool multilingual = false;

    QString fileName() const { return QStringLiteral("ggml-%1.bin").arg(name); }
    QUrl source() const;
    // "base.en (142 MB)"
    QString label() const;
};

class WhisperModelCatalog
{
public:
    static const std::vector<WhisperModelInfo> &models();
    static const WhisperModelInfo *find(const QString &name);
    // $XDG_DATA_HOME/orvanta/models
    static QString modelsFolder();
    // The model a language gets when the user asks for one: base.en for English, base for the others.
    static const WhisperModelInfo &defaultFor(const QString &languageCode);
    // The installed model file that recognizes the language (ISO 639-1), the default model first, then the
    // larger ones; nullopt when none is installed in folder.
    // "base.en (142 MB)" for a catalog model's file, the file's name and size for another.
    static QString fileLabel(const QString &path);
    static std::optional<QString> installedFile(const QString &languageCode, const QString &folder = modelsFolder());
};

} // namespace orv
