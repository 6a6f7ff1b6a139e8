#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

#include <sys/types.h>

// A helper program run so that it can never outlive the program, however the program ends:
// the forked copy only sets the death signal, checks its parent is still there and execs,
// with nothing in between that could wait on a lock another thread held at the fork. Both
// outputs are read with poll as they come, so a flood is drained at once and never piles up.
class ChildProcess final
{
public:
    ChildProcess() = default;
    // Kills and reaps a child still running.
    ~ChildProcess();

    // Standard input reads nothing. On failure error says why, in the system's words.
    bool Start(const QString &program, const QStringList &args, const QString &workDir, QString &error);

    // Hands the child's output and error output to the two callbacks until it ends; keepGoing is
    // asked between reads, at least every pollMs, and the child is killed when it answers false.
    // Answers whether the child ended by itself.
    bool Run(const std::function<void(const QByteArray &)> &onOutput,
             const std::function<void(const QByteArray &)> &onErrors, const std::function<bool()> &keepGoing,
             int pollMs);

    bool Crashed() const;
    int ExitCode() const;

private:
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    void Kill();
    void CloseOutputs();

    pid_t pid = -1;
    int outputFd = -1;
    int errorFd = -1;
    int status = 0;
};
