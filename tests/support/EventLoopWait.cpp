#include "tests/support/EventLoopWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace orv::test {

bool waitUntil(const std::function<bool()> &done, int timeoutMs, int checkMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(checkMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace orv::test
