#include "app/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QThread>

#include <atomic>

#include <gtest/gtest.h>

using orv::SingleInstance;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

QDBusConnection connection(const QString &name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

QString owner()
{
    return QDBusConnection::sessionBus().interface()->serviceOwner(SingleInstance::serviceName()).value();
}

class SingleInstanceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected() || qEnvironmentVariableIsEmpty("ORVANTA_TEST_DESKTOP"))
            GTEST_SKIP() << "needs a session bus (scripts/with-desktop.sh starts one)";
    }
    void TearDown() override
    {
        for (const QString &name : {u"first"_s, u"second"_s, u"third"_s})
            QDBusConnection::disconnectFromBus(name);
    }
};

} // namespace

// A second start that finds a live holder is forwarded: the desktop test runs two orvanta processes. A
// holder that does not answer keeps the name (no start can take it), and the new start says why it ends.
TEST_F(SingleInstanceTest, aHolderThatDoesNotAnswerKeepsTheNameAndADeadOneHoldsNothing)
{
    // The first instance lives on this thread, which is busy in the second's claim: it cannot answer.
    auto first = std::make_unique<SingleInstance>(connection(u"first"_s));
    ASSERT_EQ(first->claim(), SingleInstance::Claim::first);
    SingleInstance second(connection(u"second"_s), 200ms);
    EXPECT_EQ(second.claim(), SingleInstance::Claim::refused);
    EXPECT_TRUE(second.refusal().contains(u"does not answer"_s)) << second.refusal().toStdString();
    EXPECT_EQ(owner(), connection(u"first"_s).baseService());
    connection(u"second"_s)
        .interface()
        ->registerService(SingleInstance::serviceName(), QDBusConnectionInterface::ReplaceExistingService);
    EXPECT_EQ(owner(), connection(u"first"_s).baseService()) << "no replacement allowed";

    // The holder's connection goes away, as when its process dies: the bus frees the name at once.
    first.reset();
    QDBusConnection::disconnectFromBus(u"first"_s);
    SingleInstance third(connection(u"third"_s), 200ms);
    EXPECT_EQ(third.claim(), SingleInstance::Claim::first);
}

// `orvanta toggle` and `orvanta cancel` reach the running instance, whichever command it is, and say so
// when none runs; `orvanta dictate` never runs beside another Orvanta.
TEST_F(SingleInstanceTest, commandsReachTheRunningInstanceAndASecondDictateIsRefused)
{
    const QDBusConnection sender = connection(u"second"_s);
    const auto notRunning = SingleInstance::send(SingleInstance::Command::toggle, sender);
    ASSERT_TRUE(notRunning.has_value());
    EXPECT_TRUE(notRunning->startsWith(u"Orvanta is not running"_s)) << notRunning->toStdString();

    // The running instance answers on its own thread, as the application's main loop does.
    QThread loop;
    auto first = std::make_unique<SingleInstance>(connection(u"first"_s));
    ASSERT_EQ(first->claim(), SingleInstance::Claim::first);
    std::atomic<int> toggles = 0, cancels = 0;
    QObject::connect(
        first.get(), &SingleInstance::toggleRequested, first.get(), [&] { ++toggles; }, Qt::DirectConnection);
    QObject::connect(
        first.get(), &SingleInstance::cancelRequested, first.get(), [&] { ++cancels; }, Qt::DirectConnection);
    first->moveToThread(&loop);
    loop.start();

    EXPECT_EQ(SingleInstance::send(SingleInstance::Command::toggle, sender), std::nullopt);
    EXPECT_EQ(SingleInstance::send(SingleInstance::Command::toggle, sender), std::nullopt);
    EXPECT_EQ(SingleInstance::send(SingleInstance::Command::cancel, sender), std::nullopt);
    EXPECT_EQ(toggles, 2);
    EXPECT_EQ(cancels, 1);

    SingleInstance dictate(connection(u"third"_s));
    EXPECT_EQ(dictate.claim(SingleInstance::Running::refuseMe), SingleInstance::Claim::refused);
    EXPECT_TRUE(dictate.refusal().contains(u"already running"_s)) << dictate.refusal().toStdString();
    EXPECT_EQ(toggles, 2) << "nothing was asked of the running one";

    QMetaObject::invokeMethod(
        first.get(), [&first] { first.reset(); }, Qt::BlockingQueuedConnection);
    loop.quit();
    loop.wait();
}
