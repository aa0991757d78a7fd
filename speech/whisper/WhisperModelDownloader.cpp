#include "speech/whisper/WhisperModelDownloader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>

namespace orv {

namespace {

QString size(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 0, QLocale::DataSizeSIFormat);
}

} // namespace

WhisperModelDownloader::WhisperModelDownloader(Scheduler &scheduler, QString folder)
    : freeSpace([](const QString &where) { return QStorageInfo(where).bytesAvailable(); }), m_scheduler(scheduler),
      m_folder(std::move(folder)), m_client(scheduler, QUrl())
{}

Task<Expected<QString, WhisperModelDownloader::Failure>>
WhisperModelDownloader::download(WhisperModelInfo model, QUrl source, Progress progress)
{
    using Outcome = LoopbackHttpClient::Download::Outcome;
    const QString name = model.name;
    if (!QDir().mkpath(m_folder))
        co_return unexpected(
            Failure{QStringLiteral("The folder %1 could not be made for the Whisper model.").arg(m_folder)});
    const QString target = QDir(m_folder).filePath(model.fileName());
    const QString partial = target + QStringLiteral(".part");
    const qint64 have = QFileInfo(partial).size();
    // A tenth more than the model, for the file system's own needs.
    const qint64 needed = (model.bytes - have) + model.bytes / 10;
    const qint64 free = freeSpace ? freeSpace(m_folder) : -1;
    if (free >= 0 && free < needed)
        co_return unexpected(
            Failure{QStringLiteral("Not enough free space for the Whisper model %1: %2 needed, %3 free in %4.")
                        .arg(name, size(needed), size(free), m_folder)});

    // Named first: gcc 12 destroys temporaries of a co_await's full expression twice.
    const QUrl from = source.isEmpty() ? model.source() : source;
    Task<LoopbackHttpClient::Download> fetching = m_client.download(from, partial, progress, idleLimit);
    const LoopbackHttpClient::Download fetched = co_await fetching;
    switch (fetched.outcome) {
    case Outcome::complete:
        break;
    case Outcome::cancelled:
        co_return unexpected(Failure{{}, true});
    case Outcome::unreachable:
        co_return unexpected(
            Failure{QStringLiteral("The Whisper model %1 could not be downloaded (%2).").arg(name, fetched.errorText)});
    case Outcome::refused:
        co_return unexpected(Failure{
            QStringLiteral("The server refused the Whisper model %1 (HTTP status %2).").arg(name).arg(fetched.status)});
    case Outcome::stalled:
        co_return unexpected(Failure{QStringLiteral("The download of the Whisper model %1 stopped: nothing arrived for "
                                                    "%2 seconds. It goes on from there next time.")
                                         .arg(name)
                                         .arg(std::chrono::duration_cast<std::chrono::seconds>(idleLimit).count())});
    case Outcome::interrupted:
        co_return unexpected(
            Failure{QStringLiteral("The download of the Whisper model %1 broke off. It goes on from there next time.")
                        .arg(name)});
    case Outcome::writeFailed:
        co_return unexpected(Failure{QStringLiteral("The Whisper model %1 could not be written to %2 (%3).")
                                         .arg(name, m_folder, fetched.errorText)});
    }
    if (!co_await matchesChecksum(partial, model.sha1)) {
        QFile::remove(partial);
        co_return unexpected(Failure{
            QStringLiteral("The downloaded Whisper model %1 does not match its checksum and was deleted.").arg(name)});
    }
    QFile::remove(target);
    if (!QFile::rename(partial, target))
        co_return unexpected(
            Failure{QStringLiteral("The Whisper model %1 could not be moved to %2.").arg(name, target)});
    co_return target;
}

Task<bool> WhisperModelDownloader::matchesChecksum(QString path, QByteArray sha1)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        co_return false;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    // A few megabytes at a time, letting the windows redraw between them.
    while (!file.atEnd()) {
        const QByteArray piece = file.read(4 * 1024 * 1024);
        if (piece.isEmpty())
            co_return false;
        hash.addData(piece);
        if (!co_await sleepFor(m_scheduler, Duration::zero()))
            co_return false;
    }
    co_return hash.result().toHex() == sha1.toLower();
}

} // namespace orv
