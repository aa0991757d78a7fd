#include "tests/support/OtherAccount.h"

#include "tests/support/ChildProcess.h"

#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace orv::test {

namespace {

const char accountName[] = "orvanta-other";

std::optional<OtherAccount> lookUp()
{
    passwd entry{};
    passwd *found = nullptr;
    char buffer[4096];
    if (getpwnam_r(accountName, &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return std::nullopt;
    return OtherAccount{found->pw_uid, found->pw_gid, QString::fromLatin1(accountName)};
}

} // namespace

std::optional<OtherAccount> OtherAccount::get(QString *whyNot)
{
    if (auto account = lookUp())
        return account;
    if (geteuid() != 0) {
        *whyNot = u"needs a second account: run as root to create one"_s;
        return std::nullopt;
    }
    const QStringList arguments =
        u"--system --no-create-home --user-group --shell /usr/sbin/nologin %1"_s.arg(QLatin1String(accountName))
            .split(QLatin1Char(' '));
    // Another test program may be creating it at the same moment: look again whatever useradd says.
    ChildProcess::execute(u"/usr/sbin/useradd"_s, arguments, 30000);
    if (auto account = lookUp())
        return account;
    *whyNot = u"useradd could not create the second account"_s;
    return std::nullopt;
}

// The system calls themselves for effective ids: the C library's wrappers change every thread of the test.
ActingAs::ActingAs(const OtherAccount &account, bool effective)
    : m_uid(geteuid()), m_gid(getegid()), m_effective(effective)
{
    if (effective) {
        syscall(SYS_setresgid, -1, account.gid, -1);
        syscall(SYS_setresuid, -1, account.uid, -1);
    } else {
        setfsgid(account.gid);
        setfsuid(account.uid);
    }
}

ActingAs::~ActingAs()
{
    if (m_effective) {
        syscall(SYS_setresuid, -1, m_uid, -1);
        syscall(SYS_setresgid, -1, m_gid, -1);
    } else {
        setfsuid(m_uid);
        setfsgid(m_gid);
    }
}

} // namespace orv::test
