#include "app/QuitOnSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <unistd.h>

namespace orv {

namespace {

int signalPipe[2] = {-1, -1};
// Set once the event loop runs and can take the quit; a second signal means the first was not taken.
volatile std::sig_atomic_t loopRunning = 0;
volatile std::sig_atomic_t signalled = 0;

void onSignal(int number)
{
    // Before the loop runs (a start still reading its files or waiting on a device) and when the loop did
    // not take the first signal, nothing would ever read the pipe: end at once, as the default would.
    if (!loopRunning || signalled)
        ::_exit(128 + number);
    signalled = 1;
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

QuitOnSignals::QuitOnSignals(QObject *parent) : QObject(parent)
{
    if (signalPipe[0] < 0 && ::pipe(signalPipe) != 0)
        return;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [] {
        char byte = 0;
        [[maybe_unused]] auto read = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    QMetaObject::invokeMethod(
        this, [] { loopRunning = 1; }, Qt::QueuedConnection);
}

QuitOnSignals::~QuitOnSignals()
{
    loopRunning = 0;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

} // namespace orv
