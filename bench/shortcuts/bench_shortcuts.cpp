// Time per key event of translation plus the hold-state machine, and, with an X server, the latency
// from an XTest key event to the shortcut callback (median of 100 presses).
#include "base/LiveScheduler.h"
#include "shortcuts/FnHoldState.h"
#include "shortcuts/ShortcutSettings.h"
#include "shortcuts/x11/LiveGlobalShortcut.h"
#include "shortcuts/x11/X11KeyTranslator.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using namespace orv;

X11KeyTranslator makeTranslator()
{
    X11KeyTranslator translator;
    translator.setKeyKind(105, X11KeyTranslator::KeyKind::hold);
    translator.setKeyKind(50, X11KeyTranslator::KeyKind::shift);
    return translator;
}

// One hold with a letter and a Shift in it: 7 raw events, 5 of which become tap events.
void BM_TranslateAndHandle(benchmark::State &state)
{
    X11KeyTranslator translator = makeTranslator();
    FnHoldState hold;
    const std::pair<std::uint8_t, bool> raw[] = {{105, true}, {38, true},   {38, false}, {50, true},
                                                 {50, false}, {105, false}, {105, false}};
    int actions = 0;
    for (auto _ : state) {
        for (const auto &[code, press] : raw) {
            if (const auto event = translator.translate(code, press)) {
                const auto result = hold.handle(event->type, event->keyCode, event->flags);
                actions += result.action.has_value();
            }
        }
    }
    benchmark::DoNotOptimize(actions);
    state.SetItemsProcessed(state.iterations() * std::size(raw));
}
BENCHMARK(BM_TranslateAndHandle);

void BM_HoldStateOnly(benchmark::State &state)
{
    FnHoldState hold;
    int actions = 0;
    for (auto _ : state) {
        actions += hold.handle(12, 63, FnHoldState::fnFlag).action.has_value();
        actions += hold.handle(10, 0x126, FnHoldState::fnFlag).action.has_value();
        actions += hold.handle(12, 63, 0).action.has_value();
    }
    benchmark::DoNotOptimize(actions);
    state.SetItemsProcessed(state.iterations() * 3);
}
BENCHMARK(BM_HoldStateOnly);

class FixedSettings final : public ShortcutSettings
{
public:
    QString holdKey() const override { return QStringLiteral("Right Ctrl"); }
    QString toggle() const override { return QStringLiteral("Ctrl+Alt+Space"); }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int measureLatency(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("X11 latency: skipped (no DISPLAY; run under scripts/with-desktop.sh)\n");
        return 0;
    }
    QCoreApplication app(argc, argv);
    LiveScheduler scheduler;
    FixedSettings settings;
    using Clock = std::chrono::steady_clock;
    Clock::time_point fired;
    int begins = 0, finishes = 0, toggles = 0;
    GlobalShortcut::Callbacks callbacks;
    callbacks.onFnBegin = [&] { ++begins, fired = Clock::now(); };
    callbacks.onFnFinish = [&] { ++finishes, fired = Clock::now(); };
    callbacks.onToggle = [&] { ++toggles, fired = Clock::now(); };
    auto shortcut = makeLiveGlobalShortcut(scheduler, settings, callbacks);
    if (!shortcut->start()) {
        std::printf("X11 latency: the toggle could not be registered\n");
        return 1;
    }
    Display *display = XOpenDisplay(nullptr);
    const unsigned hold = XKeysymToKeycode(display, XStringToKeysym("Control_R"));
    const unsigned ctrl = XKeysymToKeycode(display, XStringToKeysym("Control_L"));
    const unsigned alt = XKeysymToKeycode(display, XStringToKeysym("Alt_L"));
    const unsigned space = XKeysymToKeycode(display, XStringToKeysym("space"));

    auto waitFor = [&](int &counter, int target) {
        QDeadlineTimer deadline(2000);
        while (counter < target && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return counter >= target;
    };
    auto key = [&](unsigned code, bool press) {
        XTestFakeKeyEvent(display, code, press, CurrentTime);
        XFlush(display);
    };

    std::vector<double> beginMs, finishMs, toggleMs;
    for (int i = 0; i < 100; ++i) {
        auto sent = Clock::now();
        key(hold, true);
        if (!waitFor(begins, i + 1))
            break;
        beginMs.push_back(std::chrono::duration<double, std::milli>(fired - sent).count());
        sent = Clock::now();
        key(hold, false);
        if (!waitFor(finishes, i + 1))
            break;
        finishMs.push_back(std::chrono::duration<double, std::milli>(fired - sent).count());

        key(ctrl, true);
        key(alt, true);
        sent = Clock::now();
        key(space, true);
        if (!waitFor(toggles, i + 1))
            break;
        toggleMs.push_back(std::chrono::duration<double, std::milli>(fired - sent).count());
        key(space, false);
        key(alt, false);
        key(ctrl, false);
    }
    XCloseDisplay(display);
    if (beginMs.size() < 100 || finishMs.size() < 100 || toggleMs.size() < 100) {
        std::printf("X11 latency: a callback did not arrive (begin %zu, finish %zu, toggle %zu of 100)\n",
                    beginMs.size(), finishMs.size(), toggleMs.size());
        return 1;
    }
    std::printf("X11 latency, XTest key event to callback, median of 100 (max):\n");
    std::printf("  hold key press   -> onFnBegin   %.3f ms (%.3f)\n", median(beginMs),
                *std::max_element(beginMs.begin(), beginMs.end()));
    std::printf("  hold key release -> onFnFinish  %.3f ms (%.3f)\n", median(finishMs),
                *std::max_element(finishMs.begin(), finishMs.end()));
    std::printf("  toggle press     -> onToggle    %.3f ms (%.3f)\n", median(toggleMs),
                *std::max_element(toggleMs.begin(), toggleMs.end()));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return measureLatency(argc, argv);
}
