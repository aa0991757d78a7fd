#pragma once

#include "base/Expected.h"

#include <QString>
#include <QUrl>

namespace orv {

// The address of a server Orvanta talks to on this computer (the language model's): an http(s) URL whose
// host is a loopback address, or a Unix socket in the file system, "unix:/absolute/socket/path" optionally
// followed by ":" and the HTTP path ("unix:/run/user/1000/whisper.sock:/inference"; see base/UnixEndpoint.h).
// Anything else is refused with a sentence saying why, since dictations never leave the computer. `server`
// names the server in that sentence ("model server").
Expected<QUrl, QString> loopbackServerUrl(const QString &address, const QString &server);

} // namespace orv
