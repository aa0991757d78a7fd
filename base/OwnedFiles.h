#pragma once

#include "base/Expected.h"

#include <QString>

#include <sys/types.h>

#include <optional>

namespace orv::owned {

// The account's name, or its number when it has none.
QString accountName(uid_t uid);

// Why a file or folder at hand may not be trusted, as a clause ("it belongs to the account “bob”"); empty
// when it belongs to this user. What is this user's and writable by other accounts is made owner-only first
// (privateMode: 0700 for a folder, 0600 for a file), through the descriptor, so nothing can be swapped in.
QString trustProblem(int fd, mode_t privateMode);

// A folder's descriptor for reading and writing its entries (openat, renameat), when trustProblem() finds
// nothing; otherwise the reason. The caller closes it.
Expected<int, QString> openTrustedFolder(const QString &folder);

// Whether the entry at path, when it is a symbolic link, was made by another account: such a link is never
// followed, since in a folder it could write to it can point anywhere.
std::optional<QString> foreignLink(const QString &path);

} // namespace orv::owned
