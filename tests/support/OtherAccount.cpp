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

ActingAs::ActingAs(const OtherAccount &account) : m_uid(geteuid()), m_gid(getegid())
{
    setfsgid(account.gid);
    setfsuid(account.uid);
}

ActingAs::~ActingAs()
{
    setfsuid(m_uid);
    setfsgid(m_gid);
}

// The system calls themselves: the C library's wrappers change every thread of the test.
RunningAs::RunningAs(const OtherAccount &account) : m_uid(geteuid()), m_gid(getegid())
{
    syscall(SYS_setresgid, -1, account.gid, -1);
    syscall(SYS_setresuid, -1, account.uid, -1);
}

RunningAs::~RunningAs()
{
    syscall(SYS_setresuid, -1, m_uid, -1);
    syscall(SYS_setresgid, -1, m_gid, -1);
}

} // namespace orv::test
