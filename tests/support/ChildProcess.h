#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace orv::test {

// Another program the tests start (flite, sox, a test window), through posix_spawn. QProcess in Qt 6.4
// starts children with a vfork-style clone that clang 14's ThreadSanitizer aborts in; glibc's
// posix_spawn clones without its interceptor and the child only executes the program. The child reads
// /dev/null and shares our standard error; its standard output is ours or captured.
class ChildProcess
{
public:
    enum class Output
    {
        forwarded,
        captured
    };

    ChildProcess() = default;
    // A child still running is killed and reaped.
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // The program is looked up in PATH unless it holds a slash. False when it could not be started.
    bool start(const QString &program, const QStringList &arguments, Output output = Output::captured);
    qint64 processId() const { return m_pid; }
    bool isRunning();
    // Waits for the child to end, reading its captured output meanwhile; false when it still runs after
    // timeoutMs or never started.
    bool waitForFinished(int timeoutMs);
    // Once it ended: whether it exited (rather than died of a signal), and its exit code.
    bool exitedNormally() const { return m_exited && m_normalExit; }
    int exitCode() const { return m_exitCode; }
    void kill();

    // Captured output: what arrived so far, without waiting.
    QByteArray readAll();
    bool canReadLine();
    // One line with its newline, or empty when no whole line arrived yet.
    QByteArray readLine();

    // Runs the program to its end: its exit code, or -1 when it did not start, died of a signal or ran
    // past timeoutMs (it is killed then). output receives its standard output when given.
    static int
    execute(const QString &program, const QStringList &arguments, int timeoutMs, QByteArray *output = nullptr);

private:
    void readAvailable();
    void reaped(int status);

    pid_t m_pid = 0;
    int m_pidfd = -1;
    int m_output = -1;
    QByteArray m_buffer;
    bool m_exited = false;
    bool m_normalExit = false;
    int m_exitCode = -1;
};

} // namespace orv::test
