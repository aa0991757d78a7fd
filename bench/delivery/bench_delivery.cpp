// Times text delivery into real applications, started as users start them, from the finished text to the
// confirmed insertion, with where the time goes: the capture, the paste posted, our clipboard served to
// the target, and each read-back (what the first one saw when it missed). Rows for the hold key and for
// the toggle's finishing press (a key grab that deactivates the window until its key is let go).
// Needs an X display with the accessibility bus:
//   scripts/with-desktop.sh build/bench/delivery/bench_delivery [--runs 5] [--only NAME] [--trace]
// --trace prints each delivery's accessibility calls (name, start + duration in ms).
// Applications that are not installed are skipped (scripts/test-large-apps.sh installs the large ones).
#include "base/LiveScheduler.h"
#include "delivery/TextDelivery.h"
#include "delivery/atspi/ClipboardPasteboard.h"
#include "delivery/atspi/LiveEnvironment.h"
#include "tests/support/DictationDesktop.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/X11TestClient.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <unistd.h>

// Xlib's macros clash with names in the headers above: include it last.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace orv;
using orv::test::activeWindowTitle;
// Looks every millisecond: the figures are the moments things happen, not the moments we looked.
static bool pollUntil(const std::function<bool()> &done, int timeoutMs)
{
    return orv::test::waitUntil(done, timeoutMs, 1);
}

namespace {

// What one delivery went through, in ms from deliver().
struct Probe
{
    QElapsedTimer clock;
    bool running = false;
    bool valueMissed = false;
    double pasteMs = -1;
    double servedMs = -1;
    std::vector<double> readMs;
    std::vector<qint64> counts;
    std::vector<std::optional<TextRange>> carets;
    // With --trace: every accessibility call of the delivery, "name start+duration".
    bool tracing = false;
    QStringList trace;

    double now() const { return clock.nsecsElapsed() / 1e6; }
    bool pasted() const { return running && pasteMs >= 0; }
    void start()
    {
        const bool keepTracing = tracing;
        *this = Probe{};
        tracing = keepTracing;
        running = true;
        clock.start();
    }
};
Probe probe;

Task<std::optional<AttributeValue>>
observed(std::function<Task<std::optional<AttributeValue>>(Element, QString)> read, Element element, QString name)
{
    const double at = probe.now();
    // A read-back starts with the whole text (its length is the count), or with the character count
    // where the field gives no whole text; the caret follows when the count was right.
    const bool whole = probe.pasted() && name == QLatin1String("AXValue");
    const bool count = probe.pasted() && name == QLatin1String("AXNumberOfCharacters");
    const bool caret = probe.pasted() && name == QLatin1String("AXSelectedTextRange");
    auto pending = read(element, name);
    std::optional<AttributeValue> value = co_await pending;
    const auto text = whole ? attributeAs<QString>(value) : std::nullopt;
    if (text || (count && probe.valueMissed)) {
        probe.readMs.push_back(at);
        probe.counts.push_back(text ? text->size() : attributeAs<qint64>(value).value_or(-1));
    }
    if (whole)
        probe.valueMissed = !text;
    if (caret)
        probe.carets.push_back(attributeAs<TextRange>(value));
    co_return value;
}

// One accessibility call, timed for the trace.
template <typename T>
Task<T> timed(QString name, Task<T> pending)
{
    const double at = probe.now();
    T value = co_await pending;
    if (probe.running && probe.tracing)
        probe.trace << QStringLiteral("%1 %2+%3").arg(name).arg(at, 0, 'f', 1).arg(probe.now() - at, 0, 'f', 1);
    co_return value;
}

TextDelivery::Environment instrumented(TextDelivery::Environment env)
{
    auto focused = env.focusedElement;
    env.focusedElement = [focused] { return timed(QStringLiteral("focus"), focused()); };
    auto process = env.processID;
    env.processID = [process](Element element) { return timed(QStringLiteral("pid"), process(std::move(element))); };
    auto range = env.stringForRange;
    env.stringForRange = [range](Element element, TextRange at) {
        return timed(QStringLiteral("range"), range(std::move(element), at));
    };
    auto post = env.postPaste;
    env.postPaste = [post](bool terminal) {
        const bool posted = post(terminal);
        if (probe.running)
            probe.pasteMs = probe.now();
        return posted;
    };
    auto read = env.attribute;
    env.attribute = [read](Element element, QString name) {
        return timed(name.mid(2), observed(read, std::move(element), name));
    };
    if (auto clipboard = std::dynamic_pointer_cast<atspi::ClipboardPasteboard>(env.pasteboard))
        clipboard->onServed = [] {
            if (probe.pasted() && probe.servedMs < 0)
                probe.servedMs = probe.now();
        };
    return env;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// A passive key grab, as the toggle shortcut holds one: pressing its key deactivates the focused window
// until the key is let go.
class ToggleGrab
{
public:
    ToggleGrab() : m_display(XOpenDisplay(nullptr))
    {
        m_key = XKeysymToKeycode(m_display, XK_F9);
        XGrabKey(m_display, m_key, AnyModifier, DefaultRootWindow(m_display), True, GrabModeAsync, GrabModeAsync);
        XSync(m_display, False);
    }
    ~ToggleGrab()
    {
        XUngrabKey(m_display, m_key, AnyModifier, DefaultRootWindow(m_display));
        XCloseDisplay(m_display);
    }
    // The finishing press: down, held as briefly as a user taps, up again.
    void tap()
    {
        XTestFakeKeyEvent(m_display, m_key, True, CurrentTime);
        XFlush(m_display);
        pollUntil([] { return false; }, 80);
        XTestFakeKeyEvent(m_display, m_key, False, CurrentTime);
        XFlush(m_display);
        XSync(m_display, False);
    }

private:
    Display *m_display;
    KeyCode m_key = 0;
};

struct Row
{
    QString name;
    std::vector<double> confirmedMs, captureMs, pasteMs, servedMs, firstReadMs, reads;
    int inserted = 0;
    QString firstMiss;
    QString otherOutcome; // the first one that was not "Inserted"
};

struct Application
{
    QString name;
    QString program;
    QStringList arguments;
    // Ready to be dictated into; by default once its window is in front.
    std::function<bool()> ready;
    bool toggle = false;
};

bool captureTarget(TextDelivery &delivery, int timeoutMs)
{
    return pollUntil(
        [&] {
            delivery.prepare();
            pollUntil([&] { return !delivery.isCapturing(); }, 5000);
            return delivery.target() && delivery.target()->element;
        },
        timeoutMs);
}

std::optional<Row> measure(TextDelivery &delivery, const Application &app, int runs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(app.program, app.arguments);
    if (!process.waitForStarted(10000))
        return std::nullopt;
    const qint64 pid = process.processId();
    auto inFront = [&] {
        const auto front = delivery.frontmostApplication();
        return front && front->processID == pid;
    };
    const bool up = pollUntil(app.ready ? app.ready : inFront, 90000) && captureTarget(delivery, 30000);
    Row row{app.name, {}, {}, {}, {}, {}, {}, 0, {}, {}};
    std::unique_ptr<ToggleGrab> grab;
    if (up && app.toggle)
        grab = std::make_unique<ToggleGrab>();
    for (int i = 0; up && i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!captureTarget(delivery, 5000))
            continue;
        row.captureMs.push_back(clock.nsecsElapsed() / 1e6);
        const std::optional<TextDelivery::Anchor> anchor = delivery.target()->anchor;
        if (grab)
            grab->tap();
        const QString text = QStringLiteral("word%1").arg(i);
        probe.start();
        auto task = delivery.deliver(text, false);
        pollUntil([&] { return task.isDone(); }, 15000);
        probe.running = false;
        const double took = probe.now();
        if (probe.tracing)
            std::printf("  %s\n", qPrintable(probe.trace.join(QLatin1String(", "))));
        if (!task.isDone())
            continue;
        row.confirmedMs.push_back(took);
        row.pasteMs.push_back(probe.pasteMs);
        row.servedMs.push_back(probe.servedMs);
        row.reads.push_back(double(probe.readMs.size()));
        if (!probe.readMs.empty())
            row.firstReadMs.push_back(probe.readMs.front());
        if (task.result().outcome == DeliveryResult::Outcome::inserted)
            ++row.inserted;
        else if (row.otherOutcome.isEmpty())
            row.otherOutcome = task.result().message;
        if (row.firstMiss.isEmpty() && probe.readMs.size() > 1 && anchor) {
            // The text may have gained a separating space: the length that went in is count - original.
            const qint64 wantCount = probe.counts.back();
            const qint64 inserted = wantCount - (anchor->originalCount - anchor->selection.length);
            const qint64 wantCaret = anchor->selection.location + inserted;
            QString caret = QStringLiteral("not read");
            if (!probe.carets.empty() && probe.carets.front())
                caret = QString::number(probe.carets.front()->location);
            row.firstMiss = QStringLiteral("first read saw count %1 (confirmed at %2), caret %3 (confirmed at %4)")
                                .arg(probe.counts.front())
                                .arg(wantCount)
                                .arg(caret)
                                .arg(wantCaret);
        }
    }
    grab.reset();
    process.kill();
    process.waitForFinished(5000);
    if (!up)
        return std::nullopt;
    return row;
}

void print(const Row &row)
{
    std::printf("%-34s confirmed %6.0f ms  %d/%zu inserted | capture %5.1f | paste posted %5.1f | clipboard served "
                "%6.1f | first read %6.1f | read-backs %.0f\n",
                qPrintable(row.name), median(row.confirmedMs), row.inserted, row.confirmedMs.size(),
                median(row.captureMs), median(row.pasteMs), median(row.servedMs), median(row.firstReadMs),
                median(row.reads));
    if (!row.firstMiss.isEmpty())
        std::printf("%-34s   %s\n", "", qPrintable(row.firstMiss));
    if (!row.otherOutcome.isEmpty())
        std::printf("%-34s   not inserted: %s\n", "", qPrintable(row.otherOutcome));
    std::fflush(stdout);
}

bool titleStarts(const char *prefix)
{
    return activeWindowTitle().startsWith(QLatin1String(prefix));
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("DISPLAY")) {
        std::printf("bench_delivery: no X display; run under scripts/with-desktop.sh\n");
        return 0;
    }
    atspi::LiveEnvironment::configureProcess();
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const qsizetype runsAt = arguments.indexOf(QStringLiteral("--runs"));
    const int runs = runsAt >= 0 && runsAt + 1 < arguments.size() ? arguments.at(runsAt + 1).toInt() : 5;
    const qsizetype onlyAt = arguments.indexOf(QStringLiteral("--only"));
    const QString only = onlyAt >= 0 && onlyAt + 1 < arguments.size() ? arguments.at(onlyAt + 1) : QString();
    probe.tracing = arguments.contains(QStringLiteral("--trace"));

    LiveScheduler scheduler;
    TextDelivery delivery(scheduler, instrumented(atspi::LiveEnvironment::create(scheduler)),
                          QCoreApplication::applicationPid());
    if (!delivery.isTrusted()) {
        std::printf("bench_delivery: accessibility bus or XTest unavailable\n");
        return 1;
    }

    QTemporaryDir profiles;
    const QString web = QUrl::fromLocalFile(QStringLiteral(ORVANTA_WEB_EDITOR)).toString();
    const QString firefox = QStandardPaths::findExecutable(QStringLiteral("firefox-esr"));
    const QString firefoxProfile = profiles.filePath(QStringLiteral("firefox"));
    QDir().mkpath(firefoxProfile);
    test::writeQuietFirefoxProfile(firefoxProfile);
    const QStringList firefoxArguments{QStringLiteral("--no-remote"), QStringLiteral("--profile"), firefoxProfile, web};
    const QString form = QUrl::fromLocalFile(QStringLiteral(ORVANTA_WEB_FORM)).toString();
    const QStringList firefoxTextArea{QStringLiteral("--no-remote"), QStringLiteral("--profile"), firefoxProfile,
                                      form + QStringLiteral("#textarea")};
    QStringList chromiumArguments{QStringLiteral("--no-first-run"), QStringLiteral("--no-default-browser-check"),
                                  QStringLiteral("--user-data-dir=") + profiles.filePath(QStringLiteral("chromium")),
                                  web};
    if (geteuid() == 0)
        chromiumArguments.prepend(QStringLiteral("--no-sandbox"));
    const QStringList officeArguments{QStringLiteral("--writer"), QStringLiteral("--norestore"),
                                      QStringLiteral("--nologo"),
                                      QStringLiteral("-env:UserInstallation=") +
                                          QUrl::fromLocalFile(profiles.filePath(QStringLiteral("office"))).toString()};
    QStringList chromiumInput = chromiumArguments;
    chromiumInput.last() = form + QStringLiteral("#input");
    auto webReady = [] { return titleStarts("ready"); };

    const std::vector<Application> applications{
        {QStringLiteral("GTK 3 entry"), QStringLiteral(ORVANTA_GTK_FIELD), {}, {}},
        {QStringLiteral("GTK 3 entry, toggle"), QStringLiteral(ORVANTA_GTK_FIELD), {}, {}, true},
        {QStringLiteral("GTK 3 text view"), QStringLiteral(ORVANTA_GTK_FIELD), {QStringLiteral("--view")}, {}},
        {QStringLiteral("GTK 4 entry"), QStringLiteral(ORVANTA_GTK4_FIELD), {}, {}},
        {QStringLiteral("GTK 4 text view"), QStringLiteral(ORVANTA_GTK4_FIELD), {QStringLiteral("--view")}, {}},
        {QStringLiteral("GTK 4 text view, 4000 lines"),
         QStringLiteral(ORVANTA_GTK4_FIELD),
         {QStringLiteral("--large")},
         {}},
        {QStringLiteral("Qt 6 line edit"), QStringLiteral(ORVANTA_QT_FIELD), {}, {}},
        {QStringLiteral("Firefox contenteditable"), firefox, firefoxArguments, webReady},
        {QStringLiteral("Firefox contenteditable, toggle"), firefox, firefoxArguments, webReady, true},
        {QStringLiteral("Firefox textarea"), firefox, firefoxTextArea, webReady},
        {QStringLiteral("Chromium contenteditable"), QStandardPaths::findExecutable(QStringLiteral("chromium")),
         chromiumArguments, webReady},
        {QStringLiteral("Chromium input"), QStandardPaths::findExecutable(QStringLiteral("chromium")), chromiumInput,
         webReady},
        {QStringLiteral("LibreOffice Writer"), QStandardPaths::findExecutable(QStringLiteral("libreoffice")),
         officeArguments, [] { return activeWindowTitle().contains(QLatin1String("LibreOffice Writer")); }},
        {QStringLiteral("LXTerminal"),
         QStandardPaths::findExecutable(QStringLiteral("lxterminal")),
         {QStringLiteral("--no-remote"), QStringLiteral("-e"), QStringLiteral("cat")},
         {}},
        {QStringLiteral("gnome-text-editor"),
         QStandardPaths::findExecutable(QStringLiteral("gnome-text-editor")),
         {QStringLiteral("--standalone"), QStringLiteral("--new-window")},
         {}},
        // Qt 5: KDE's editor and a plain one.
        {QStringLiteral("KWrite (KDE, Qt 5)"), QStandardPaths::findExecutable(QStringLiteral("kwrite")), {}, {}},
        {QStringLiteral("FeatherPad (Qt 5)"),
         QStandardPaths::findExecutable(QStringLiteral("featherpad")),
         {QStringLiteral("--standalone")},
         {}},
    };
    std::printf("median of %d dictations per row, ms from the finished text (deliver())\n", runs);
    for (const Application &app : applications) {
        if (!only.isEmpty() && !app.name.contains(only, Qt::CaseInsensitive))
            continue;
        if (app.program.isEmpty()) {
            std::printf("%-34s not installed\n", qPrintable(app.name));
            continue;
        }
        if (const auto row = measure(delivery, app, runs))
            print(*row);
        else
            std::printf("%-34s did not come up with a text field\n", qPrintable(app.name));
    }
    return 0;
}
