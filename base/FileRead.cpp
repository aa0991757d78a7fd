#include "base/FileRead.h"

#include "base/OwnedFiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

FileReadError failure(int error)
{
    if (error == ENOENT)
        return {FileReadError::Kind::missing, QStringLiteral("it does not exist")};
    if (error == ENOTDIR) // a file where a folder of the path should be: nothing is there either
        return {FileReadError::Kind::missing, errnoText(error)};
    return {FileReadError::Kind::unreadable, errnoText(error)};
}

std::optional<FileReadError> typeProblem(mode_t mode)
{
    if (S_ISREG(mode))
        return std::nullopt;
    QString what;
    if (S_ISDIR(mode))
        what = QStringLiteral("it is a folder");
    else if (S_ISFIFO(mode))
        what = QStringLiteral("it is a named pipe, not a file");
    else if (S_ISCHR(mode) || S_ISBLK(mode))
        what = QStringLiteral("it is a device, not a file");
    else if (S_ISSOCK(mode))
        what = QStringLiteral("it is a socket, not a file");
    else
        what = QStringLiteral("it is not a regular file");
    return FileReadError{FileReadError::Kind::notRegular, what};
}

} // namespace

QString shownPath(const QString &path)
{
    constexpr qsizetype longest = 200;
    if (path.size() <= longest)
        return path;
    return path.left(longest / 2) + QChar(0x2026) + path.right(longest / 2 - 1);
}

QString byteSizeText(qint64 bytes)
{
    constexpr qint64 kB = 1000;
    constexpr qint64 MB = 1000 * kB;
    constexpr qint64 MiB = 1024 * 1024;
    if (bytes >= MB && bytes % MiB == 0)
        return QStringLiteral("%1 MB").arg(bytes / MiB);
    if (bytes >= MB)
        return QStringLiteral("%1 MB").arg(double(bytes) / MiB, 0, 'f', 1);
    if (bytes >= kB)
        return QStringLiteral("%1 kB").arg((bytes + kB / 2) / kB);
    return QStringLiteral("%1 bytes").arg(bytes);
}

std::optional<FileReadError> regularFileProblem(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return failure(errno);
    return typeProblem(info.st_mode);
}

namespace {

QString tooLargeReason(qint64 size, qint64 limit)
{
    return QStringLiteral("it is %1, more than the %2 it may hold").arg(byteSizeText(size), byteSizeText(limit));
}

Expected<OpenedFile, FileReadError> openChecked(const QString &path, qint64 limit, bool privateFile)
{
    if (privateFile) {
        if (auto foreign = owned::foreignLink(path))
            return unexpected(FileReadError{FileReadError::Kind::foreign, *foreign});
    }
    // Non-blocking, so that opening a named pipe does not wait for a writer; the type is checked on the
    // descriptor itself, so nothing can be swapped in between.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return unexpected(failure(errno));
    const auto refuse = [fd](FileReadError error) {
        ::close(fd);
        return unexpected(std::move(error));
    };
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return refuse(failure(errno));
    if (auto problem = typeProblem(info.st_mode))
        return refuse(*problem);
    if (privateFile) {
        const QString problem = owned::trustProblem(fd, S_IRUSR | S_IWUSR);
        if (!problem.isEmpty())
            return refuse(FileReadError{FileReadError::Kind::foreign, problem});
    }
    if (info.st_size > limit)
        return refuse(FileReadError{FileReadError::Kind::tooLarge, tooLargeReason(info.st_size, limit)});
    return OpenedFile{fd, qint64(info.st_size)};
}

Expected<QByteArray, FileReadError> readFile(const QString &path, qint64 limit, bool privateFile)
{
    auto opened = openChecked(path, limit, privateFile);
    if (!opened)
        return unexpected(opened.error());
    const int fd = opened.value().fd;
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const auto tooLarge = [&](qint64 size) {
        return unexpected(FileReadError{FileReadError::Kind::tooLarge, tooLargeReason(size, limit)});
    };

    // The size may change while it is read: read at most one byte past the limit to notice.
    QByteArray bytes;
    bytes.resize(qsizetype(opened.value().size) + 1);
    qsizetype filled = 0;
    while (true) {
        if (filled == bytes.size()) {
            if (bytes.size() > limit)
                return tooLarge(bytes.size());
            bytes.resize(std::min<qsizetype>(qsizetype(limit) + 1, bytes.size() * 2 + 4096));
        }
        const ssize_t n = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return unexpected(failure(errno));
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > limit)
        return tooLarge(filled);
    bytes.resize(filled);
    return bytes;
}

} // namespace

Expected<QByteArray, FileReadError> readRegularFile(const QString &path, qint64 limit)
{
    return readFile(path, limit, false);
}

Expected<OpenedFile, FileReadError> openRegularFile(const QString &path, qint64 limit)
{
    return openChecked(path, limit, false);
}

Expected<QByteArray, FileReadError> readPrivateFile(const QString &path, qint64 limit)
{
    return readFile(path, limit, true);
}

std::optional<FileReadError> privateFileProblem(const QString &path)
{
    const auto read = readFile(path, 0, true);
    if (read || read.error().kind == FileReadError::Kind::tooLarge)
        return std::nullopt;
    return read.error();
}

} // namespace orv
