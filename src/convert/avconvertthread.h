#pragma once

#include "convert/convertargs.h"
#include "convert/convertoutcome.h"
#include "convert/targetname.h"
#include "convert/transcoderprocess.h"

#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class ConvertSettings;

// A file as the file system knows it, so that hard links and paths through
// symbolic links name the same file.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
};
uint qHash(const FileIdentity &id, uint seed = 0);

// The identity of path, following symbolic links or not; false when there is no such file.
bool IdentifyFile(const QString &path, bool followLinks, FileIdentity &out);

// What the jobs of one batch share: the user's cancel and the files no job may touch.
class ConvertBatch final
{
public:
    ConvertBatch() = default;
    explicit ConvertBatch(const QStringList &protectedFiles);

    // Any thread. Once it returns, no job of the batch moves a file into place.
    void Cancel();
    bool IsCanceled() const { return canceled.load(); }

    // True when path, or whatever a link there points to, is one of the protected files.
    bool IsProtected(const QString &path) const;

    // Set before the jobs start. Called on the jobs' threads with a job's progress in
    // milliseconds of its source (total -1 when unknown), about ten times a second at most.
    std::function<void(int srcRow, qint64 doneMs, qint64 totalMs)> progress;
    // Set before the jobs start. Called on a job's thread when it copies its streams instead of
    // encoding them: such a job runs at disk speed and tells nothing of the encoders' rate;
    // called again with false when the copy failed and the job encodes after all.
    std::function<void(int srcRow, bool copying)> copying;
    // Where failed jobs write their error output; none when empty. Set before the jobs start.
    QString logFile;
    void AppendLog(const QString &srcFile, const QString &reason, const QByteArray &errorOutput);

    // Sources probed before their job starts, so that the time left knows the lengths of the
    // jobs still waiting. Keeping answers false once the job has begun without it. Taking
    // answers false when there is none or the file changed since, and marks the job begun.
    bool KeepSourceProbe(int srcRow, const QString &srcFile, const MediaInfo &info);
    bool TakeSourceProbe(int srcRow, const QString &srcFile, MediaInfo &info);
    bool HasBegun(int srcRow);

    // Runs commit unless the batch was canceled first; answers whether it ran.
    template<typename Commit>
    bool CommitUnlessCanceled(Commit &&commit)
    {
        QMutexLocker locker(&commitMutex);
        if (canceled.load())
            return false;
        commit();
        return true;
    }

private:
    Q_DISABLE_COPY(ConvertBatch)
    std::atomic_bool canceled{ false };
    QMutex commitMutex;
    QMutex logMutex;
    QMutex probeMutex;
    struct ProbedAhead
    {
        QString file;
        QString stamp;
        MediaInfo info;
    };
    QHash<int, ProbedAhead> probedAhead;
    QSet<int> begun;
    QSet<FileIdentity> protectedIds;
};

// A new name for a batch's log in the user's cache folder, where the last twenty logs stay;
// empty when the folder cannot be made. The file itself appears only when a job fails.
QString NewBatchLogFile();

// One conversion job, copied freely between the GUI thread and the pool.
struct AVConvertData
{
    QString srcFile;
    const ConvertSettings *settings = nullptr;
    int srcRow = -1;
    int result = OutcomeCanceled;
    std::shared_ptr<ConvertBatch> batch;
};

struct ItemConvertResult
{
    int result = OutcomeCanceled;
    QStringList tgtFiles;
    // Why a failed job failed, in one line.
    QString reason;
    // Every stream of the file was copied, none encoded.
    bool copied = false;
};

// The most jobs one batch runs at once.
constexpr int MaxBatchThreads = 64;

// Threads for a batch of jobs when wanted run at once: never more than it has jobs, so a large
// wish costs nothing, and never more than MaxBatchThreads.
int BatchThreadCount(int jobs, int wanted);

// ThreadFunction with the transcoder program given explicitly.
ItemConvertResult RunConvertJob(const AVConvertData &data, const QString &transcoder);

// Runs one job on the calling thread; the function handed to the parallel map.
ItemConvertResult ThreadFunction(const AVConvertData &data);
