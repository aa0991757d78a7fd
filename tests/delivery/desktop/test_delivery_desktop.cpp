// Text delivery into real Qt and GTK windows on an X server with the accessibility bus: capture, paste,
// read-back, clipboard restore, edit learning and the fallbacks. Run under scripts/with-desktop.sh.
#include "delivery/atspi/ClipboardPasteboard.h"
#include "tests/delivery/desktop/LiveDelivery.h"
#include "tests/support/X11TestClient.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

using namespace orv;
using namespace Qt::StringLiterals;
using Outcome = DeliveryResult::Outcome;

namespace {

enum class Toolkit
{
    qt,
    gtk
};

class DeliveryDesktop : public test::LiveDeliveryTest<::testing::TestWithParam<Toolkit>>
{
protected:
    void SetUp() override
    {
        LiveDeliveryTest::SetUp();
        if (delivery)
            delivery->onCorrection = [this](const QString &previous, const QString &edited) {
                corrections.emplace_back(previous, edited);
            };
    }

    std::unique_ptr<test::TestField> launch(const QStringList &arguments, Toolkit toolkit, bool front = true)
    {
        return LiveDeliveryTest::launch(toolkit == Toolkit::qt ? QStringLiteral(ORVANTA_QT_FIELD)
                                                               : QStringLiteral(ORVANTA_GTK_FIELD),
                                        arguments, front);
    }

    std::vector<std::pair<QString, QString>> corrections;
    test::X11TestClient typist;
};

TEST_P(DeliveryDesktop, pastesConfirmsByReadBackAndRestoresAMultiFormatClipboard)
{
    auto owner = launch({u"--set-clipboard"_s}, Toolkit::qt, false);
    auto app = launch({}, GetParam());
    ASSERT_TRUE(capture());
    EXPECT_FALSE(delivery->targetApplicationName().isEmpty());
    const DeliveryResult result = deliver(u"hello from Orvanta ünïcode 😀"_s);
    EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
    EXPECT_TRUE(result.message.startsWith("Inserted into "_L1));
    EXPECT_TRUE(test::spinUntil([&] { return app->text() == u"hello from Orvanta ünïcode 😀"_s; }, 3000))
        << app->text().toStdString();

    // The previous clipboard, every format of it, is back.
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->text(), u"previous"_s);
    EXPECT_TRUE(data->html().contains("<b>previous</b>"_L1));
    EXPECT_EQ(data->data(u"application/x-orvanta-test"_s), "\x01\x02raw"_ba);
}

TEST_P(DeliveryDesktop, learnsAnEditTypedWithinTheWatchWindow)
{
    auto app = launch({}, GetParam());
    ASSERT_TRUE(capture());
    ASSERT_EQ(deliver(u"a new ron fires"_s, true).outcome, Outcome::inserted);
    ASSERT_TRUE(delivery->observation());
    for (int i = 0; i < 11; ++i)
        typist.tap(typist.keycode("BackSpace"));
    for (const char *key : {"u", "r", "o", "n", "space", "f", "i", "r", "e", "s"})
        typist.tap(typist.keycode(key));
    ASSERT_TRUE(test::spinUntil([&] { return app->text() == u"a neuron fires"_s; }, 5000)) << app->text().toStdString();
    ASSERT_TRUE(test::spinUntil([&] { return !corrections.empty(); }, 6000));
    EXPECT_EQ(corrections.front(), std::make_pair(u"a new ron fires"_s, u"a neuron fires"_s));
}

TEST_P(DeliveryDesktop, refusesAPasswordFieldAndLeavesTheTextOnTheClipboard)
{
    auto app = launch({u"--password"_s}, GetParam());
    test::spinUntil([] { return false; }, 500);
    captureNow();
    EXPECT_FALSE(delivery->target());
    EXPECT_EQ(deliver(u"not a password"_s, true), (DeliveryResult{Outcome::copied, TextDelivery::copiedMessage()}));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"not a password"_s);
    EXPECT_TRUE(app->text().isEmpty());
}

TEST_P(DeliveryDesktop, fallsBackToTheClipboardWhenFocusMoved)
{
    auto app = launch({}, GetParam());
    ASSERT_TRUE(capture());
    const TextDelivery::Target target = *delivery->target();
    typist.tap(typist.keycode("Tab"));
    ASSERT_TRUE(test::spinUntil(
        [&] {
            auto check = delivery->targetIsCurrent(target);
            test::spinUntil([&] { return check.isDone(); }, 2000);
            return check.isDone() && !check.result();
        },
        5000));
    EXPECT_EQ(deliver(u"moved"_s, true),
              (DeliveryResult{Outcome::copied, TextDelivery::insertionPointChangedMessage()}));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"moved"_s);
    EXPECT_TRUE(app->text().isEmpty());
}

// The application quits (or crashes) while the user is still speaking: nothing is typed anywhere, and the
// words wait on the clipboard with the reason.
TEST_P(DeliveryDesktop, aTargetThatDiedAfterTheCaptureGetsTheTextOnTheClipboard)
{
    auto app = launch({}, GetParam());
    ASSERT_TRUE(capture());
    app->kill();
    ASSERT_TRUE(app->waitForFinished(3000));
    const DeliveryResult result = deliver(u"the target is gone"_s, true, "delivery to a dead target");
    EXPECT_EQ(result.outcome, Outcome::copied) << result.message.toStdString();
    EXPECT_FALSE(result.message.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"the target is gone"_s);
    EXPECT_FALSE(delivery->observation()) << "nothing is left to watch";
}

// The dictation keys may still be down when the text is ready; the paste waits until they are let go.
TEST_P(DeliveryDesktop, waitsForHeldModifiersBeforePasting)
{
    auto app = launch({}, GetParam());
    ASSERT_TRUE(capture());
    typist.press(typist.keycode("Alt_L"));
    QTimer::singleShot(400, [this] { typist.release(typist.keycode("Alt_L")); });
    QElapsedTimer clock;
    clock.start();
    const DeliveryResult result = deliver(u"after the keys"_s);
    typist.release(typist.keycode("Alt_L"));
    EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_TRUE(test::spinUntil([&] { return app->text() == u"after the keys"_s; }, 3000));
}

INSTANTIATE_TEST_SUITE_P(Toolkits, DeliveryDesktop, ::testing::Values(Toolkit::qt, Toolkit::gtk), [](const auto &info) {
    return info.param == Toolkit::qt ? "Qt" : "Gtk";
});

// A target that answers every accessibility call late and, on Ctrl+V, stalls 600 ms before it asks us
// for the clipboard: a read-back that blocked our main loop would then wait on a target that waits on
// us. The main loop here keeps running (and serving the clipboard) throughout.
using DeliveryDesktopSlowTarget = DeliveryDesktop;

TEST_F(DeliveryDesktopSlowTarget, insertsIntoATargetThatAnswersSlowlyWithoutStallingTheMainLoop)
{
    auto app = launch({u"--slow"_s, u"30"_s, u"--stall-on-paste"_s, u"600"_s}, Toolkit::qt);
    ASSERT_TRUE(capture(15000));
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    ticker.start(5);
    sinceTick.start();
    const DeliveryResult result = deliver(u"patience"_s);
    ticker.stop();
    EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
    EXPECT_TRUE(test::spinUntil([&] { return app->text() == u"patience"_s; }, 3000));
    EXPECT_LT(longestGap, 300) << "the main loop stalled while delivering";
}

TEST(DeliveryDesktopClipboard, changeCountFollowsAnotherOwnerAndSnapshotsKeepEveryFormat)
{
    if (!test::liveDelivery())
        GTEST_SKIP() << "no X display (DISPLAY unset); run under scripts/with-desktop.sh";
    atspi::ClipboardPasteboard pasteboard;
    ASSERT_TRUE(pasteboard.setString(u"ours"_s));
    const qint64 ours = pasteboard.changeCount();
    test::TestField owner(QStringLiteral(ORVANTA_QT_FIELD), {u"--set-clipboard"_s});
    ASSERT_TRUE(test::spinUntil([&] { return pasteboard.changeCount() != ours; }, 10000));
    const QList<Pasteboard::Item> items = pasteboard.items();
    ASSERT_EQ(items.size(), 1);
    QStringList types;
    for (const auto &pair : items.front())
        types.append(pair.first);
    EXPECT_TRUE(types.contains(u"text/plain"_s)) << types.join(u',').toStdString();
    EXPECT_TRUE(types.contains(u"text/html"_s));
    EXPECT_TRUE(types.contains(u"application/x-orvanta-test"_s));
    EXPECT_FALSE(types.contains(u"TARGETS"_s));

    // Writing it back makes us the owner with the same contents.
    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.writeItems(items));
    EXPECT_TRUE(QGuiApplication::clipboard()->ownsClipboard());
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(u"application/x-orvanta-test"_s), "\x01\x02raw"_ba);
}

} // namespace
