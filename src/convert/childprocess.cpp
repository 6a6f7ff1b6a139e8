#include "convert/childprocess.h"
#include "convert/filepath.h"

#include <algorithm>
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

// Everything the forked copy needs is made before the fork: after it, only calls that are
// safe in a copy of a threaded program.
struct ChildImage
{
    ChildImage(const QString &program, const QStringList &args, const QString &workDir)
        : bytes{ EncodePath(program) }, dir(EncodePath(workDir))
    {
        for (const QString &arg : args)
            bytes.push_back(EncodePath(arg));
        for (QByteArray &arg : bytes)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        defaultAction.sa_handler = SIG_DFL;
        sigemptyset(&noSignals);
    }
    ChildImage(const ChildImage &) = delete;
    ChildImage &operator=(const ChildImage &) = delete;

    std::vector<QByteArray> bytes;
    std::vector<char *> argv;
    QByteArray dir;
    struct sigaction defaultAction {};
    sigset_t noSignals;
};

struct ChildPipes
{
    int output[2] = { -1, -1 };
    int errors[2] = { -1, -1 };
    // Carries the exec's errno back; closed unwritten by a successful exec.
    int exec[2] = { -1, -1 };
};

bool OpenPipes(ChildPipes &pipes, QString &error)
{
    if (::pipe2(pipes.output, O_CLOEXEC) == 0 && ::pipe2(pipes.errors, O_CLOEXEC) == 0
        && ::pipe2(pipes.exec, O_CLOEXEC) == 0)
        return true;
    error = QString::fromLocal8Bit(std::strerror(errno));
    for (int *ends : { pipes.output, pipes.errors, pipes.exec })
        CloseFd(ends[0]), CloseFd(ends[1]);
    return false;
}

// Runs in the forked copy: only async-signal-safe calls.
[[noreturn]] void ExecInChild(const ChildImage &image, const ChildPipes &pipes, int nullFd, pid_t parent)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The program may have died between the fork and the line above.
    if (::getppid() != parent)
        ::_exit(127);
    // Out of the terminal's foreground group: Ctrl+C reaches the program alone, which
    // cancels its jobs, instead of making the transcoder end its file as if finished.
    ::setpgid(0, 0);
    ::dup2(nullFd, STDIN_FILENO);
    ::dup2(pipes.output[1], STDOUT_FILENO);
    ::dup2(pipes.errors[1], STDERR_FILENO);
    ::sigaction(SIGPIPE, &image.defaultAction, nullptr);
    ::sigprocmask(SIG_SETMASK, &image.noSignals, nullptr);
    if (image.dir.isEmpty() || ::chdir(image.dir.constData()) == 0)
        ::execve(image.argv.front(), image.argv.data(), environ);
    const int failure = errno;
    const ssize_t written = ::write(pipes.exec[1], &failure, sizeof failure);
    (void)written;
    ::_exit(127);
}

// Waits until the child runs the program or reports why it could not; closes execRead.
bool ExecSucceeded(int execRead, int &failure)
{
    ssize_t got;
    while ((got = ::read(execRead, &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(execRead);
    return got == 0;
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
    const ChildImage image(program, args, workDir);
    ChildPipes pipes;
    if (!OpenPipes(pipes, error))
        return false;
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();
    pid = ::fork();
    if (pid == 0)
        ExecInChild(image, pipes, nullFd, parent);
    const int forkError = errno;
    if (nullFd >= 0)
        ::close(nullFd);
    ::close(pipes.output[1]), ::close(pipes.errors[1]), ::close(pipes.exec[1]);
    outputFd = pipes.output[0];
    errorFd = pipes.errors[0];
    int failure = 0;
    const bool ran = ExecSucceeded(pipes.exec[0], failure);
    if (pid > 0 && ran)
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
    int exitWaitMs = std::min(1, pollMs);
    while (pid > 0) {
        if (keepGoing && !keepGoing()) {
            Kill();
            CloseOutputs();
            return false;
        }
        if (outputFd < 0 && errorFd < 0) {
            // Both outputs closed: the child is ending and its exit follows within moments.
            // Look soon, then less often; a whole poll interval here added up to 50 ms to
            // every program a job runs, three a file.
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
            } else {
                ::poll(nullptr, 0, exitWaitMs);
                exitWaitMs = std::min(exitWaitMs * 2, pollMs);
            }
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
