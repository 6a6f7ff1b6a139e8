#include "convert/boundprocess.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

BoundProcess::BoundProcess(QObject *parent)
    : QProcess(parent)
    , program(::getpid())
{
}

// Runs in the forked copy, just before the exec.
void BoundProcess::setupChildProcess()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The program may have died between the fork and the line above.
    if (::getppid() != program)
        ::_exit(127);
}
