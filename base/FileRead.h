#pragma once

#include "base/Expected.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace orv {

// Why a file could not be read; reason is a clause the caller puts after its own words, e.g.
// "it is a named pipe, not a file" or the system's "File name too long".
struct FileReadError
{
    enum class Kind
    {
        missing,    // nothing at that path
        notRegular, // a folder, pipe, device or socket
        tooLarge,   // more than the caller's limit
        foreign,    // another account's file or link, where only the user's own will do
        unreadable, // any other refusal of the system
    };

    Kind kind = Kind::unreadable;
    QString reason;
};

// Reads a whole regular file of at most `limit` bytes. A named pipe or a device is refused without
// waiting on it, and never more than limit + 1 bytes are read, whatever the file claims.
Expected<QByteArray, FileReadError> readRegularFile(const QString &path, qint64 limit);

// A regular file opened for reading, checked as readRegularFile() checks it; the caller closes fd.
struct OpenedFile
{
    int fd = -1;
    qint64 size = 0;
};
Expected<OpenedFile, FileReadError> openRegularFile(const QString &path, qint64 limit);

// The same for a file of the user's own data: it, and a link naming it, must belong to this user. One that
// other accounts could write to is made owner-only (0600) before it is read.
Expected<QByteArray, FileReadError> readPrivateFile(const QString &path, qint64 limit);

// What keeps a file of the user's own data at path from being used, checked without waiting on it (a named
// pipe or a device is opened non-blocking and refused): nothing when it is a regular file of the user's, or
// missing. It is made owner-only as readPrivateFile() does.
std::optional<FileReadError> privateFileProblem(const QString &path);

// What is at path, without opening it: nothing when it is a regular file (or a link to one).
std::optional<FileReadError> regularFileProblem(const QString &path);

// A path as a sentence shows it: one longer than 200 characters keeps its start and end around "…".
QString shownPath(const QString &path);

// "64 MB", "800 kB": a byte count for people.
QString byteSizeText(qint64 bytes);

} // namespace orv
