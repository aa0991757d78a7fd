// The accessibility bus goes away between the capture of the focused field and the paste (its launcher
// crashed, the session is being torn down). The delivery must not hang on a bus that no longer answers: the
// words go to the clipboard with the reason. It runs on a desktop of its own, since the bus is gone for good
// afterwards.
#include "tests/delivery/desktop/LiveDelivery.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <csignal>

using namespace orv;
using namespace Qt::StringLiterals;
using Outcome = DeliveryResult::Outcome;

namespace {

// The accessibility bus of this desktop: the bus daemon whose address lies in our runtime folder.
qint64 accessibilityBusPid()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile commandLine(u"/proc/%1/cmdline"_s.arg(entry));
        if (!commandLine.open(QIODevice::ReadOnly))
            continue;
        const QByteArray arguments = commandLine.readAll();
        if (arguments.contains("accessibility.conf") && arguments.contains(QFile::encodeName(runtime)))
            return entry.toLongLong();
    }
    return 0;
}

} // namespace

using DeliveryBusDeath = test::LiveDeliveryTest<>;

TEST_F(DeliveryBusDeath, theAccessibilityBusDyingBeforeThePasteLeavesTheWordsOnTheClipboard)
{
    auto field = launch(QStringLiteral(ORVANTA_GTK_FIELD));
    ASSERT_TRUE(capture());
    const qint64 bus = accessibilityBusPid();
    ASSERT_GT(bus, 0);
    ASSERT_EQ(::kill(pid_t(bus), SIGKILL), 0);
    const DeliveryResult result = deliver(u"the bus is gone"_s, true, "delivery over a dead bus");
    EXPECT_EQ(result.outcome, Outcome::copied) << result.message.toStdString();
    EXPECT_FALSE(result.message.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"the bus is gone"_s);
}
