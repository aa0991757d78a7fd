// Times the road of a dictation on a private desktop (scripts/with-desktop.sh): hold-key press to audio
// flowing, release to the text visible in a GTK field and to the insertion confirmed (split into
// finalization, formatting and delivery), CPU while recording and idle, and resident memory.
// Usage: bench_dictation [--runs N]   (default 10 per utterance length and mode)
#include "app/LiveApplication.h"
#include "tests/support/DictationDesktop.h"
#include "tests/support/X11TestClient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sys/resource.h>
#include <vector>

using namespace orv;
using namespace orv::test;

namespace {

const char *const sentences[] = {
    "please send the weekly report to the team before noon",
    "the meeting moved to thursday afternoon in the large room",
    "we should check the numbers again before we share them",
    "remember to call the office about the new schedule",
    "the train was late so i worked from the station this morning",
    "let us keep the design simple and write the tests first",
    "she asked whether the printer on the second floor works",
    "thanks for the quick answer it helped a lot",
    "the package will arrive next week according to the tracking page",
    "i think the first version should only support english",
};

// Sentences joined until the speech lasts about `seconds`.
QByteArray utterance(double seconds, const QString &workDir)
{
    QString text;
    QByteArray audio;
    for (int i = 0; audio.size() < seconds * 32000; ++i) {
        text += QString::fromLatin1(sentences[i % 10]) + QStringLiteral(". ");
        audio = synthesizeSpeech(text, workDir);
        if (audio.isEmpty())
            break;
    }
    return audio;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long statusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

struct Run
{
    double pressToListening = -1, releaseToFinalized = -1, formatting = -1, delivery = -1;
    double releaseToVisible = -1, releaseToConfirmed = -1, recordingCpu = -1;
    bool inserted = false;
};

// One dictation by holding the hold key; times from the model's notifications and the field's echo.
Run dictate(AppModel &model, X11TestClient &keys, TestField &field, const QByteArray &audio)
{
    Run run;
    QElapsedTimer clock;
    double listening = -1, released = -1, finalized = -1, formatted = -1, confirmed = -1, visible = -1;
    auto connection = QObject::connect(&model, &AppModel::changed, &model, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        if (listening < 0 && model.phase() == RecordingPhase::recording)
            listening = now;
        if (released < 0)
            return;
        if (finalized < 0 &&
            (model.status() == QStringLiteral("Formatting…") || model.status() == QStringLiteral("Inserting…")))
            finalized = now;
        if (formatted < 0 && finalized >= 0 && model.lastResult() &&
            model.liveTranscript() == model.lastResult()->output)
            formatted = now;
        if (confirmed < 0 && model.phase() == RecordingPhase::idle)
            confirmed = now;
    });
    const QString before = field.text();

    const unsigned holdKey = keys.keycode("Control_R");
    clock.start();
    keys.press(holdKey);
    waitUntil([&] { return listening >= 0; }, 10000);
    run.pressToListening = listening;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer recording;
    recording.start();
    {
        Speaker speaker(audio, 0.2, 0.4);
        waitUntil([&] { return speaker.done(); }, 120000);
    }
    run.recordingCpu = (cpuSeconds() - cpuBefore) / (recording.nsecsElapsed() / 1e9);
    released = clock.nsecsElapsed() / 1e6;
    keys.release(holdKey);
    waitUntil(
        [&] {
            if (visible < 0 && field.text() != before)
                visible = clock.nsecsElapsed() / 1e6;
            return confirmed >= 0 && visible >= 0;
        },
        20000, 2);
    QObject::disconnect(connection);

    run.inserted = model.status() == QLatin1String("Inserted");
    if (finalized >= 0)
        run.releaseToFinalized = finalized - released;
    if (formatted >= 0 && finalized >= 0)
        run.formatting = formatted - finalized;
    if (confirmed >= 0 && formatted >= 0)
        run.delivery = confirmed - formatted;
    if (visible >= 0)
        run.releaseToVisible = visible - released;
    if (confirmed >= 0)
        run.releaseToConfirmed = confirmed - released;
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    int runs = 10;
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "--runs") == 0)
            runs = std::max(1, atoi(argv[i + 1]));
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("ORVANTA_TEST_MIC_FIFO")) {
        std::puts("bench_dictation: skipped (run inside scripts/with-desktop.sh)");
        return 0;
    }
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    LiveApplication::configureProcess();
    QGuiApplication app(argc, argv);
    LiveApplication live({ShortcutController::Registration::always, std::nullopt, {}});
    AppModel &model = live.model();
    X11TestClient keys;
    TestField field(QStringLiteral(ORVANTA_GTK_FIELD));
    if (!field.waitReady()) {
        std::puts("bench_dictation: the GTK field did not start");
        return 1;
    }

    const std::vector<double> lengths{3, 10, 30};
    std::map<double, QByteArray> audio;
    for (double seconds : lengths)
        audio[seconds] = utterance(seconds, home.path());
    dictate(model, keys, field, audio[3]); // warm-up: the recognizer and the accessibility bus

    std::printf("%-10s %-6s %5s | %9s %9s %9s %9s | %9s %9s | %6s %s\n", "mode", "speech", "runs", "press>lsn",
                "finalize", "format", "deliver", "rel>vis", "rel>conf", "cpu", "inserted");
    for (DictationMode mode : {DictationMode::verbatim, DictationMode::clean}) {
        Preferences preferences = model.preferences();
        preferences.mode = mode;
        model.setPreferences(preferences);
        for (double seconds : lengths) {
            std::vector<double> listen, finalize, format, deliver, visible, confirm, cpu;
            int inserted = 0;
            for (int i = 0; i < runs; ++i) {
                const Run run = dictate(model, keys, field, audio[seconds]);
                listen.push_back(run.pressToListening);
                finalize.push_back(run.releaseToFinalized);
                format.push_back(run.formatting);
                deliver.push_back(run.delivery);
                visible.push_back(run.releaseToVisible);
                confirm.push_back(run.releaseToConfirmed);
                cpu.push_back(run.recordingCpu);
                inserted += run.inserted;
            }
            std::printf("%-10s %5.1fs %5d | %7.1fms %7.1fms %7.1fms %7.1fms | %7.1fms %7.1fms | %5.0f%% %d/%d\n",
                        rawValue(mode).toUtf8().constData(), audio[seconds].size() / 32000.0, runs, median(listen),
                        median(finalize), median(format), median(deliver), median(visible), median(confirm),
                        100 * median(cpu), inserted, runs);
            std::fflush(stdout);
        }
    }

    const double idleStart = cpuSeconds();
    waitUntil([] { return false; }, 5000);
    std::printf("idle CPU over 5 s: %.2f%%\n", 100 * (cpuSeconds() - idleStart) / 5.0);
    std::printf("resident memory: %ld kB now, %ld kB peak\n", statusKilobytes("VmRSS:"), statusKilobytes("VmHWM:"));
    std::printf("goals for a 3 s utterance: press>listening < 150 ms, release>visible < 200 ms, "
                "release>confirmed < 300 ms (medians above)\n");
    return 0;
}
