#include "app/QuitOnSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <unistd.h>

namespace orv {

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
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
}

QuitOnSignals::~QuitOnSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

} // namespace orv
