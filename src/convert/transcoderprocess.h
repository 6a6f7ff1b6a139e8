#pragma once

#include "convert/convertoutcome.h"
#include "convert/transcoderoutput.h"

#include <QString>
#include <QStringList>

struct AVConvertData;

// The transcoder laid out beside the executable.
QString TranscoderPath();

// The options that make the transcoder report progress and tag its messages by level;
// the job puts them before its arguments.
QStringList TranscoderReportOptions();

struct TranscoderRun
{
    int outcome = OutcomeFailed;
    QString reason;
    TranscoderOutput output;
};

// Runs the transcoder to its end, reporting progress to the job's batch and ending it
// early on cancel: succeeded when it exited with code 0, printed no error-level line and
// left a non-empty output.
void RunTranscoder(const QString &program, const QStringList &args, const QString &outputFile,
                   const AVConvertData &data, TranscoderRun &run);
