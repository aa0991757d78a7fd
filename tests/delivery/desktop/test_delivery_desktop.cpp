// Text delivery into real Qt and GTK windows on an X server with the accessibility bus: capture, paste,
// read-back, clipboard restore, edit learning and the fallbacks. Run under scripts/with-desktop.sh.
#include "delivery/atspi/ClipboardPasteboard.h"
#include "tests/delivery/desktop/LiveDelivery.h"
#include "tests/support/X11TestClient.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include <array>

using namespace orv;
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
    auto owner = launch({QStringLiteral("--set-clipboard")}, Toolkit::qt, false);
    auto app = launch({}, GetParam());
    ASSERT_TRUE(capture());
    EXPECT_FALSE(delivery->targetApplicationName().isEmpty());
    const DeliveryResult result = deliver(QStringLiteral("hello from Orvanta ünïcode 😀"));
    EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
    EXPECT_TRUE(result.message.startsWith(QLatin1String("Inserted into ")));
    EXPECT_TRUE(test::spinUntil([&] { return app->text() == QStringLiteral("hello from Orvanta ünïcode 😀"); }, 3000))
        << app->text().toStdString();

    // The previous clipboard, every format of it, is back.
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->text(), QStringLiteral("previous"));
    EXPECT_TRUE(data->html().contains(QLatin1String("<b>previous</b>")));
    EXPECT_EQ(data->data(QStringLiteral("application/x-orvanta-test")), QByteArray("\x01\x02raw", 5));
}

TEST_P(DeliveryDesktop, learnsAnEditTypedWithinTheWatchWindow)
{
    auto app = launch({}, GetParam());
    ASSERT_TRUE(capture());
    ASSERT_EQ(deliver(QStringLiteral("a new ron fires"), true).outcome, Outcome::inserted);
    ASSERT_TRUE(delivery->observation());
    for (int i = 0; i < 11; ++i)
        typist.tap(typist.keycode("BackSpace"));
    for (const char *key : {"u", "r", "o", "n", "space", "f", "i", "r", "e", "s"})
        typist.tap(typist.keycode(key));
    ASSERT_TRUE(test::spinUntil([&] { return app->text() == QStringLiteral("a neuron fires"); }, 5000))
        << app->text().toStdString();
    ASSERT_TRUE(test::spinUntil([&] { return !corrections.empty(); }, 6000));
    EXPECT_EQ(corrections.front(), std::make_pair(QStringLiteral("a new ron fires"), QStringLiteral("a neuron fires")));
}

TEST_P(DeliveryDesktop, refusesAPasswordFieldAndLeavesTheTextOnTheClipboard)
{
    auto app = launch({QStringLiteral("--password")}, GetParam());
    test::spinUntil([] { return false; }, 500);
    captureNow();
    EXPECT_FALSE(delivery->target());
    EXPECT_EQ(deliver(QStringLiteral("not a password"), true),
              (DeliveryResult{Outcome::copied, TextDelivery::copiedMessage()}));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("not a password"));
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
    EXPECT_EQ(deliver(QStringLiteral("moved"), true),
              (DeliveryResult{Outcome::copied, TextDelivery::insertionPointChangedMessage()}));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("moved"));
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
    const DeliveryResult result = deliver(QStringLiteral("the target is gone"), true, "delivery to a dead target");
    EXPECT_EQ(result.outcome, Outcome::copied) << result.message.toStdString();
    EXPECT_FALSE(result.message.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("the target is gone"));
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
    const DeliveryResult result = deliver(QStringLiteral("after the keys"));
    typist.release(typist.keycode("Alt_L"));
    EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_TRUE(test::spinUntil([&] { return app->text() == QStringLiteral("after the keys"); }, 3000));
}

// Dictations in a row read as one text: spaced, a capital after a sentence end, none mid-sentence.
TEST_P(DeliveryDesktop, dictationsInARowAreSpacedAndCapitalisedFromTheTextBeforeTheCaret)
{
    auto app = launch({}, GetParam());
    const std::vector<std::array<const char *, 3>> dictations{
        {"by friday", "By friday.", "By friday."},
        {"hello there", "hello there", "By friday. Hello there"},
        {"and more", "And more.", "By friday. Hello there and more."}};
    for (const auto &[dictated, text, field] : dictations) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(capture());
        const DeliveryResult result = deliver(QString::fromUtf8(text), false, nullptr, QString::fromUtf8(dictated));
        EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
        EXPECT_TRUE(test::spinUntil([&] { return app->text() == QString::fromUtf8(field); }, 3000))
            << app->text().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Toolkits, DeliveryDesktop, ::testing::Values(Toolkit::qt, Toolkit::gtk), [](const auto &info) {
    return info.param == Toolkit::qt ? "Qt" : "Gtk";
});

// A target that answers every accessibility call late and, on Ctrl+V, stalls 600 ms before it asks us
// for the clipboard: a read-back that blocked our main loop would then wait on a target that waits on
// us. The main loop here keeps running (and serving the clipboard) throughout.
class DeliveryDesktopSlowTarget : public DeliveryDesktop
{
};

TEST_F(DeliveryDesktopSlowTarget, insertsIntoATargetThatAnswersSlowlyWithoutStallingTheMainLoop)
{
    auto app = launch(
        {QStringLiteral("--slow"), QStringLiteral("30"), QStringLiteral("--stall-on-paste"), QStringLiteral("600")},
        Toolkit::qt);
    ASSERT_TRUE(capture(15000));
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    ticker.start(5);
    sinceTick.start();
    const DeliveryResult result = deliver(QStringLiteral("patience"));
    ticker.stop();
    EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
    EXPECT_TRUE(test::spinUntil([&] { return app->text() == QStringLiteral("patience"); }, 3000));
    EXPECT_LT(longestGap, 300) << "the main loop stalled while delivering";
}

TEST(DeliveryDesktopClipboard, changeCountFollowsAnotherOwnerAndSnapshotsKeepEveryFormat)
{
    if (!test::liveDelivery())
        GTEST_SKIP() << "no X display (DISPLAY unset); run under scripts/with-desktop.sh";
    atspi::ClipboardPasteboard pasteboard;
    ASSERT_TRUE(pasteboard.setString(QStringLiteral("ours")));
    const qint64 ours = pasteboard.changeCount();
    test::TestField owner(QStringLiteral(ORVANTA_QT_FIELD), {QStringLiteral("--set-clipboard")});
    ASSERT_TRUE(test::spinUntil([&] { return pasteboard.changeCount() != ours; }, 10000));
    const QList<Pasteboard::Item> items = pasteboard.items();
    ASSERT_EQ(items.size(), 1);
    QStringList types;
    for (const auto &pair : items.front())
        types.append(pair.first);
    EXPECT_TRUE(types.contains(QStringLiteral("text/plain"))) << types.join(u',').toStdString();
    EXPECT_TRUE(types.contains(QStringLiteral("text/html")));
    EXPECT_TRUE(types.contains(QStringLiteral("application/x-orvanta-test")));
    EXPECT_FALSE(types.contains(QStringLiteral("TARGETS")));

    // Writing it back makes us the owner with the same contents.
    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.writeItems(items));
    EXPECT_TRUE(QGuiApplication::clipboard()->ownsClipboard());
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("application/x-orvanta-test")),
              QByteArray("\x01\x02raw", 5));
}

} // namespace
