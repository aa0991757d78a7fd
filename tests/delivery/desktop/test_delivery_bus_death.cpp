// The accessibility bus goes away between the capture of the focused field and the paste (its launcher
// crashed, the session is being torn down). The delivery must not hang on a bus that no longer answers: the
// words go to the clipboard with the reason. It runs on a desktop of its own, since the bus is gone for good
// afterwards.
#include "tests/delivery/desktop/LiveDelivery.h"
#include "tests/support/X11TestClient.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

using namespace orv;
using Outcome = DeliveryResult::Outcome;

namespace {

// The accessibility bus of this desktop: the bus daemon whose address lies in our runtime folder.
qint64 accessibilityBusPid()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!commandLine.open(QIODevice::ReadOnly))
            continue;
        const QByteArray arguments = commandLine.readAll();
        if (arguments.contains("accessibility.conf") && arguments.contains(QFile::encodeName(runtime)))
            return entry.toLongLong();
    }
    return 0;
}

} // namespace

TEST(DeliveryBusDeath, theAccessibilityBusDyingBeforeThePasteLeavesTheWordsOnTheClipboard)
{
    if (!test::liveDelivery())
        GTEST_SKIP() << "no X display (DISPLAY unset); run under scripts/with-desktop.sh";
    TextDelivery delivery(test::liveDelivery()->scheduler, test::liveDelivery()->environment,
                          QCoreApplication::applicationPid());
    ASSERT_TRUE(delivery.isTrusted());
    test::TestField field(QStringLiteral(ORVANTA_GTK_FIELD));
    ASSERT_TRUE(field.waitReady());
    ASSERT_TRUE(test::captureField(delivery));

    const qint64 bus = accessibilityBusPid();
    ASSERT_GT(bus, 0);
    ASSERT_EQ(::kill(pid_t(bus), SIGKILL), 0);
    QElapsedTimer clock;
    clock.start();
    auto task = delivery.deliver(QStringLiteral("the bus is gone"), true);
    ASSERT_TRUE(test::spinUntil([&] { return task.isDone(); }, 20000)) << "the delivery hangs on a dead bus";
    const DeliveryResult result = task.result();
    EXPECT_EQ(result.outcome, Outcome::copied) << result.message.toStdString();
    EXPECT_FALSE(result.message.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("the bus is gone"));
    std::printf("delivery over a dead accessibility bus: \"%s\" after %lld ms\n", qPrintable(result.message),
                static_cast<long long>(clock.elapsed()));
}
