// Text delivery into the applications people use, started as users start them, on the private desktop
// (scripts/with-desktop.sh): GTK 4 fields, a VTE terminal, a web editor in Firefox, xterm (which exposes
// no accessibility), KWrite, fields that cannot be read back and a Qt application while accessibility starts
// switched off. Each prints what it
// measured: the time from the finished text to the confirmed insertion.
#include "tests/delivery/desktop/LiveDelivery.h"
#include "tests/support/Files.h"
#include "tests/support/X11TestClient.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

using namespace orv;
using Outcome = DeliveryResult::Outcome;
using orv::test::activeWindowTitle;
using orv::test::writeQuietFirefoxProfile;

namespace {

bool setStatus(const char *property, bool on)
{
    return QProcess::execute(
               QStringLiteral("dbus-send"),
               {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.a11y.Bus"),
                QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties.Set"),
                QStringLiteral("string:org.a11y.Status"), QStringLiteral("string:") + QLatin1String(property),
                QStringLiteral("variant:boolean:") + (on ? QStringLiteral("true") : QStringLiteral("false"))}) == 0;
}

bool accessibilityEnabled()
{
    QProcess get;
    get.start(QStringLiteral("dbus-send"),
              {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.a11y.Bus"),
               QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties.Get"),
               QStringLiteral("string:org.a11y.Status"), QStringLiteral("string:IsEnabled")});
    get.waitForFinished(3000);
    return get.readAllStandardOutput().contains("boolean true");
}

// Whether the active window's title starts with `start` within the time; says the title when not.
bool titleSays(const char *start, int timeoutMs = 3000)
{
    if (test::spinUntil([&] { return activeWindowTitle().startsWith(QLatin1String(start)); }, timeoutMs))
        return true;
    std::cout << "the active window's title: " << activeWindowTitle().toStdString() << "\n";
    return false;
}

class DeliveryApps : public test::LiveDeliveryTest<>
{
protected:
    // What a field that cannot be read back gets: the paste, unconfirmed.
    DeliveryResult sentUnverifiable() const
    {
        return {Outcome::sent, TextDelivery::sentUnverifiableMessage(delivery->targetApplicationName())};
    }

    // A browser started on the web editor page: the editor is captured, gets "Sam" and confirms it.
    void expectWebEditorConfirmed(const QString &browser, QStringList arguments, const QString &name)
    {
        test::ChildProcess app;
        arguments.append(QUrl::fromLocalFile(QStringLiteral(ORVANTA_WEB_EDITOR)).toString());
        ASSERT_TRUE(app.start(browser, arguments, test::ChildProcess::Output::forwarded));
        ASSERT_TRUE(titleSays("ready", 30000));
        ASSERT_TRUE(capture(15000));
        EXPECT_EQ(delivery->targetApplicationName(), name);
        EXPECT_EQ(deliver(QStringLiteral("Sam"), false, qPrintable(name + QStringLiteral(" contenteditable"))),
                  (DeliveryResult{Outcome::inserted, TextDelivery::insertedMessage(name)}));
        EXPECT_TRUE(titleSays("text:Dear Sam"));
    }
};

TEST_F(DeliveryApps, accessibilityThatStartsOffIsSwitchedOnForQtApplicationsStartedAfterwards)
{
    // Accessibility off in the session, and Qt started as users start it (no
    // QT_LINUX_ACCESSIBILITY_ALWAYS_ON): Qt reads the status only when it starts, so this one never
    // publishes its widgets. It gets the paste unconfirmed; the capture switched accessibility on.
    ASSERT_TRUE(setStatus("IsEnabled", false));
    ASSERT_TRUE(setStatus("ScreenReaderEnabled", false));
    const QByteArray alwaysOn = qgetenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
    qunsetenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
    const auto restore = qScopeGuard([&] {
        if (!alwaysOn.isNull())
            qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", alwaysOn);
    });
    {
        auto early = launch(QStringLiteral(ORVANTA_QT_FIELD));
        EXPECT_TRUE(delivery->isTrusted()) << "accessibility that is off is no reason to give up";
        ASSERT_GE(captureNow(), 0);
        EXPECT_TRUE(accessibilityEnabled());
        EXPECT_EQ(
            deliver(QStringLiteral("unconfirmed"), false, "Qt 6 line edit started while accessibility was off").outcome,
            Outcome::sent);
        EXPECT_TRUE(test::spinUntil([&] { return early->text() == QLatin1String("unconfirmed"); }, 3000));
    }
    // The next Qt application publishes its widgets.
    auto app = launch(QStringLiteral(ORVANTA_QT_FIELD));
    ASSERT_TRUE(capture());
    EXPECT_EQ(deliver(QStringLiteral("switched on"), false, "Qt 6 line edit started afterwards").outcome,
              Outcome::inserted);
    EXPECT_TRUE(test::spinUntil([&] { return app->text() == QLatin1String("switched on"); }, 3000));
}

// GTK 4 fields and a VTE terminal running cat (pasted with Ctrl+Shift+V) are read back.
TEST_F(DeliveryApps, gtk4FieldsAndAVteTerminalAreConfirmed)
{
    const struct
    {
        const char *what;
        QString program;
        QStringList arguments;
        bool terminal;
    } cases[] = {{"GTK 4 entry", QStringLiteral(ORVANTA_GTK4_FIELD), {}, false},
                 {"GTK 4 text view", QStringLiteral(ORVANTA_GTK4_FIELD), {QStringLiteral("--view")}, false},
                 {"VTE terminal running cat", QStringLiteral(ORVANTA_VTE_FIELD), {}, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto app = launch(c.program, c.arguments);
        ASSERT_TRUE(capture());
        EXPECT_EQ(delivery->target()->terminal, c.terminal);
        const QString text = QStringLiteral("hello from GTK");
        const DeliveryResult result = deliver(text, false, c.what);
        EXPECT_EQ(result.outcome, Outcome::inserted) << result.message.toStdString();
        // A terminal's screen holds more than the words.
        EXPECT_TRUE(
            test::spinUntil([&] { return c.terminal ? app->text().contains(text) : app->text() == text; }, 3000))
            << app->text().toStdString();
    }
}

TEST_F(DeliveryApps, firefoxWebEditorRootIsConfirmed)
{
    const QString firefox = QStandardPaths::findExecutable(QStringLiteral("firefox-esr"));
    if (firefox.isEmpty())
        GTEST_SKIP() << "firefox-esr is not installed";
    QTemporaryDir profile;
    ASSERT_TRUE(writeQuietFirefoxProfile(profile.path()));
    expectWebEditorConfirmed(firefox, {QStringLiteral("--no-remote"), QStringLiteral("--profile"), profile.path()},
                             QStringLiteral("Firefox ESR"));
}

TEST_F(DeliveryApps, xtermWithoutAccessibilityGetsTheTextUnconfirmed)
{
    const QString xterm = QStandardPaths::findExecutable(QStringLiteral("xterm"));
    if (xterm.isEmpty())
        GTEST_SKIP() << "xterm is not installed";
    QTemporaryDir dir;
    const QString received = dir.filePath(QStringLiteral("received"));
    test::ChildProcess app;
    ASSERT_TRUE(app.start(xterm,
                          {QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                           QStringLiteral("stty -icanon -echo; exec cat > '%1'").arg(received)},
                          test::ChildProcess::Output::forwarded));
    ASSERT_TRUE(waitFront(app.processId()));
    ASSERT_TRUE(test::spinUntil([&] { return QFile::exists(received); }, 10000));
    ASSERT_GE(captureNow(), 0);
    ASSERT_TRUE(delivery->target());
    EXPECT_EQ(deliver(QStringLiteral("ls -l"), false, "xterm (no accessibility)"),
              (DeliveryResult{Outcome::sent, TextDelivery::sentUnverifiableMessage(QStringLiteral("XTerm"))}));
    EXPECT_TRUE(test::spinUntil([&] { return test::readFile(received) == "ls -l"; }, 3000));
}

// Fields whose text cannot be read back still get the paste, at once: a custom-drawn editor (a focused,
// focusable drawing area with no text, in a main window) and a window of a toolkit without
// accessibility that names no process (found through its X client).
TEST_F(DeliveryApps, editorsWithoutReadableTextGetTheTextUnconfirmedAndQuickly)
{
    const struct
    {
        const char *what;
        QString program;
        QStringList arguments;
    } cases[] = {
        {"GTK 3 custom-drawn editor", QStringLiteral(ORVANTA_GTK_FIELD), {QStringLiteral("--canvas")}},
        {"bare X11 window without _NET_WM_PID", QStringLiteral(ORVANTA_BARE_FIELD), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto app = launch(c.program, c.arguments);
        test::spinUntil([] { return false; }, 300); // the toolkit publishes its focus
        const qint64 took = captureNow();
        std::cout << "figure: " << c.what << " captured in " << took << " ms\n";
        EXPECT_TRUE(took >= 0 && took < 2000) << "no waiting for a text interface that never comes";
        ASSERT_TRUE(delivery->target());
        EXPECT_EQ(deliver(QStringLiteral("drawn by hand"), false, c.what), sentUnverifiable());
        EXPECT_TRUE(test::spinUntil([&] { return app->text() == QLatin1String("drawn by hand"); }, 3000))
            << app->text().toStdString();
    }
}

// KDE's editor (Qt 5) exposes only a focused filler for its text: the paste goes in at once, "Sent", and
// the words are in the file it saves.
TEST_F(DeliveryApps, kwriteGetsTheTextUnconfirmed)
{
    const QString kwrite = QStandardPaths::findExecutable(QStringLiteral("kwrite"));
    if (kwrite.isEmpty())
        GTEST_SKIP() << "KWrite is not installed";
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("note.txt"));
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    test::ChildProcess app;
    ASSERT_TRUE(app.start(kwrite, {file}, test::ChildProcess::Output::forwarded));
    ASSERT_TRUE(waitFront(app.processId()));
    test::spinUntil([] { return false; }, 1000); // the editor takes the focus after its window shows
    std::cout << "figure: KWrite captured in " << captureNow() << " ms\n";
    ASSERT_TRUE(delivery->target());
    EXPECT_EQ(deliver(QStringLiteral("written in KWrite"), false, "KWrite (Qt 5)"), sentUnverifiable());
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+s")});
    EXPECT_TRUE(test::spinUntil([&] { return test::readFile(file).contains("written in KWrite"); }, 5000));
}

// LibreOffice Writer and Chromium are large: scripts/test-large-apps.sh runs these (ORVANTA_LARGE_APPS=1).
class LargeApps : public DeliveryApps
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet("ORVANTA_LARGE_APPS"))
            GTEST_SKIP() << "large applications: run scripts/test-large-apps.sh";
        DeliveryApps::SetUp();
    }
};

TEST_F(LargeApps, libreOfficeWriterParagraphIsConfirmed)
{
    const QString office = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (office.isEmpty())
        GTEST_SKIP() << "libreoffice-writer is not installed";
    QTemporaryDir profile;
    test::ChildProcess app;
    ASSERT_TRUE(app.start(office,
                          {QStringLiteral("--writer"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                           QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString()},
                          test::ChildProcess::Output::forwarded));
    ASSERT_TRUE(
        test::spinUntil([] { return activeWindowTitle().contains(QLatin1String("LibreOffice Writer")); }, 60000))
        << activeWindowTitle().toStdString();
    ASSERT_TRUE(capture(20000));
    EXPECT_EQ(delivery->targetApplicationName(), QStringLiteral("LibreOffice Writer"));
    EXPECT_EQ(deliver(QStringLiteral("Dear Sam,"), false, "LibreOffice Writer paragraph").outcome, Outcome::inserted);
    // A second dictation continues the paragraph.
    ASSERT_TRUE(capture());
    EXPECT_EQ(deliver(QStringLiteral(" thank you."), false, "LibreOffice Writer, same paragraph").outcome,
              Outcome::inserted);
}

TEST_F(LargeApps, chromiumStartedAsUsersStartItIsConfirmed)
{
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        GTEST_SKIP() << "chromium is not installed";
    QTemporaryDir profile;
    // No --force-renderer-accessibility: Chromium builds its tree when the capture asks for it.
    QStringList arguments{QStringLiteral("--no-first-run"), QStringLiteral("--no-default-browser-check"),
                          QStringLiteral("--user-data-dir=") + profile.path()};
    if (geteuid() == 0)
        arguments.prepend(QStringLiteral("--no-sandbox")); // Chromium refuses to run as root otherwise
    expectWebEditorConfirmed(chromium, arguments, QStringLiteral("Chromium Web Browser"));
}

} // namespace
