#include "tests/support/ChildProcess.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace orv::test {

ChildProcess::~ChildProcess()
{
    kill();
    waitForFinished(-1);
    if (m_output >= 0)
        ::close(m_output);
}

bool ChildProcess::start(const QString &program, const QStringList &arguments, Output output)
{
    if (m_pid > 0)
        return false;
    std::vector<QByteArray> encoded{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        encoded.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipe[2] = {-1, -1};
    if (output == Output::captured && ::pipe2(pipe, O_CLOEXEC) < 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (output == Output::captured)
        posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    // The program starts as from a shell: default signal actions, nothing blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv.front(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (output == Output::captured)
        ::close(pipe[1]);
    if (error != 0) {
        if (output == Output::captured)
            ::close(pipe[0]);
        return false;
    }
    m_pid = pid;
    m_output = pipe[0];
    if (m_output >= 0)
        ::fcntl(m_output, F_SETFL, ::fcntl(m_output, F_GETFL) | O_NONBLOCK);
    // Waiting polls this descriptor, which becomes readable when the child ends.
    // (glibc 2.36's <sys/pidfd.h> declares pidfd_open without C linkage.)
    m_pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (m_pidfd >= 0)
        return true;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    reaped(status);
    return false;
}

bool ChildProcess::isRunning()
{
    if (m_pid <= 0 || m_exited)
        return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
        return true;
    reaped(status);
    return false;
}

bool ChildProcess::waitForFinished(int timeoutMs)
{
    if (m_pid <= 0)
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    while (isRunning()) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0)
            return false;
        pollfd watched[2] = {{m_pidfd, POLLIN, 0}, {m_output, POLLIN, 0}};
        ::poll(watched, m_output >= 0 ? 2 : 1, int(remaining));
        readAvailable();
    }
    readAvailable();
    return true;
}

void ChildProcess::kill()
{
    if (isRunning())
        ::kill(m_pid, SIGKILL);
}

QByteArray ChildProcess::readAll()
{
    readAvailable();
    return std::exchange(m_buffer, {});
}

bool ChildProcess::canReadLine()
{
    readAvailable();
    return m_buffer.contains('\n');
}

QByteArray ChildProcess::readLine()
{
    readAvailable();
    const qsizetype length = m_buffer.indexOf('\n') + 1; // none without a newline
    QByteArray line = m_buffer.left(length);
    m_buffer.remove(0, length);
    return line;
}

int ChildProcess::execute(const QString &program, const QStringList &arguments, int timeoutMs, QByteArray *output)
{
    ChildProcess child;
    if (!child.start(program, arguments, output ? Output::captured : Output::forwarded))
        return -1;
    if (!child.waitForFinished(timeoutMs))
        return -1; // the destructor kills it
    if (output)
        *output = child.readAll();
    return child.exitedNormally() ? child.exitCode() : -1;
}

void ChildProcess::readAvailable()
{
    char chunk[4096];
    while (m_output >= 0) {
        const ssize_t got = ::read(m_output, chunk, sizeof chunk);
        if (got > 0) {
            m_buffer.append(chunk, got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            return;
        ::close(m_output); // end of output
        m_output = -1;
    }
}

void ChildProcess::reaped(int status)
{
    m_exited = true;
    m_normalExit = WIFEXITED(status);
    m_exitCode = m_normalExit ? WEXITSTATUS(status) : -1;
    if (m_pidfd >= 0) {
        ::close(m_pidfd);
        m_pidfd = -1;
    }
}

} // namespace orv::test
