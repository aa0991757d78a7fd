// Long use of the live composition on a private desktop (run it inside scripts/with-desktop.sh): many
// dictations by the hold key, from flite speech into a GTK field, with history on. Prints resident memory of
// the first and the last hundred dictations, open files and threads, dictations that did not come back to
// idle, and the history's size at the end.
// Usage: bench_soak [--dictations N] [--pace P] [--clear-every K]   (default 1000 dictations; audio fed P
// times faster than real time, default 4: the test sound server's pipe source passes on audio as fast as it is
// written; the field is emptied every K dictations, default 50, as a user sends or clears what they wrote)
#include "app/LiveApplication.h"
#include "tests/support/DictationDesktop.h"
#include "tests/support/X11TestClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

using namespace orv;
using namespace orv::test;

namespace {

const char *const phrases[] = {
    "send the report today",
    "call me back later",
    "the meeting is at noon",
    "thanks for the quick answer",
};

long statusValue(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

long openFiles()
{
    return long(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

double mean(const std::vector<long> &values, size_t from, size_t to)
{
    to = std::min(to, values.size());
    if (from >= to)
        return -1;
    return std::accumulate(values.begin() + long(from), values.begin() + long(to), 0.0) / double(to - from);
}

// One dictation by holding the hold key; false when the model did not come back to idle in time.
bool dictate(AppModel &model, X11TestClient &keys, const QByteArray &audio, double pace)
{
    const unsigned holdKey = keys.keycode("Control_R");
    keys.press(holdKey);
    if (!waitUntil([&] { return model.phase() == RecordingPhase::recording; }, 10000)) {
        keys.release(holdKey);
        waitUntil([&] { return model.phase() == RecordingPhase::idle; }, 10000);
        return false;
    }
    {
        Speaker speaker(audio, 0.1, 0.4, pace);
        waitUntil([&] { return speaker.done(); }, 60000);
    }
    keys.release(holdKey);
    return waitUntil([&] { return model.phase() == RecordingPhase::idle; }, 20000);
}

} // namespace

int main(int argc, char *argv[])
{
    int dictations = 1000;
    double pace = 4;
    int clearEvery = 50;
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--dictations") == 0)
            dictations = std::max(1, atoi(argv[i + 1]));
        else if (qstrcmp(argv[i], "--pace") == 0)
            pace = std::max(0.25, atof(argv[i + 1]));
        else if (qstrcmp(argv[i], "--clear-every") == 0)
            clearEvery = atoi(argv[i + 1]);
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("ORVANTA_TEST_MIC_FIFO")) {
        std::puts("bench_soak: skipped (run inside scripts/with-desktop.sh)");
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
        std::puts("bench_soak: the GTK field did not start");
        return 1;
    }
    std::vector<QByteArray> audio;
    for (const char *phrase : phrases)
        audio.push_back(synthesizeSpeech(QString::fromLatin1(phrase), home.path()));
    if (std::any_of(audio.begin(), audio.end(), [](const QByteArray &a) { return a.isEmpty(); })) {
        std::puts("bench_soak: flite or sox failed");
        return 1;
    }
    dictate(model, keys, audio[0], pace); // warm-up: the recognizer and the accessibility bus

    const long filesBefore = openFiles();
    const long threadsBefore = statusValue("Threads:");
    std::vector<long> rss;
    int stuck = 0;
    int inserted = 0;
    long mostFiles = filesBefore;
    long mostThreads = threadsBefore;
    QElapsedTimer clock;
    clock.start();
    qint64 lastHundred = 0;
    for (int i = 0; i < dictations; ++i) {
        if (!dictate(model, keys, audio[size_t(i) % audio.size()], pace))
            ++stuck;
        inserted += model.status() == QLatin1String("Inserted");
        rss.push_back(statusValue("VmRSS:"));
        if (clearEvery > 0 && (i + 1) % clearEvery == 0) {
            const unsigned control = keys.keycode("Control_L");
            keys.press(control);
            keys.tap(keys.keycode("a"));
            keys.release(control);
            keys.tap(keys.keycode("BackSpace"));
            waitUntil([&] { return field.text().isEmpty(); }, 3000);
        }
        mostFiles = std::max(mostFiles, openFiles());
        mostThreads = std::max(mostThreads, statusValue("Threads:"));
        if ((i + 1) % 100 == 0) {
            std::printf(
                "%5d dictations, %6.0f s (%.2f s each): resident %ld kB, %ld files, %ld threads, history %lld\n", i + 1,
                clock.elapsed() / 1000.0, (clock.elapsed() - lastHundred) / 100000.0, rss.back(), openFiles(),
                statusValue("Threads:"), static_cast<long long>(model.history().size()));
            lastHundred = clock.elapsed();
            std::fflush(stdout);
        }
    }
    const size_t n = rss.size();
    std::printf("dictations: %d at %.1fx real-time audio, %.0f s; %d inserted, %d not back to idle in time\n",
                dictations, pace, clock.elapsed() / 1000.0, inserted, stuck);
    std::printf("resident memory: first 100 mean %.0f kB, last 100 mean %.0f kB, peak %ld kB\n", mean(rss, 0, 100),
                mean(rss, n > 100 ? n - 100 : 0, n), statusValue("VmHWM:"));
    std::printf("open files: %ld after warm-up, %ld at the end, %ld at most\n", filesBefore, openFiles(), mostFiles);
    std::printf("threads: %ld after warm-up, %ld at the end, %ld at most\n", threadsBefore, statusValue("Threads:"),
                mostThreads);
    std::printf("history: %lld records in memory, phase at the end: %s\n",
                static_cast<long long>(model.history().size()),
                model.phase() == RecordingPhase::idle ? "idle" : "not idle");
    return stuck == 0 ? 0 : 2;
}
