#pragma once

#include "base/Task.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/OtherAccount.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/VirtualScheduler.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <unistd.h>

namespace orv::test {

// HTTP runs on the real event loop against a scripted server on 127.0.0.1; time limits run on the virtual
// scheduler. The test runs under tests/support/QtCoreTestMain.cpp (QT_MAIN).
class HttpTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.listen()); }

    // Runs the loop and posted work until done() holds; false after limitMs of real time.
    bool pumpUntil(const std::function<bool()> &done, int limitMs = 5000)
    {
        return waitUntil(
            [&] {
                scheduler.runPending();
                return done();
            },
            limitMs, 5);
    }

    // The task's result; a task that never ends stops the run at once instead of hanging the tests after it.
    template <typename T>
    decltype(auto) await(Task<T> &task, int limitMs = 5000)
    {
        if (!pumpUntil([&] { return task.isDone(); }, limitMs))
            qFatal("a task did not finish in time");
        if constexpr (!std::is_void_v<T>)
            return task.result();
    }

    // `theirs` listening as a second account on this computer; none (with the reason) where none can be made.
    static std::optional<OtherAccount> listenAsOtherAccount(ScriptedHttpServer &theirs, QString *whyNot)
    {
        auto other = OtherAccount::get(whyNot);
        if (!other)
            return other;
        const ActingAs acting(*other);
        if (theirs.listen())
            return other;
        *whyNot = QStringLiteral("the second account could not listen on loopback");
        return std::nullopt;
    }

    // The same on a Unix socket at path, whose folder is given to the account so that it can make it there.
    static std::optional<OtherAccount>
    listenAsOtherAccountAt(ScriptedHttpServer &theirs, const QString &path, QString *whyNot)
    {
        auto other = OtherAccount::get(whyNot);
        if (!other)
            return other;
        const bool given = chown(QFile::encodeName(QFileInfo(path).path()).constData(), other->uid, other->gid) == 0;
        const RunningAs running(*other);
        if (given && theirs.listenAt(path))
            return other;
        *whyNot = QStringLiteral("the second account could not listen on a Unix socket");
        return std::nullopt;
    }

    VirtualScheduler scheduler;
    ScriptedHttpServer server;
};

} // namespace orv::test
