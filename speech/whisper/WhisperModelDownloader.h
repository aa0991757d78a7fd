#pragma once

#include "base/Expected.h"
#include "base/Task.h"
#include "net/LoopbackHttpClient.h"
#include "speech/WhisperModelCatalog.h"

#include <functional>

namespace orv {

// Fetches a Whisper model into the models folder. The file is written as NAME.part, resumed from there
// the next time, and takes its own name only once complete and matching the publisher's checksum: a
// partly downloaded or corrupt file is never loaded. Free space is checked before anything is fetched.
class WhisperModelDownloader
{
public:
    struct Failure
    {
        QString sentence; // empty when cancelled
        bool cancelled = false;
    };
    using Progress = std::function<void(qint64 received, qint64 total)>;

    // Nothing at all arriving for this long ends the download (it resumes next time).
    static constexpr Duration idleLimit = std::chrono::seconds(30);

    WhisperModelDownloader(Scheduler &scheduler, QString folder = WhisperModelCatalog::modelsFolder());

    // The path of the installed model, or why there is none. source defaults to the publisher's address.
    Task<Expected<QString, Failure>> download(WhisperModelInfo model, QUrl source = {}, Progress progress = {});

    // Bytes free where the models go (tests fill the disk through it).
    std::function<qint64(const QString &folder)> freeSpace;

private:
    Task<bool> matchesChecksum(QString path, QByteArray sha1);

    Scheduler &m_scheduler;
    QString m_folder;
    LoopbackHttpClient m_client;
};

} // namespace orv
