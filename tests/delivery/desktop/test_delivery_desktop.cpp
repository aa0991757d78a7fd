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

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>

using namespace orv;
using orv::test::liveDelivery;
using namespace std::chrono_literals;
using Outcome = DeliveryResult::Outcome;

namespace {

enum class Toolkit
{
    qt,
    gtk
};

class DeliveryDesktop : public ::testing::TestWithParam<Toolkit>
{
protected:
    void SetUp() override
    {
        if (!liveDelivery())
            GTEST_SKIP() << "no X display (DISPLAY unset); run under scripts/with-desktop.sh";
        delivery = std::make_unique<TextDelivery>(liveDelivery()->scheduler, liveDelivery()->environment,
                                                  QCoreApplication::applicationPid());
        ASSERT_TRUE(delivery->isTrusted()) << "no accessibility bus, accessibility off or no XTest";
        delivery->onCorrection = [this](const QString &previous, const QString &edited) {
            corrections.emplace_back(previous, edited);
        };
    }

    void TearDown() override
    {
        if (delivery)
            delivery->stopObservation();
        delivery.reset();
    }

    std::unique_ptr<test::TestField> launch(QStringList arguments, Toolkit toolkit, bool waitForFocus = true)
    {
        auto app = std::make_unique<test::TestField>(
            toolkit == Toolkit::qt ? QStringLiteral(ORVANTA_QT_FIELD) : QStringLiteral(ORVANTA_GTK_FIELD), arguments);
        EXPECT_TRUE(app->waitReady());
        EXPECT_TRUE(!waitForFocus || test::waitFront(*delivery, app->processID(), 10000));
        return app;
    }

    bool capture() { return test::captureField(*delivery); }

    DeliveryResult deliver(const QString &text, bool observe)
    {
        auto task = delivery->deliver(text, observe);
        EXPECT_TRUE(test::spinUntil([&] { return task.isDone(); }, 15000));
        return task.isDone() ? task.result() : DeliveryResult{};
    }

    std::unique_ptr<TextDelivery> delivery;
    std::vector<std::pair<QString, QString>> corrections;
    test::X11TestClient typist;
};

TEST_P(DeliveryDesktop, pastesConfirmsByReadBackAndRestoresAMultiFormatClipboard)
{
    auto owner = launch({QStringLiteral("--set-clipboard")}, Toolkit::qt, false);
    auto app = launch({}, GetParam());
    ASSERT_TRUE(capture());
    EXPECT_FALSE(delivery->targetApplicationName().isEmpty());
    const DeliveryResult result = deliver(QStringLiteral("hello from Orvanta ünïcode 😀"), false);
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
    delivery->prepare();
    test::spinUntil([&] { return !delivery->isCapturing(); }, 5000);
    EXPECT_FALSE(delivery->target());
    const DeliveryResult result = deliver(QStringLiteral("not a password"), true);
    EXPECT_EQ(result,
              (DeliveryResult{Outcome::copied, QStringLiteral("Copied. Click a text field and paste with Ctrl+V.")}));
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
    const DeliveryResult result = deliver(QStringLiteral("moved"), true);
    EXPECT_EQ(result, (DeliveryResult{Outcome::copied, QStringLiteral("Your insertion point changed. The result was "
                                                                      "copied for you to paste.")}));
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
    QElapsedTimer clock;
    clock.start();
    const DeliveryResult result = deliver(QStringLiteral("the target is gone"), true);
    EXPECT_EQ(result.outcome, Outcome::copied) << result.message.toStdString();
    EXPECT_FALSE(result.message.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("the target is gone"));
    EXPECT_FALSE(delivery->observation()) << "nothing is left to watch";
    std::printf("delivery to a dead target: \"%s\" after %lld ms\n", qPrintable(result.message),
                static_cast<long long>(clock.elapsed()));
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
    const DeliveryResult result = deliver(QStringLiteral("after the keys"), false);
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
        auto task = delivery->deliver(QString::fromUtf8(text), false, QString::fromUtf8(dictated));
        ASSERT_TRUE(test::spinUntil([&] { return task.isDone(); }, 15000));
        EXPECT_EQ(task.result().outcome, Outcome::inserted) << task.result().message.toStdString();
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
TEST(DeliveryDesktopSlowTarget, insertsIntoATargetThatAnswersSlowlyWithoutStallingTheMainLoop)
{
    if (!liveDelivery())
        GTEST_SKIP() << "no X display (DISPLAY unset); run under scripts/with-desktop.sh";
    TextDelivery delivery(liveDelivery()->scheduler, liveDelivery()->environment, QCoreApplication::applicationPid());
    ASSERT_TRUE(delivery.isTrusted());
    test::TestField app(QStringLiteral(ORVANTA_QT_FIELD), {QStringLiteral("--slow"), QStringLiteral("30"),
                                                           QStringLiteral("--stall-on-paste"), QStringLiteral("600")});
    ASSERT_TRUE(app.waitReady());
    ASSERT_TRUE(test::waitFront(delivery, app.processID(), 10000));
    ASSERT_TRUE(test::captureField(delivery, 15000));

    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    ticker.start(5);
    sinceTick.restart();
    auto task = delivery.deliver(QStringLiteral("patience"), false);
    ASSERT_TRUE(test::spinUntil([&] { return task.isDone(); }, 20000));
    ticker.stop();
    EXPECT_EQ(task.result().outcome, Outcome::inserted) << task.result().message.toStdString();
    EXPECT_TRUE(test::spinUntil([&] { return app.text() == QStringLiteral("patience"); }, 3000));
    EXPECT_LT(longestGap, 300) << "the main loop stalled while delivering";
}

TEST(DeliveryDesktopClipboard, changeCountFollowsAnotherOwnerAndSnapshotsKeepEveryFormat)
{
    if (!liveDelivery())
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
