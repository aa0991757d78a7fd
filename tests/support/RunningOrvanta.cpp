#include "tests/support/RunningOrvanta.h"

#include <QSettings>

namespace orv::test {

bool privateDesktopReady(bool withSound)
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("ORVANTA_TEST_DESKTOP") &&
           (!withSound || (!qEnvironmentVariableIsEmpty("ORVANTA_TEST_PULSE") &&
                           !qEnvironmentVariableIsEmpty("ORVANTA_TEST_MIC_FIFO")));
}

RunningOrvanta::RunningOrvanta(const QString &program,
                               const QString &home,
                               bool setupDone,
                               const QStringList &arguments)
{
    if (setupDone) {
        QSettings settings(home + QStringLiteral("/config/orvanta/orvanta.conf"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("orvanta.onboarding.complete"), true);
        settings.setValue(QStringLiteral("orvanta.onboarding.step"), 2);
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, arguments);
    m_process.waitForStarted();
}

RunningOrvanta::~RunningOrvanta()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        m_process.kill();
    m_process.waitForFinished(3000);
}

std::optional<AccessibleNode> RunningOrvanta::application()
{
    return waitForApplication(QStringLiteral("Orvanta"), m_process.processId(), 20000);
}

} // namespace orv::test
