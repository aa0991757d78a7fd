#include "base/DurableFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::DurableFile {

namespace {

// "library.json.saving-XXXXXX": a name no user picks for a file of their own, so that leftovers can be
// recognized without doubt.
const char temporaryMarker[] = ".saving-";
constexpr int temporarySuffixLength = 6; // mkstemp's XXXXXX

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The file a path finally names, following links as far as they go (also to a file not yet there).
QString finalTarget(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.absoluteFilePath();
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

// Flushes the folder, so that the rename itself survives a power cut. Filesystems that cannot flush a
// folder say so with EINVAL; that is no failure of the save.
bool syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

bool isLeftoverName(const QString &name, const QString &base)
{
    const QString prefix = base + QLatin1String(temporaryMarker);
    if (name.size() != prefix.size() + temporarySuffixLength || !name.startsWith(prefix))
        return false;
    for (qsizetype i = prefix.size(); i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (!(c.isLetterOrNumber() && c.unicode() < 128))
            return false;
    }
    return true;
}

} // namespace

Expected<void, QString> replace(const QString &path, const QByteArray &bytes)
{
    const QString target = finalTarget(path);
    const QByteArray targetName = QFile::encodeName(target);
    QByteArray temporary = targetName + temporaryMarker + "XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // created 0600
    if (fd < 0)
        return unexpected(systemReason(errno));

    // Every step is checked: a full disk may show only when the data is flushed, or even at close.
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.constData(), targetName.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        return unexpected(systemReason(error));
    }
    if (!syncFolder(QFile::encodeName(QFileInfo(target).absolutePath())))
        return unexpected(systemReason(errno));
    return {};
}

void removeLeftovers(const QString &path)
{
    const QFileInfo target(finalTarget(path));
    const QString base = target.fileName();
    const QDateTime settled = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QFileInfoList entries =
        QDir(target.absolutePath())
            .entryInfoList({base + QLatin1String(temporaryMarker) + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        if (isLeftoverName(entry.fileName(), base) && entry.isFile() && !entry.isSymLink() &&
            entry.lastModified().toUTC() < settled)
            QFile::remove(entry.absoluteFilePath());
    }
}

} // namespace orv::DurableFile
