#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class ConvertSettings;

// Outcome codes shared by a job and the batch runner.
enum ConvertOutcome : int {
    ConvertSucceeded = 0,
    ConvertFailed = 1,
    ConvertCanceled = 2
};

// One conversion job, copied freely between the GUI thread and the pool.
struct AVConvertData
{
    QString srcFile;
    const ConvertSettings *settings = nullptr;
    int srcRow = -1;
    int result = ConvertCanceled;
    // Raised on the GUI thread by the batch's progress dialog; pool threads
    // only read it, never the dialog.
    std::shared_ptr<std::atomic_bool> cancelFlag;
};

struct ItemConvertResult
{
    int result = ConvertCanceled;
    QStringList tgtFiles;
};

// The absolute path of baseName + ext inside folder.
QString JoinFilePath(const QString &folder, const QString &baseName, const QString &ext);

// The plain name if free, else baseName-1 ... baseName-9999; false when all are taken.
bool MakeUniqueFilePath(QString &out, const QString &folder, const QString &baseName, const QString &ext);

bool MakeTgtFilePath(QString &out, const QString &srcFile, const ConvertSettings &settings);

// The transcoder laid out beside the executable.
QString TranscoderPath();

// The transcoder's complete argument list for one job. Starts nothing, but renders the
// watermark images of the effects step into tempDir.
QStringList MakeConvertArguments(const QString &srcFile, const ConvertSettings &settings, const QString &tgtFile,
                                 const QString &tempDir);

// ThreadFunction with the transcoder program given explicitly.
ItemConvertResult RunConvertJob(const AVConvertData &data, const QString &transcoder);

// Runs one job on the calling thread; the function handed to the parallel map.
ItemConvertResult ThreadFunction(const AVConvertData &data);
