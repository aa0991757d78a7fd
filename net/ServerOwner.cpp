#include "net/ServerOwner.h"

#include "base/CleanText.h"
#include "base/OwnedFiles.h"
#include "base/UnixEndpoint.h"

#include <QFile>

#include <QHostAddress>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

using Address = std::array<quint8, 16>; // IPv4 in the IPv4-mapped IPv6 form

constexpr int listenState = 0x0A;

Address mapped(quint32 ipv4)
{
    Address bytes{};
    bytes[10] = bytes[11] = 0xff;
    for (int i = 0; i < 4; ++i)
        bytes[12 + i] = quint8(ipv4 >> (24 - 8 * i));
    return bytes;
}

Address fromHost(const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4)
        return mapped(ipv4);
    const Q_IPV6ADDR ipv6 = address.toIPv6Address();
    Address bytes{};
    std::memcpy(bytes.data(), ipv6.c, 16);
    return bytes;
}

// The tables print each 32-bit word of the address as the host stores it.
bool parseAddress(const char *hex, size_t length, Address &out)
{
    if (length != 8 && length != 32)
        return false;
    std::array<quint8, 16> raw{};
    for (size_t word = 0; word < length / 8; ++word) {
        char digits[9] = {};
        std::memcpy(digits, hex + word * 8, 8);
        char *end = nullptr;
        const quint32 value = quint32(std::strtoul(digits, &end, 16));
        if (end != digits + 8)
            return false;
        std::memcpy(raw.data() + word * 4, &value, 4);
    }
    if (length == 8) {
        out = Address{};
        out[10] = out[11] = 0xff;
        std::memcpy(out.data() + 12, raw.data(), 4);
    } else {
        out = raw;
    }
    return true;
}

bool isAny(const Address &address, bool ipv4)
{
    const Address any4 = mapped(0);
    return ipv4 ? address == any4 : address == Address{};
}

bool isMapped(const Address &address)
{
    return std::all_of(address.begin(), address.begin() + 10, [](quint8 byte) { return byte == 0; }) &&
           address[10] == 0xff && address[11] == 0xff;
}

// Where a connection to the URL's host may go: "localhost" may resolve to either loopback address.
std::vector<Address> targets(const QUrl &url)
{
    const QString host = url.host().toLower();
    if (host == u"localhost")
        return {fromHost(QHostAddress(QHostAddress::LocalHost)), fromHost(QHostAddress(QHostAddress::LocalHostIPv6))};
    const QHostAddress address(host);
    if (address.isNull())
        return {};
    return {fromHost(address)};
}

void scan(const QString &path, bool ipv4, const std::vector<Address> &wanted, quint16 port, std::vector<uid_t> &owners)
{
    FILE *table = std::fopen(path.toLocal8Bit().constData(), "re");
    if (!table)
        return;
    char line[512];
    std::fgets(line, sizeof line, table); // the heading
    while (std::fgets(line, sizeof line, table)) {
        char local[64];
        char remote[64];
        unsigned localPort = 0;
        int state = 0;
        unsigned long uid = 0;
        // sl local:port remote:port st tx:rx tr:when retrnsmt uid
        if (std::sscanf(line, " %*d: %63[0-9A-Fa-f]:%x %63[0-9A-Fa-f]:%*x %x %*x:%*x %*x:%*x %*x %lu", local,
                        &localPort, remote, &state, &uid) != 5)
            continue;
        Address address;
        if (state != listenState || localPort != port || !parseAddress(local, std::strlen(local), address))
            continue;
        // A listener on every address takes loopback connections too (an IPv6 one IPv4's as well, unless
        // it is IPv6-only, which the table does not say).
        bool reached = !ipv4 && isAny(address, false);
        for (const Address &target : wanted)
            reached = reached || address == target || (ipv4 && isAny(address, true) && isMapped(target));
        if (reached)
            owners.push_back(uid_t(uid));
    }
    std::fclose(table);
}

} // namespace

std::vector<uid_t> ServerOwner::listeners(const QUrl &url, const QString &procNet)
{
    const int defaultPort = url.scheme().toLower() == u"https" ? 443 : 80;
    const quint16 port = quint16(url.port(defaultPort));
    const std::vector<Address> wanted = targets(url);
    std::vector<uid_t> owners;
    if (wanted.empty())
        return owners;
    scan(procNet + QStringLiteral("/tcp"), true, wanted, port, owners);
    scan(procNet + QStringLiteral("/tcp6"), false, wanted, port, owners);
    return owners;
}

Expected<void, QString>
ServerOwner::trust(uid_t owner, const QUrl &url, const QStringList &allowedAccounts, const QString &server)
{
    if (owner == geteuid())
        return {};
    const QString name = owned::accountName(owner);
    for (const QString &account : allowedAccounts) {
        if (account.trimmed() == name)
            return {};
    }
    return unexpected(QStringLiteral("The %1 at %2 is run by another account (“%3”), so Orvanta sends it "
                                     "nothing. To use it, allow the account “%3” in Settings.")
                          .arg(server, url.toString(), cleanText(name, false)));
}

Expected<bool, QString> ServerOwner::check(const QUrl &url, const QStringList &allowedAccounts, const QString &server)
{
    if (unixendpoint::isUnix(url)) {
        // Who listens is known once connected; here only that the path is the socket itself.
        struct stat status = {};
        if (lstat(QFile::encodeName(unixendpoint::socketPath(url)).constData(), &status) != 0)
            return false;
        if (S_ISLNK(status.st_mode))
            return unexpected(QStringLiteral("The %1 address %2 is a link: Orvanta does not follow it. Give the "
                                             "path of the socket itself.")
                                  .arg(server, url.toString()));
        if (!S_ISSOCK(status.st_mode))
            return unexpected(QStringLiteral("The %1 address %2 names no socket.").arg(server, url.toString()));
        return true;
    }
    const std::vector<uid_t> owners = listeners(url);
    for (const uid_t owner : owners) {
        if (auto trusted = trust(owner, url, allowedAccounts, server); !trusted)
            return unexpected(trusted.error());
    }
    return !owners.empty();
}

} // namespace orv
