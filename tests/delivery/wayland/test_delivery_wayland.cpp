// Text delivery into native Wayland GTK 3, GTK 4 and Qt 6 windows on headless compositors: through IBus
// on mutter, typed through a virtual keyboard on sway, confirmed by AT-SPI read-back; a commit that a
// stale input context swallows ends on the clipboard. Run under scripts/with-wayland.sh.
#include "tests/delivery/desktop/LiveDelivery.h"

#include <QProcess>

using namespace orv;
using namespace Qt::StringLiterals;
using Outcome = DeliveryResult::Outcome;

namespace {

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
    paste.start(u"wl-paste"_s, {u"--no-newline"_s});
    paste.waitForFinished(2000);
    return QString::fromUtf8(paste.readAllStandardOutput());
}

struct Toolkit
{
    const char *name;
    const char *program;
};

using WaylandDelivery = test::LiveDeliveryTest<::testing::TestWithParam<Toolkit>>;

TEST_P(WaylandDelivery, insertsIntoANativeFieldAndConfirmsIt)
{
    auto app = launch(QString::fromUtf8(GetParam().program));
    ASSERT_TRUE(capture());
    const QString text = u"Hello from Wayland ✓ ünï"_s;
    const QByteArray what =
        compositor().toUtf8() + ' ' + GetParam().name + (ibusServes() ? " IBus" : " virtual keyboard");
    const DeliveryResult result = deliver(text, false, what.constData());
    EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
    EXPECT_TRUE(result.message.startsWith("Inserted into "_L1)) << result.message.toStdString();
    EXPECT_TRUE(test::spinUntil([&] { return app->text() == text; }, 3000)) << app->text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Toolkits,
                         WaylandDelivery,
                         ::testing::Values(Toolkit{"gtk3", ORVANTA_GTK_FIELD},
                                           Toolkit{"gtk4", ORVANTA_GTK4_FIELD},
                                           Toolkit{"qt6", ORVANTA_QT_FIELD}),
                         [](const auto &info) { return std::string(info.param.name); });

// Another IBus client takes the input focus (what a context left behind by a crashed or frozen window
// looks like to the daemon): the commit goes there and "succeeds". Only the read-back sees that nothing
// arrived; the words end on the clipboard where the compositor lets us reach it, in History otherwise.
TEST_F(WaylandDelivery, aCommitSwallowedByAStaleInputContextIsNeverReportedInserted)
{
    if (!ibusServes())
        GTEST_SKIP() << "no IBus daemon in this session";
    auto app = launch(QStringLiteral(ORVANTA_GTK_FIELD));
    ASSERT_TRUE(capture());
    test::ChildProcess stale;
    ASSERT_TRUE(stale.start(u"python3"_s, {QStringLiteral(ORVANTA_STALE_CONTEXT)}));
    ASSERT_TRUE(test::spinUntil([&] { return stale.canReadLine() && stale.readLine().startsWith("focused"); }, 10000));

    const QByteArray what = compositor().toUtf8() + " GTK 3 stale IBus context";
    const DeliveryResult result = deliver(u"swallowed words"_s, false, what.constData());
    EXPECT_NE(result.outcome, Outcome::inserted) << result.message.toStdString();
    EXPECT_TRUE(app->text().isEmpty()) << app->text().toStdString();
    if (compositor() == "sway"_L1) {
        EXPECT_EQ(result.outcome, Outcome::copied) << result.message.toStdString();
        EXPECT_EQ(clipboardText(), u"swallowed words"_s);
    } else {
        EXPECT_EQ(result, (DeliveryResult{Outcome::failed, TextDelivery::clipboardUnavailableMessage()}));
    }
}

} // namespace
