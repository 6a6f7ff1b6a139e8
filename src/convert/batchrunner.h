#pragma once

#include "convert/avconvertthread.h"
#include "convert/convertcount.h"
#include "convert/convertsettings.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QVector>

#include <memory>

// How far a batch is: what each job has reported, and the wall time since the batch began.
// A value, so that the bar and the time left can be worked out from a recorded sequence.
struct BatchProgress
{
    enum State { Waiting, Running, Succeeded, Dropped };
    struct Job
    {
        State state = Waiting;
        qint64 doneMs = 0;
        // The source's length in milliseconds; -1 while unknown.
        qint64 totalMs = -1;
        // Batch time at which the job began.
        qint64 startedMs = 0;
        // A stream copy runs at disk speed, not at the transcoder's, so it tells nothing of the
        // rate of the others and takes next to no time itself.
        bool copying = false;
        // Probed ahead and found not to be media: it weighs nothing beside jobs whose length
        // is known, so that its quick failure moves no bar.
        bool lengthless = false;
    };
    QVector<Job> jobs;
    qint64 elapsedMs = 0;

    // Jobs that have ended, whatever their outcome.
    int Ended() const;
    // The share of the work done, 0..1. Work is weighted by the length of its source, a job
    // whose length is not known yet as the known ones on average (all alike while none is);
    // a file that fails or is skipped leaves the work instead of counting as done.
    double Fraction() const;
    // The batch's time left in seconds, from the media time converted per wall second over the
    // whole batch so far; -1 while too little is known to tell.
    qint64 SecondsLeft() const;
    // The same for one running job, from its own rate.
    qint64 JobSecondsLeft(int index) const;
    // A running job's percent, held below 100 until it ends; -1 while its length is unknown.
    static int Percent(qint64 doneMs, qint64 totalMs);
};

// Runs one batch of conversions on the global thread pool and keeps its account: the jobs'
// progress, the four counts, the reasons of failures, the produced files and the log. The
// window and the command line only present its signals.
class BatchRunner final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(BatchRunner)

public:
    // protectedFiles: what no job may touch besides the sources. watcher: the one to run the
    // batch on (its own when null), which must outlive the runner.
    BatchRunner(const QStringList &sources, const QStringList &protectedFiles, const ConvertSettings &settings,
                QFutureWatcher<ItemConvertResult> *watcher = nullptr, QObject *parent = nullptr);
    // Cancels what still runs and waits for it.
    ~BatchRunner() override;

    // Runs at most `threads` jobs at once (see BatchThreadCount).
    void Start(int threads);
    // Running transcoders end, no file of theirs is left, jobs not started end at once.
    void Cancel();
    bool IsCanceled() const { return batch->IsCanceled(); }
    bool IsFinished() const { return batchFinished; }
    bool HasEnded(int index) const { return progress.value(index).state >= BatchProgress::Succeeded; }

    const QVector<AVConvertData> &Jobs() const { return jobs; }
    const int *Counts() const { return counts; }
    BatchProgress Progress() const;
    ItemConvertResult Result(int index) const { return results.value(index); }
    // The produced files, in the order the jobs ended.
    const QStringList &Targets() const { return targets; }
    // "source: reason" for each failed job, in the order they ended.
    const QStringList &Failures() const { return failures; }
    // The log of the failures' transcoder messages; empty when no job wrote one.
    QString LogFile() const;

signals:
    void jobStarted(int index);
    void jobProgress(int index, qint64 doneMs, qint64 totalMs);
    void jobFinished(int index, const ItemConvertResult &result);
    void finished();

private:
    void OnStarted(int index);
    void OnProgress(int index, qint64 doneMs, qint64 totalMs);
    void OnCopying(int index, bool copying);
    void OnProbedAhead(int index, qint64 totalMs);
    // Probes the sources of the jobs after the first `from`, one at a time, while they wait.
    void ProbeAhead(int from);
    void OnResult(int index);
    void OnFinished();
    void EndJob(int index, const ItemConvertResult &result);
    // A job that runs and may still report: neither waiting, nor ended, nor in a canceled batch.
    bool IsReporting(int index) const;

    ConvertSettings settings;
    std::shared_ptr<ConvertBatch> batch;
    QVector<AVConvertData> jobs;
    QFutureWatcher<ItemConvertResult> ownWatcher;
    QFutureWatcher<ItemConvertResult> *watcher = nullptr;
    QThreadPool lookahead;
    QVector<BatchProgress::Job> progress;
    QVector<ItemConvertResult> results;
    QElapsedTimer clock;
    int counts[ConvertCountKinds] = {};
    QStringList targets;
    QStringList failures;
    bool batchFinished = false;
};
