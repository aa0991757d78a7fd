#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace orv {

// On a virtual machine a page fault can cost ten microseconds: reading a library of a hundred thousand
// entries is then mostly the kernel handing out memory four kilobytes at a time. glibc's allocator asks for
// transparent huge pages when told so by GLIBC_TUNABLES, which it reads only when a process starts, so a
// start with a large library begins again once with the tunable set.
class HugePages
{
public:
    // The GLIBC_TUNABLES value to start again with; nothing when there is no reason to: a library under
    // largeLibrary bytes, huge pages the kernel gives without asking ("always") or never, a tunable of the
    // user's that already chooses, or a start that is already the second.
    static std::optional<QByteArray> tunablesFor(qint64 librarySize,
                                                 const QByteArray &kernelSetting,
                                                 const std::optional<QByteArray> &tunables,
                                                 bool restarted);

    // Starts this program again with the tunable when tunablesFor says so (returns only when it does not or
    // cannot); in the second start, puts the environment back as it was for the programs Orvanta runs.
    static void restartIfWorthIt(char *argv[], const QString &libraryPath);

    static constexpr qint64 largeLibrary = 4 * 1024 * 1024;
};

} // namespace orv
