// Times text delivery into real windows: from deliver() to the confirmed result, into a Qt line edit
// and a GTK entry (median of 20), and the cost of one target capture. Needs an X display with the
// accessibility bus: run as scripts/with-desktop.sh build/bench/delivery/bench_delivery
#include "base/LiveScheduler.h"
#include "delivery/TextDelivery.h"
#include "delivery/atspi/LiveEnvironment.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace orv;

namespace {

constexpr int runs = 20;

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    // Runs the event loop as the application does (woken by every posted answer), checking often.
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(1);
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

struct Figures
{
    std::vector<double> captureMs;
    std::vector<double> deliverMs;
    int confirmed = 0;
};

bool measure(TextDelivery &delivery, const char *program, Figures &figures)
{
    QProcess app;
    app.start(QString::fromUtf8(program), {});
    if (!app.waitForStarted(5000))
        return false;
    const qint64 pid = app.processId();
    if (!spinUntil(
            [&] {
                const auto front = delivery.frontmostApplication();
                return front && front->processID == pid;
            },
            10000))
        return false;
    // The application publishes its widgets shortly after it shows them.
    spinUntil(
        [&] {
            delivery.prepare();
            spinUntil([&] { return !delivery.isCapturing(); }, 5000);
            return delivery.target().has_value();
        },
        10000);

    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        delivery.prepare();
        spinUntil([&] { return !delivery.isCapturing(); }, 5000);
        figures.captureMs.push_back(clock.nsecsElapsed() / 1e6);

        clock.restart();
        auto task = delivery.deliver(QStringLiteral("word%1 ").arg(i), false);
        spinUntil([&] { return task.isDone(); }, 10000);
        figures.deliverMs.push_back(clock.nsecsElapsed() / 1e6);
        if (task.isDone() && task.result().outcome == DeliveryResult::Outcome::inserted)
            ++figures.confirmed;
    }
    app.kill();
    app.waitForFinished(3000);
    return true;
}

void print(const char *name, const Figures &figures)
{
    std::printf("%-4s deliver→confirmed: median %.1f ms (min %.1f, max %.1f), %d/%d confirmed\n", name,
                median(figures.deliverMs),
                figures.deliverMs.empty() ? 0 : *std::min_element(figures.deliverMs.begin(), figures.deliverMs.end()),
                figures.deliverMs.empty() ? 0 : *std::max_element(figures.deliverMs.begin(), figures.deliverMs.end()),
                figures.confirmed, runs);
    std::printf("%-4s capture: median %.2f ms\n", name, median(figures.captureMs));
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
    LiveScheduler scheduler;
    auto delivery = atspi::LiveEnvironment::createTextDelivery(scheduler);
    if (!delivery->isTrusted()) {
        std::printf("bench_delivery: accessibility bus or XTest unavailable\n");
        return 1;
    }
    Figures qt, gtk;
    if (!measure(*delivery, ORVANTA_QT_FIELD, qt) || !measure(*delivery, ORVANTA_GTK_FIELD, gtk)) {
        std::printf("bench_delivery: a test window did not come up\n");
        return 1;
    }
    print("Qt", qt);
    print("GTK", gtk);
    return 0;
}
