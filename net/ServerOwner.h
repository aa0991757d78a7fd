#pragma once

#include "base/Expected.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <sys/types.h>

#include <vector>

namespace orv {

// Who runs the server behind a loopback address or a Unix socket. Both are reachable by every account on the
// computer, so a server there is trusted only when this user runs it, or when the user named its account.
class ServerOwner
{
public:
    // The owners of the sockets listening where a connection to url (a loopback http URL) may land, read from
    // the kernel's socket tables under procNet. Empty when nothing listens there.
    static std::vector<uid_t> listeners(const QUrl &url, const QString &procNet = QStringLiteral("/proc/net"));

    // Whether anything listens, when every listener is this user's or belongs to one of allowedAccounts
    // (account names); otherwise a sentence saying whose server it is. `server` names it ("model server").
    // For a Unix socket (whose owner only the connection tells, see trust()): whether the socket is there,
    // or a sentence when the path is a link or no socket.
    static Expected<bool, QString>
    check(const QUrl &url, const QStringList &allowedAccounts, const QString &server = QStringLiteral("server"));

    // Nothing when the account `owner` runs a server the user trusts; otherwise the sentence naming it.
    static Expected<void, QString>
    trust(uid_t owner, const QUrl &url, const QStringList &allowedAccounts, const QString &server);
};

} // namespace orv
