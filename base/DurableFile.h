#pragma once

#include "base/Expected.h"

#include <QByteArray>
#include <QString>

namespace orv::DurableFile {

// Replaces the file at path with bytes, owner-only (0600): written to a temporary file in the same folder,
// flushed to the disk, renamed over the old file, and the folder flushed too. On failure the old file is as
// it was, no temporary file is left, and the error is the system's reason ("No space left on device").
// A path that is a symbolic link replaces the file the link points to, unless another account made the
// link. The folder must be this user's; one other accounts could write to is made owner-only first.
Expected<void, QString> replace(const QString &path, const QByteArray &bytes);

// Removes temporary files that a replace() killed midway left beside path. Only files more than a minute
// old are taken, so a save in progress in another process is never disturbed.
void removeLeftovers(const QString &path);

} // namespace orv::DurableFile
