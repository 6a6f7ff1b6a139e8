#include "convert/childprocess.h"
#include "convert/filepath.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

void CloseFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

ChildProcess::~ChildProcess()
{
    if (pid > 0)
        Kill();
    CloseOutputs();
}

bool ChildProcess::Start(const QString &program, const QStringList &args, const QString &workDir, QString &error)
{
    // Everything the forked copy needs is made before the fork: after it, only calls that are
    // safe in a copy of a threaded program.
    std::vector<QByteArray> bytes{ EncodePath(program) };
    for (const QString &arg : args)
        bytes.push_back(EncodePath(arg));
    std::vector<char *> argv;
    for (QByteArray &arg : bytes)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const QByteArray dir = EncodePath(workDir);
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigset_t noSignals;
    sigemptyset(&noSignals);

    int outPipe[2], errPipe[2], execPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return error = QString::fromLocal8Bit(std::strerror(errno)), false;
    if (::pipe2(errPipe, O_CLOEXEC) != 0 || ::pipe2(execPipe, O_CLOEXEC) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(outPipe[0]), ::close(outPipe[1]);
        return false;
    }
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();
    pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The program may have died between the fork and the line above.
        if (::getppid() != parent)
            ::_exit(127);
        // Out of the terminal's foreground group: Ctrl+C reaches the program alone, which
        // cancels its jobs, instead of making the transcoder end its file as if finished.
        ::setpgid(0, 0);
        ::dup2(nullFd, STDIN_FILENO);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::sigaction(SIGPIPE, &defaultAction, nullptr);
        ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
        if (dir.isEmpty() || ::chdir(dir.constData()) == 0)
            ::execve(argv.front(), argv.data(), environ);
        const int failure = errno;
        const ssize_t written = ::write(execPipe[1], &failure, sizeof failure);
        (void)written;
        ::_exit(127);
    }
    const int forkError = errno;
    if (nullFd >= 0)
        ::close(nullFd);
    ::close(outPipe[1]), ::close(errPipe[1]), ::close(execPipe[1]);
    outputFd = outPipe[0];
    errorFd = errPipe[0];
    int failure = 0;
    ssize_t got;
    while ((got = ::read(execPipe[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(execPipe[0]);
    if (pid > 0 && got == 0)
        return true;
    error = QString::fromLocal8Bit(std::strerror(pid > 0 ? failure : forkError));
    if (pid > 0) {
        ::waitpid(pid, &status, 0);
        pid = -1;
    }
    CloseOutputs();
    return false;
}

bool ChildProcess::Run(const std::function<void(const QByteArray &)> &onOutput,
                       const std::function<void(const QByteArray &)> &onErrors,
                       const std::function<bool()> &keepGoing, int pollMs)
{
    static constexpr int ChunkBytes = 64 * 1024;
    std::vector<char> buffer(ChunkBytes);
    while (pid > 0) {
        if (keepGoing && !keepGoing()) {
            Kill();
            CloseOutputs();
            return false;
        }
        if (outputFd < 0 && errorFd < 0) {
            // Both outputs closed: only the exit is left to wait for.
            if (::waitpid(pid, &status, WNOHANG) == pid)
                pid = -1;
            else
                ::poll(nullptr, 0, pollMs);
            continue;
        }
        pollfd fds[2] = { { outputFd, POLLIN, 0 }, { errorFd, POLLIN, 0 } };
        if (::poll(fds, 2, pollMs) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            int &fd = i == 0 ? outputFd : errorFd;
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n > 0) {
                (i == 0 ? onOutput : onErrors)(QByteArray(buffer.data(), int(n)));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                CloseFd(fd);
            }
        }
    }
    return true;
}

bool ChildProcess::Crashed() const
{
    return !WIFEXITED(status);
}

int ChildProcess::ExitCode() const
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::Kill()
{
    // The whole group: a stand-in script's own children go too.
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
}

void ChildProcess::CloseOutputs()
{
    CloseFd(outputFd);
    CloseFd(errorFd);
}
