#include "base/OwnedFiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::owned {

QString accountName(uid_t uid)
{
    passwd entry{};
    passwd *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

QString trustProblem(int fd, mode_t privateMode)
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (info.st_uid != ::geteuid())
        return QStringLiteral("it belongs to the account “%1”, not to you").arg(accountName(info.st_uid));
    const bool folder = S_ISDIR(info.st_mode);
    // A shared folder such as /tmp is everyone's to add to by design: it is not made private, nor trusted.
    if (folder && (info.st_mode & S_ISVTX) && (info.st_mode & S_IWOTH))
        return QStringLiteral("it is a folder every account may add files to");
    // What others may read stays as the user chose; what they may change is made the user's alone.
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && ::fchmod(fd, privateMode) != 0)
        return QStringLiteral("other accounts may change it and it could not be made private (%1)")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return {};
}

Expected<int, QString> openTrustedFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return unexpected(QString::fromLocal8Bit(std::strerror(errno)));
    const QString problem = trustProblem(fd, S_IRWXU);
    if (!problem.isEmpty()) {
        ::close(fd);
        return unexpected(problem);
    }
    return fd;
}

std::optional<QString> foreignLink(const QString &path)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISLNK(info.st_mode) ||
        info.st_uid == ::geteuid())
        return std::nullopt;
    return QStringLiteral("it is a link made by the account “%1”").arg(accountName(info.st_uid));
}

} // namespace orv::owned
