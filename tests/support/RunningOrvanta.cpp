#include "tests/support/RunningOrvanta.h"

#include <QSettings>

using namespace Qt::StringLiterals;

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
        QSettings settings(home + u"/config/orvanta/orvanta.conf"_s, QSettings::IniFormat);
        settings.setValue(u"orvanta.onboarding.complete"_s, true);
        settings.setValue(u"orvanta.onboarding.step"_s, 2);
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CONFIG_HOME"_s, home + u"/config"_s);
    environment.insert(u"XDG_DATA_HOME"_s, home + u"/data"_s);
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
    return waitForApplication(u"Orvanta"_s, m_process.processId(), 20000);
}

} // namespace orv::test
