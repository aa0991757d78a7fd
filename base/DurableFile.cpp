#include "base/DurableFile.h"

#include "base/OwnedFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

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

// The file a path finally names, following links as far as they go (also to a file not yet there). A link
// another account made is not followed: that is the reason.
Expected<QString, QString> finalTarget(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth) {
        if (auto foreign = owned::foreignLink(info.absoluteFilePath()))
            return unexpected(*foreign);
        info.setFile(info.symLinkTarget());
    }
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
bool syncFolder(int folder)
{
    return ::fsync(folder) == 0 || errno == EINVAL || errno == EROFS;
}

// A fresh temporary file beside base in the folder, created owner-only; its name goes to name.
int createTemporary(int folder, const QByteArray &base, QByteArray &name)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = base + temporaryMarker;
        for (int i = 0; i < temporarySuffixLength; ++i)
            name += letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))];
        const int fd =
            ::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
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
    const Expected<QString, QString> target = finalTarget(path);
    if (!target)
        return unexpected(target.error());
    // Everything happens through the folder's descriptor, by name within it: a link or a folder swapped in
    // meanwhile cannot send the save elsewhere, and renameat replaces a link put in the file's place
    // instead of writing where it points.
    const QFileInfo info(target.value());
    const Expected<int, QString> folder = owned::openTrustedFolder(info.absolutePath());
    if (!folder)
        return unexpected(QStringLiteral("its folder cannot be trusted: ") + folder.error());
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{folder.value()};
    const QByteArray name = QFile::encodeName(info.fileName());
    QByteArray temporary;
    const int fd = createTemporary(folder.value(), name, temporary);
    if (fd < 0)
        return unexpected(systemReason(errno));

    // Every step is checked: a full disk may show only when the data is flushed, or even at close.
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::renameat(folder.value(), temporary.constData(), folder.value(), name.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlinkat(folder.value(), temporary.constData(), 0);
        return unexpected(systemReason(error));
    }
    if (!syncFolder(folder.value()))
        return unexpected(systemReason(errno));
    return {};
}

void removeLeftovers(const QString &path)
{
    const Expected<QString, QString> followed = finalTarget(path);
    if (!followed)
        return;
    const QFileInfo target(followed.value());
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
