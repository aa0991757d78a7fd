#pragma once

#include <QString>
#include <QUrl>

namespace orv::unixendpoint {

// A server on this computer reached through a Unix socket in the file system, written
// "unix:/run/user/1000/llama.sock", or with the HTTP path its API lives under after a colon:
// "unix:/run/user/1000/whisper.sock:/inference". The socket's path ends at its first colon.
QUrl make(const QString &socket, const QString &httpPath);

bool isUnix(const QUrl &url);
// The socket's path; empty for an http URL.
QString socketPath(const QUrl &url);
// The HTTP path of either kind of address: the URL's path, or what follows the socket.
QString httpPath(const QUrl &url);
// The server itself, without an HTTP path, query or fragment.
QUrl origin(const QUrl &url);

} // namespace orv::unixendpoint
