#include "transcoderprocess.h"

#include "convert/avconvertthread.h"
#include "convert/jobtext.h"
#include "krv/gen/plugins.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// The transcoder dies with the program, however the program ends: the kernel sends it
// SIGKILL when the thread that started it goes, and the pool thread waits for its child.
class TranscoderProcess final : public QProcess
{
public:
    TranscoderProcess() = default;

protected:
    void setupChildProcess() override
    {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The program may have died between the fork and the line above.
        if (::getppid() != parentPid)
            ::_exit(127);
        // Out of the terminal's foreground group: Ctrl+C reaches the program alone, which
        // cancels its jobs, instead of making the transcoder end its file as if finished.
        ::setpgid(0, 0);
    }

private:
    const pid_t parentPid = ::getpid();
};

// Cancel is looked for, and output read, this often while the transcoder runs.
constexpr int PollMs = 50;
constexpr int ProgressIntervalMs = 100;

bool IsCanceled(const AVConvertData &data)
{
    return data.batch && data.batch->IsCanceled();
}

} // namespace

QString TranscoderPath()
{
    return HelperProgramPath(HelperProgram::Transcoder);
}

QStringList TranscoderReportOptions()
{
    return { QStringLiteral("-nostats"), QStringLiteral("-progress"), QStringLiteral("pipe:1"),
             QStringLiteral("-loglevel"), QStringLiteral("level+info") };
}

void RunTranscoder(const QString &program, const QStringList &args, const QString &outputFile,
                   const AVConvertData &data, TranscoderRun &run)
{
    TranscoderProcess process;
    process.setWorkingDirectory(QCoreApplication::applicationDirPath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, TranscoderReportOptions() + args, QIODevice::ReadWrite);
    if (!process.waitForStarted(-1)) {
        run.outcome = OutcomeFailed;
        run.reason = JobText("The transcoder %1 could not be started.").arg(NativePath(program));
        return;
    }

    QElapsedTimer sinceReport;
    sinceReport.start();
    const auto readOutput = [&]() {
        run.output.AddProgress(process.readAllStandardOutput());
        run.output.AddErrors(process.readAllStandardError());
    };
    while (!process.waitForFinished(PollMs)) {
        readOutput();
        if (process.state() == QProcess::NotRunning)
            break;
        if (IsCanceled(data)) {
            process.kill();
            process.waitForFinished(-1);
            run.outcome = OutcomeCanceled;
            return;
        }
        if (data.batch && data.batch->progress && sinceReport.elapsed() >= ProgressIntervalMs) {
            data.batch->progress(data.srcRow, run.output.DoneMs(), run.output.DurationMs());
            sinceReport.restart();
        }
    }
    readOutput();

    const bool crashed = process.exitStatus() != QProcess::NormalExit;
    const QFileInfo target(outputFile);
    const bool wrote = target.isFile() && target.size() > 0;
    // Exit 0 is not enough: a full disk at the file's end is reported at error level only.
    if (!crashed && process.exitCode() == 0 && wrote && !run.output.SawError()) {
        run.outcome = OutcomeSucceeded;
        return;
    }
    run.outcome = OutcomeFailed;
    run.reason = run.output.FailureReason();
    if (run.reason.isEmpty()) {
        run.reason = crashed ? JobText("The transcoder crashed.")
                     : wrote ? JobText("The transcoder ended with code %1.").arg(process.exitCode())
                             : JobText("The transcoder ended with code %1 and wrote no file.").arg(process.exitCode());
    }
}
