#pragma once

#include <QString>

#include <sys/types.h>

#include <optional>

namespace orv::test {

// A second account on this computer, for the tests that play another local user. Created (without a
// home or a login) when the tests run as root; otherwise there is none and whyNot says so.
struct OtherAccount
{
    uid_t uid = 0;
    gid_t gid = 0;
    QString name;

    static std::optional<OtherAccount> get(QString *whyNot);
};

// While it lives, files and sockets this thread creates belong to the account (its file-system ids).
class ActingAs
{
public:
    explicit ActingAs(const OtherAccount &account) : ActingAs(account, false) {}
    ~ActingAs();
    ActingAs(const ActingAs &) = delete;
    ActingAs &operator=(const ActingAs &) = delete;

protected:
    ActingAs(const OtherAccount &account, bool effective);

private:
    uid_t m_uid;
    gid_t m_gid;
    bool m_effective;
};

// While it lives, this thread runs as the account (its effective ids, which the kernel records for a Unix
// socket's listener); the directory where it makes sockets must let the account write.
class RunningAs : public ActingAs
{
public:
    explicit RunningAs(const OtherAccount &account) : ActingAs(account, true) {}
};

} // namespace orv::test
