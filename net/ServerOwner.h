#pragma once

#include "base/Expected.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <sys/types.h>

#include <vector>

namespace orv {

// Who runs the server behind a loopback address. Loopback is reachable by every account on the computer,
// so a server there is trusted only when this user runs it, or when the user named its account.
class ServerOwner
{
public:
    // The owners of the sockets listening where a connection to url (a loopback http URL) may land, read from
    // the kernel's socket tables under procNet. Empty when nothing listens there.
    static std::vector<uid_t> listeners(const QUrl &url, const QString &procNet = QStringLiteral("/proc/net"));

    // Whether anything listens, when every listener is this user's or belongs to one of allowedAccounts
    // (account names); otherwise a sentence saying whose server it is. `server` names it ("model server").
    static Expected<bool, QString>
    check(const QUrl &url, const QStringList &allowedAccounts, const QString &server = QStringLiteral("server"));
};

} // namespace orv
