#include "app/HugePages.h"

#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <unistd.h>

namespace orv {

namespace {

constexpr char tunable[] = "glibc.malloc.hugetlb=1";
constexpr char restartedMark[] = "ORVANTA_RESTARTED_FOR_HUGE_PAGES";
constexpr char previousMark[] = "ORVANTA_PREVIOUS_GLIBC_TUNABLES";

std::optional<QByteArray> environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::optional<QByteArray>(QByteArray(value)) : std::nullopt;
}

} // namespace

std::optional<QByteArray> HugePages::tunablesFor(qint64 librarySize,
                                                 const QByteArray &kernelSetting,
                                                 const std::optional<QByteArray> &tunables,
                                                 bool restarted)
{
    if (restarted || librarySize < largeLibrary || !kernelSetting.contains("[madvise]"))
        return std::nullopt;
    if (!tunables || tunables->isEmpty())
        return QByteArray(tunable);
    if (tunables->contains("glibc.malloc.hugetlb"))
        return std::nullopt;
    return *tunables + ':' + tunable;
}

void HugePages::restartIfWorthIt(char *argv[], const QString &libraryPath)
{
    // "=value" keeps an empty but set variable apart from an unset one.
    const auto putBack = [](const std::optional<QByteArray> &tunables) {
        ::unsetenv(restartedMark);
        ::unsetenv(previousMark);
        if (tunables)
            ::setenv("GLIBC_TUNABLES", tunables->constData(), 1);
        else
            ::unsetenv("GLIBC_TUNABLES");
    };
    if (environment(restartedMark)) {
        const std::optional<QByteArray> previous = environment(previousMark);
        putBack(previous && previous->startsWith('=') ? std::optional<QByteArray>(previous->mid(1)) : std::nullopt);
        return;
    }
    QFile kernel(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    const QByteArray setting = kernel.open(QIODevice::ReadOnly) ? kernel.read(256) : QByteArray();
    const std::optional<QByteArray> tunables = environment("GLIBC_TUNABLES");
    const std::optional<QByteArray> chosen = tunablesFor(QFileInfo(libraryPath).size(), setting, tunables, false);
    if (!chosen)
        return;
    ::setenv(previousMark, tunables ? ('=' + *tunables).constData() : "", 1);
    ::setenv(restartedMark, "1", 1);
    ::setenv("GLIBC_TUNABLES", chosen->constData(), 1);
    ::execv("/proc/self/exe", argv);
    putBack(tunables); // not started again: this start goes on as it was
}

} // namespace orv
