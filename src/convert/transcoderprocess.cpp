#include "transcoderprocess.h"

#include "convert/avconvertthread.h"
#include "convert/childprocess.h"
#include "convert/jobtext.h"
#include "krv/gen/plugins.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

namespace {

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
    ChildProcess process;
    QString error;
    if (!process.Start(program, TranscoderReportOptions() + args, QCoreApplication::applicationDirPath(), error)) {
        run.outcome = OutcomeFailed;
        run.reason = JobText("The transcoder %1 could not be started.").arg(NativePath(program));
        return;
    }

    QElapsedTimer sinceReport;
    sinceReport.start();
    const auto keepGoing = [&]() {
        if (IsCanceled(data))
            return false;
        if (data.batch && data.batch->progress && sinceReport.elapsed() >= ProgressIntervalMs) {
            data.batch->progress(data.srcRow, run.output.DoneMs(), run.output.DurationMs());
            sinceReport.restart();
        }
        return true;
    };
    if (!process.Run([&run](const QByteArray &chunk) { run.output.AddProgress(chunk); },
                     [&run](const QByteArray &chunk) { run.output.AddErrors(chunk); }, keepGoing, PollMs)) {
        run.outcome = OutcomeCanceled;
        return;
    }

    const bool crashed = process.Crashed();
    const int exitCode = process.ExitCode();
    const QFileInfo target(outputFile);
    const bool wrote = target.isFile() && target.size() > 0;
    // Exit 0 is not enough: a full disk at the file's end is reported at error level only.
    if (!crashed && exitCode == 0 && wrote && !run.output.SawError()) {
        run.outcome = OutcomeSucceeded;
        return;
    }
    run.outcome = OutcomeFailed;
    run.reason = run.output.FailureReason();
    if (run.reason.isEmpty()) {
        run.reason = crashed ? JobText("The transcoder crashed.")
                     : wrote ? JobText("The transcoder ended with code %1.").arg(exitCode)
                             : JobText("The transcoder ended with code %1 and wrote no file.").arg(exitCode);
    }
}
