#include "delivery/atspi/LiveEnvironment.h"
#include "tests/delivery/desktop/LiveDelivery.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {
std::unique_ptr<orv::test::LiveDelivery> live;
} // namespace

orv::test::LiveDelivery *orv::test::liveDelivery()
{
    return live.get();
}

orv::test::FieldApp::FieldApp(const QString &program, const QStringList &arguments)
    : m_started(m_process.start(program, arguments))
{}

bool orv::test::FieldApp::waitReady()
{
    return m_started && spinUntil(
                            [&] {
                                read();
                                return m_lines.contains(QStringLiteral("ready"));
                            },
                            10000);
}

QString orv::test::FieldApp::text()
{
    read();
    for (qsizetype i = m_lines.size() - 1; i >= 0; --i)
        if (m_lines.at(i).startsWith(QLatin1String("text:")))
            return m_lines.at(i).mid(5);
    return QString();
}

void orv::test::FieldApp::kill()
{
    m_process.kill();
}

void orv::test::FieldApp::read()
{
    while (m_process.canReadLine())
        m_lines.append(QString::fromUtf8(m_process.readLine()).chopped(1));
}

bool orv::test::waitFront(const TextDelivery &delivery, qint64 processID, int timeoutMs)
{
    return spinUntil(
        [&] {
            const auto front = delivery.frontmostApplication();
            return front && front->processID == processID;
        },
        timeoutMs);
}

bool orv::test::captureField(TextDelivery &delivery, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        delivery.prepare();
        spinUntil([&] { return !delivery.isCapturing(); }, 5000);
        if (delivery.target())
            return true;
        spinUntil([] { return false; }, 100);
    }
    return false;
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QGuiApplication> application;
    if (qEnvironmentVariableIsSet("DISPLAY")) {
        orv::atspi::LiveEnvironment::configureProcess();
        application = std::make_unique<QGuiApplication>(argc, argv);
        live = std::make_unique<orv::test::LiveDelivery>();
        live->environment = orv::atspi::LiveEnvironment::create(live->scheduler);
    }
    const int status = RUN_ALL_TESTS();
    live.reset();
    return status;
}
