// Text delivery into native Wayland GTK 3, GTK 4 and Qt 6 windows on headless compositors: through IBus
// on mutter, typed through a virtual keyboard on sway, confirmed by AT-SPI read-back; a commit that a
// stale input context swallows ends on the clipboard. Run under scripts/with-wayland.sh.
#include "app/SessionPlatform.h"
#include "base/LiveScheduler.h"
#include "delivery/atspi/LiveEnvironment.h"
#include "tests/delivery/desktop/LiveDelivery.h"
#include "tests/support/ChildProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>

using namespace orv;
using Outcome = DeliveryResult::Outcome;

namespace {

std::unique_ptr<test::LiveDelivery> live;

enum class Toolkit
{
    gtk3,
    gtk4,
    qt
};

QString fieldProgram(Toolkit toolkit)
{
    switch (toolkit) {
    case Toolkit::gtk3:
        return QStringLiteral(ORVANTA_GTK_FIELD);
    case Toolkit::gtk4:
        return QStringLiteral(ORVANTA_GTK4_FIELD);
    case Toolkit::qt:
        break;
    }
    return QStringLiteral(ORVANTA_QT_FIELD);
}

const char *toolkitName(Toolkit toolkit)
{
    return toolkit == Toolkit::gtk3 ? "GTK 3" : toolkit == Toolkit::gtk4 ? "GTK 4" : "Qt 6";
}

struct FieldApp
{
    test::ChildProcess process;
    QStringList lines;

    QString text()
    {
        while (process.canReadLine())
            lines.append(QString::fromUtf8(process.readLine()).chopped(1));
        for (qsizetype i = lines.size() - 1; i >= 0; --i)
            if (lines.at(i).startsWith(QLatin1String("text:")))
                return lines.at(i).mid(5);
        return QString();
    }
};

QString compositor()
{
    return qEnvironmentVariable("ORVANTA_TEST_WAYLAND");
}

bool ibusServes()
{
    return qEnvironmentVariableIsSet("ORVANTA_TEST_IBUS");
}

QString clipboardText()
{
    QProcess paste;
    paste.start(QStringLiteral("wl-paste"), {QStringLiteral("--no-newline")});
    paste.waitForFinished(2000);
    return QString::fromUtf8(paste.readAllStandardOutput());
}

class WaylandDelivery : public ::testing::TestWithParam<Toolkit>
{
protected:
    void SetUp() override
    {
        if (!live)
            GTEST_SKIP() << "no Wayland session; run under scripts/with-wayland.sh";
        delivery =
            std::make_unique<TextDelivery>(live->scheduler, live->environment, QCoreApplication::applicationPid());
        ASSERT_TRUE(delivery->isTrusted()) << "no accessibility bus";
    }

    std::unique_ptr<FieldApp> launch(Toolkit toolkit)
    {
        auto app = std::make_unique<FieldApp>();
        EXPECT_TRUE(app->process.start(fieldProgram(toolkit), {}));
        EXPECT_TRUE(test::spinUntil(
            [&] {
                app->text();
                return app->lines.contains(QStringLiteral("ready"));
            },
            10000));
        const qint64 pid = app->process.processId();
        EXPECT_TRUE(test::spinUntil(
            [&] {
                const auto front = delivery->frontmostApplication();
                return front && front->processID == pid;
            },
            10000))
            << "the window never became active";
        return app;
    }

    bool capture()
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            delivery->prepare();
            test::spinUntil([&] { return !delivery->isCapturing(); }, 5000);
            if (delivery->target() && delivery->target()->element)
                return true;
            test::spinUntil([] { return false; }, 100);
        }
        return false;
    }

    // The delivery's result, and how long it took from the release to the answer.
    std::pair<DeliveryResult, qint64> deliver(const QString &text)
    {
        QElapsedTimer clock;
        clock.start();
        auto task = delivery->deliver(text, false);
        EXPECT_TRUE(test::spinUntil([&] { return task.isDone(); }, 15000));
        return {task.isDone() ? task.result() : DeliveryResult{}, clock.elapsed()};
    }

    std::unique_ptr<TextDelivery> delivery;
};

TEST_P(WaylandDelivery, insertsIntoANativeFieldAndConfirmsIt)
{
    auto app = launch(GetParam());
    ASSERT_TRUE(capture());
    const QString text = QStringLiteral("Hello from Wayland ✓ ünï");
    const auto [result, elapsed] = deliver(text);
    EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
    EXPECT_TRUE(result.message.startsWith(QLatin1String("Inserted into "))) << result.message.toStdString();
    EXPECT_TRUE(test::spinUntil([&] { return app->text() == text; }, 3000)) << app->text().toStdString();
    std::printf("[measure] %s %s %s: %s in %lld ms\n", qPrintable(compositor()), toolkitName(GetParam()),
                ibusServes() ? "IBus" : "virtual keyboard", qPrintable(result.message),
                static_cast<long long>(elapsed));
}

INSTANTIATE_TEST_SUITE_P(Toolkits,
                         WaylandDelivery,
                         ::testing::Values(Toolkit::gtk3, Toolkit::gtk4, Toolkit::qt),
                         [](const ::testing::TestParamInfo<Toolkit> &info) {
                             return info.param == Toolkit::gtk3   ? std::string("gtk3")
                                    : info.param == Toolkit::gtk4 ? std::string("gtk4")
                                                                  : std::string("qt6");
                         });

// Another IBus client takes the input focus (what a context left behind by a crashed or frozen window
// looks like to the daemon): the commit goes there and "succeeds". Only the read-back sees that nothing
// arrived; the words end on the clipboard where the compositor lets us reach it, in History otherwise.
TEST_F(WaylandDelivery, aCommitSwallowedByAStaleInputContextIsNeverReportedInserted)
{
    if (!ibusServes())
        GTEST_SKIP() << "no IBus daemon in this session";
    auto app = launch(Toolkit::gtk3);
    ASSERT_TRUE(capture());
    test::ChildProcess stale;
    ASSERT_TRUE(stale.start(QStringLiteral("python3"), {QStringLiteral(ORVANTA_STALE_CONTEXT)}));
    ASSERT_TRUE(test::spinUntil([&] { return stale.canReadLine() && stale.readLine().startsWith("focused"); }, 10000));

    const auto [result, elapsed] = deliver(QStringLiteral("swallowed words"));
    EXPECT_NE(result.outcome, Outcome::inserted) << result.message.toStdString();
    EXPECT_TRUE(app->text().isEmpty()) << app->text().toStdString();
    if (compositor() == QLatin1String("sway")) {
        EXPECT_EQ(result.outcome, Outcome::copied) << result.message.toStdString();
        EXPECT_EQ(clipboardText(), QStringLiteral("swallowed words"));
    } else {
        EXPECT_EQ(result, (DeliveryResult{Outcome::failed, TextDelivery::clipboardUnavailableMessage()}));
    }
    std::printf("[measure] %s GTK 3 stale IBus context: %s in %lld ms\n", qPrintable(compositor()),
                qPrintable(result.message), static_cast<long long>(elapsed));
}

} // namespace

orv::test::LiveDelivery *orv::test::liveDelivery()
{
    return live.get();
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QGuiApplication> application;
    if (sessionPlatform() == SessionPlatform::wayland && !compositor().isEmpty()) {
        atspi::LiveEnvironment::configureProcess();
        application = std::make_unique<QGuiApplication>(argc, argv);
        live = std::make_unique<test::LiveDelivery>();
        live->environment = makeWaylandEnvironment(live->scheduler);
    }
    const int status = RUN_ALL_TESTS();
    live.reset();
    return status;
}
