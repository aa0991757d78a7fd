// Times the windowed application on a private desktop (scripts/with-desktop.sh): from the start of the
// process to its main window viewable, cold and warm, for a first run (the setup flow) and after setup;
// then the CPU and memory of the running application while idle (window open, and tray only after a
// login start). Cold: orvanta's binary and the files it maps are dropped from the page cache first,
// except pages another running process maps (the desktop's own processes keep Qt's libraries warm).
// With --dictionary N, the set-up library holds N dictionary entries (a user who kept everything).
// Usage: bench_launch [--runs N] [--idle SECONDS] [--dictionary N]
#include "library/AppStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

Display *display = nullptr;

// A managed, viewable top-level window of class "orvanta" wider than a tray icon.
bool mainWindowViewable()
{
    const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), clientList, 0, 1024, False, XA_WINDOW, &type, &format,
                           &count, &remaining, &data) != Success ||
        !data)
        return false;
    bool found = false;
    const auto *windows = reinterpret_cast<Window *>(data);
    for (unsigned long i = 0; i < count && !found; ++i) {
        XClassHint hint{};
        if (!XGetClassHint(display, windows[i], &hint))
            continue;
        const bool ours = hint.res_name && qstrcmp(hint.res_name, "orvanta") == 0;
        XFree(hint.res_name);
        XFree(hint.res_class);
        XWindowAttributes attributes{};
        found = ours && XGetWindowAttributes(display, windows[i], &attributes) && attributes.width > 100 &&
                attributes.map_state == IsViewable;
    }
    XFree(data);
    return found;
}

class Orvanta
{
public:
    Orvanta(const QString &home, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(ORVANTA_BINARY), arguments);
    }
    ~Orvanta()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
};

// Milliseconds from the start to the main window viewable; -1 when it did not come within 30 s.
double timeToWindow(const QString &home, std::unique_ptr<Orvanta> *keep = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    auto orvanta = std::make_unique<Orvanta>(home, QStringList());
    while (!mainWindowViewable()) {
        if (clock.elapsed() > 30000)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const double elapsed = double(clock.nsecsElapsed()) / 1e6;
    if (keep)
        *keep = std::move(orvanta);
    return elapsed;
}

QStringList mappedFiles(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    QSet<QString> files;
    if (maps.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : maps.readAll().split('\n')) {
            const qsizetype slash = line.indexOf(" /");
            if (slash > 0)
                files.insert(QString::fromUtf8(line.mid(slash + 1)));
        }
    }
    return files.values();
}

void evict(const QStringList &files)
{
    for (const QString &file : files) {
        const int fd = ::open(file.toLocal8Bit().constData(), O_RDONLY);
        if (fd < 0)
            continue;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

struct Usage
{
    double cpuPercent;
    long rssKilobytes;
    long pssKilobytes;
};

long kilobytes(const QString &path, const QByteArray &field)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

double cpuSecondsOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

Usage idleUsage(qint64 pid, int seconds)
{
    std::this_thread::sleep_for(std::chrono::seconds(3)); // start-up work settles
    const double before = cpuSecondsOf(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double after = cpuSecondsOf(pid);
    return {100.0 * (after - before) / seconds, kilobytes(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS:"),
            kilobytes(QStringLiteral("/proc/%1/smaps_rollup").arg(pid), "Pss:")};
}

void markSetupDone(const QString &home)
{
    QSettings(home + QStringLiteral("/config/orvanta/orvanta.conf"), QSettings::IniFormat)
        .setValue(QStringLiteral("orvanta.onboarding.complete"), true);
}

// A library of the given number of entries, as the Dictionary page would have saved it.
bool writeDictionary(const QString &home, int entries)
{
    orv::AppStore::Snapshot snapshot;
    for (int i = 0; i < entries; ++i) {
        orv::DictionaryEntry entry;
        entry.id = QUuid::createUuid();
        entry.heard = i % 2 ? QStringLiteral("spoken phrase %1").arg(i) : QStringLiteral("term%1").arg(i);
        entry.replacement = QStringLiteral("Replacement%1").arg(i);
        entry.modifiedAt = QDateTime::currentDateTimeUtc();
        snapshot.dictionary.append(entry);
    }
    orv::AppStore store(home + QStringLiteral("/data/orvanta/library.json"));
    return store.save(snapshot).hasValue();
}

void report(const char *what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    if (times.empty() || times.front() < 0) {
        std::printf("%-34s did not show a window\n", what);
        return;
    }
    std::printf("%-34s median %7.1f ms   min %7.1f   max %7.1f   (%zu runs)\n", what, times[times.size() / 2],
                times.front(), times.back(), times.size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int runs = 5;
    int idleSeconds = 30;
    int dictionaryEntries = 0;
    const QStringList arguments = app.arguments();
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--runs"))
            runs = std::max(1, arguments.at(i + 1).toInt());
        if (arguments.at(i) == QLatin1String("--idle"))
            idleSeconds = std::max(1, arguments.at(i + 1).toInt());
        if (arguments.at(i) == QLatin1String("--dictionary"))
            dictionaryEntries = std::max(0, arguments.at(i + 1).toInt());
    }
    display = XOpenDisplay(nullptr);
    if (!display || qEnvironmentVariableIsEmpty("ORVANTA_TEST_DESKTOP")) {
        std::fprintf(stderr, "run inside scripts/with-desktop.sh\n");
        return 2;
    }

    // One start to learn which files orvanta maps.
    QTemporaryDir probeHome;
    std::unique_ptr<Orvanta> probe;
    if (timeToWindow(probeHome.path(), &probe) < 0) {
        std::fprintf(stderr, "orvanta did not show its window\n");
        return 1;
    }
    QStringList files = mappedFiles(probe->pid());
    files.append(QStringLiteral(ORVANTA_BINARY));
    probe.reset();

    QTemporaryDir setUpHome;
    markSetupDone(setUpHome.path());
    if (dictionaryEntries > 0 && !writeDictionary(setUpHome.path(), dictionaryEntries)) {
        std::fprintf(stderr, "could not write the library\n");
        return 1;
    }
    std::vector<double> coldFirst, warmFirst, coldSetUp, warmSetUp;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir firstHome;
        evict(files);
        coldFirst.push_back(timeToWindow(firstHome.path()));
        QTemporaryDir againHome;
        warmFirst.push_back(timeToWindow(againHome.path()));
        evict(files);
        coldSetUp.push_back(timeToWindow(setUpHome.path()));
        warmSetUp.push_back(timeToWindow(setUpHome.path()));
    }
    std::printf("Launch to main window viewable (files evicted: %lld; dictionary after setup: %d entries)\n",
                static_cast<long long>(files.size()), dictionaryEntries);
    report("first run (setup flow), cold", coldFirst);
    report("first run (setup flow), warm", warmFirst);
    report("after setup (pages), cold", coldSetUp);
    report("after setup (pages), warm", warmSetUp);

    std::printf("Idle for %d s\n", idleSeconds);
    {
        std::unique_ptr<Orvanta> running;
        timeToWindow(setUpHome.path(), &running);
        const Usage usage = idleUsage(running->pid(), idleSeconds);
        std::printf("%-34s CPU %5.2f %%   RSS %6.1f MB   PSS %6.1f MB\n", "window open, keys registered",
                    usage.cpuPercent, usage.rssKilobytes / 1024.0, usage.pssKilobytes / 1024.0);
    }
    {
        Orvanta tray(setUpHome.path(), {QStringLiteral("--autostart")});
        const Usage usage = idleUsage(tray.pid(), idleSeconds);
        std::printf("%-34s CPU %5.2f %%   RSS %6.1f MB   PSS %6.1f MB\n", "login start (tray only)", usage.cpuPercent,
                    usage.rssKilobytes / 1024.0, usage.pssKilobytes / 1024.0);
    }
    XCloseDisplay(display);
    return 0;
}
