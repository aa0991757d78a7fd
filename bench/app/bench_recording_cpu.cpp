// The CPU of orvanta while recording with its main window (the Overview page) and the recording panel
// visible, next to `orvanta dictate` (no windows) in the same run, on the private desktop
// (scripts/with-desktop.sh): each start gets a fresh home, Right Ctrl is held through XTest while flite
// speech plays into the test microphone at real-time pace, and the process's CPU time is read from /proc
// over the speech. Runs alternate between the two so that both meet the same machine load.
// Usage: bench_recording_cpu [--runs N] [--seconds S]
#include "tests/support/DictationDesktop.h"
#include "tests/support/X11TestClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace orv::test;

namespace {

const char *const sentences[] = {
    "please send the weekly report to the team before noon",
    "the meeting moved to thursday afternoon in the large room",
    "we should check the numbers again before we share them",
    "remember to call the office about the new schedule",
};

double cpuSecondsOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

bool panelVisible()
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                              QStringLiteral("--name"), QStringLiteral("^Orvanta dictation$")});
    xdotool.waitForFinished(5000);
    return !xdotool.readAllStandardOutput().trimmed().isEmpty();
}

// CPU percent of one dictation held over `audio`; -1 when the process did not come up.
double recordingCpu(bool windowed, const QByteArray &audio, bool *panelShown)
{
    QTemporaryDir home;
    QSettings(home.filePath(QStringLiteral("config/orvanta/orvanta.conf")), QSettings::IniFormat)
        .setValue(QStringLiteral("orvanta.onboarding.complete"), true);
    QProcess orvanta;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    orvanta.setProcessEnvironment(environment);
    orvanta.setStandardOutputFile(QProcess::nullDevice());
    orvanta.setStandardErrorFile(QProcess::nullDevice());
    orvanta.start(QStringLiteral(ORVANTA_BINARY), windowed ? QStringList() : QStringList{QStringLiteral("dictate")});
    if (!orvanta.waitForStarted(10000))
        return -1;
    waitUntil([] { return false; }, 6000); // the recognizer's model loads; the window comes up

    X11TestClient keys;
    const unsigned holdKey = keys.keycode("Control_R");
    keys.press(holdKey);
    waitUntil([] { return false; }, 500);
    if (panelShown)
        *panelShown = panelVisible();
    const double before = cpuSecondsOf(orvanta.processId());
    QElapsedTimer clock;
    clock.start();
    {
        Speaker speaker(audio, 0.0, 0.0);
        waitUntil([&] { return speaker.done(); }, 120000);
    }
    const double cpu = 100.0 * (cpuSecondsOf(orvanta.processId()) - before) / (double(clock.nsecsElapsed()) / 1e9);
    keys.release(holdKey);
    waitUntil([] { return false; }, 3000);
    orvanta.terminate();
    if (!orvanta.waitForFinished(10000))
        orvanta.kill();
    return cpu;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int runs = 3;
    double seconds = 10;
    const QStringList arguments = app.arguments();
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--runs"))
            runs = std::max(1, arguments.at(i + 1).toInt());
        if (arguments.at(i) == QLatin1String("--seconds"))
            seconds = std::max(2.0, arguments.at(i + 1).toDouble());
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("ORVANTA_TEST_MIC_FIFO")) {
        std::fprintf(stderr, "run inside scripts/with-desktop.sh\n");
        return 2;
    }
    QTemporaryDir work;
    QString text;
    QByteArray audio;
    for (int i = 0; audio.size() < seconds * 32000; ++i) {
        text += QString::fromLatin1(sentences[i % 4]) + QStringLiteral(". ");
        audio = synthesizeSpeech(text, work.path());
        if (audio.isEmpty()) {
            std::fprintf(stderr, "flite and sox make the speech\n");
            return 1;
        }
    }

    std::vector<double> windowed, headless;
    int panels = 0;
    for (int run = 0; run < runs; ++run) {
        bool shown = false;
        windowed.push_back(recordingCpu(true, audio, &shown));
        panels += shown;
        headless.push_back(recordingCpu(false, audio, nullptr));
        std::printf("run %d: windowed %5.1f %%   headless %5.1f %%\n", run + 1, windowed.back(), headless.back());
        std::fflush(stdout);
    }
    const double w = median(windowed), h = median(headless);
    std::printf("CPU while recording %.1f s of speech (median of %d; one core = 100 %%)\n", audio.size() / 32000.0,
                runs);
    std::printf("%-44s %5.1f %%   (panel visible in %d of %d)\n", "orvanta, main window and panel visible", w, panels,
                runs);
    std::printf("%-44s %5.1f %%\n", "orvanta dictate", h);
    std::printf("%-44s %5.2f ×   (goal: at most 1.5 ×)\n", "windowed / headless", h > 0 ? w / h : 0.0);
    return 0;
}
