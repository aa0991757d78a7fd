#pragma once

#include "tests/support/AtspiClient.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace orv::test {

// Whether the private desktop of scripts/with-desktop.sh is there: an X server, AT-SPI and, with
// `withSound`, the test sound server and its microphone.
bool privateDesktopReady(bool withSound = true);

// The orvanta binary started with its settings and library under `home` (setup marked done when asked),
// terminated, or killed, when this goes.
class RunningOrvanta
{
public:
    RunningOrvanta(const QString &program, const QString &home, bool setupDone, const QStringList &arguments = {});
    ~RunningOrvanta();
    RunningOrvanta(const RunningOrvanta &) = delete;
    RunningOrvanta &operator=(const RunningOrvanta &) = delete;

    QProcess &process() { return m_process; }
    // Its node on the accessibility bus, waiting up to 20 s.
    std::optional<AccessibleNode> application();

private:
    QProcess m_process;
};

} // namespace orv::test
