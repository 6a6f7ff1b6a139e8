#include "convert/batchrunner.h"

#include <QDir>
#include <QFileInfo>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// What jobs weigh: their lengths where known. A job whose length is not known yet weighs the
// mean of the known lengths of the jobs still counted, or 1 while none is known, so that the
// jobs then weigh alike; one found to have no length weighs nothing beside known lengths.
struct Weights
{
    explicit Weights(const QVector<BatchProgress::Job> &jobs)
    {
        qint64 sum = 0;
        int lengths = 0;
        for (const BatchProgress::Job &job : jobs) {
            if (job.state != BatchProgress::Dropped && job.totalMs > 0) {
                sum += job.totalMs;
                ++lengths;
            }
        }
        known = lengths > 0;
        unknown = known ? double(sum) / lengths : 1;
    }

    double Of(const BatchProgress::Job &job) const
    {
        if (job.totalMs > 0)
            return double(job.totalMs);
        return job.lengthless && known ? 0 : unknown;
    }

    double DoneOf(const BatchProgress::Job &job) const
    {
        if (job.state == BatchProgress::Succeeded)
            return Of(job);
        return job.totalMs > 0 ? qBound(0.0, double(job.doneMs), double(job.totalMs)) : 0;
    }

    bool known = false;
    double unknown = 1;
};

} // namespace

int BatchProgress::Ended() const
{
    return int(std::count_if(jobs.begin(), jobs.end(), [](const Job &job) { return job.state >= Succeeded; }));
}

double BatchProgress::Fraction() const
{
    const Weights weights(jobs);
    double done = 0;
    double all = 0;
    for (const Job &job : jobs) {
        if (job.state == Dropped)
            continue;
        all += weights.Of(job);
        done += weights.DoneOf(job);
    }
    return all > 0 ? done / all : 1;
}

qint64 BatchProgress::SecondsLeft() const
{
    const Weights weights(jobs);
    const double fraction = Fraction();
    if (!weights.known || fraction < 0.01 || fraction >= 1 || elapsedMs < 2000)
        return -1;
    // Media time converted over the whole batch: the pool's rate with every thread at work,
    // steady where the rate of the last few seconds would jump with each job's start and end.
    double converted = 0;
    double left = 0;
    for (const Job &job : jobs) {
        if (job.copying)
            continue;
        if (job.state == Dropped) {
            converted += qMax<qint64>(0, job.doneMs); // its time was spent all the same
            continue;
        }
        const double done = weights.DoneOf(job);
        converted += done;
        left += weights.Of(job) - done;
    }
    if (converted <= 0)
        return -1;
    return std::llround(left * elapsedMs / converted / 1000);
}

qint64 BatchProgress::JobSecondsLeft(int index) const
{
    const Job job = jobs.value(index);
    if (job.state != Running || job.totalMs <= 0)
        return -1;
    const double fraction = qBound(0.0, double(job.doneMs) / job.totalMs, 0.99);
    const qint64 spentMs = elapsedMs - job.startedMs;
    if (fraction < 0.01 || spentMs < 2000)
        return -1;
    return qint64(spentMs * (1 - fraction) / fraction / 1000 + 0.5);
}

int BatchProgress::Percent(qint64 doneMs, qint64 totalMs)
{
    return totalMs > 0 ? int(qBound<qint64>(0, doneMs * 100 / totalMs, 99)) : -1;
}

BatchRunner::BatchRunner(const QStringList &sources, const QStringList &protectedFiles,
                         const ConvertSettings &settings, QFutureWatcher<ItemConvertResult> *watcher, QObject *parent)
    : QObject(parent)
    , settings(settings)
    , batch(std::make_shared<ConvertBatch>(protectedFiles + sources))
    , watcher(watcher ? watcher : &ownWatcher)
    , progress(sources.size())
    , results(sources.size())
{
    // The jobs read this copy, which nothing changes while they run; a job reports by its index.
    for (int i = 0; i < sources.size(); ++i) {
        AVConvertData job;
        job.srcFile = sources.at(i);
        job.settings = &this->settings;
        job.srcRow = i;
        job.batch = batch;
        jobs.append(job);
    }
    counts[CountSelected] = jobs.size();
    // The jobs report from the pool; only this object's thread keeps the account.
    batch->progress = [this](int index, qint64 doneMs, qint64 totalMs) {
        QMetaObject::invokeMethod(
            this, [this, index, doneMs, totalMs]() { OnProgress(index, doneMs, totalMs); }, Qt::QueuedConnection);
    };
    batch->copying = [this](int index, bool copying) {
        QMetaObject::invokeMethod(
            this, [this, index, copying]() { OnCopying(index, copying); }, Qt::QueuedConnection);
    };
    batch->logFile = NewBatchLogFile();
}

BatchRunner::~BatchRunner()
{
    batch->Cancel();
    lookahead.waitForDone();
    watcher->waitForFinished();
    // Copies of the jobs may outlive the runner; nothing may call back into it.
    batch->progress = nullptr;
    batch->copying = nullptr;
}

void BatchRunner::Start(int threads)
{
    connect(watcher, &QFutureWatcher<ItemConvertResult>::resultReadyAt, this, &BatchRunner::OnResult);
    connect(watcher, &QFutureWatcher<ItemConvertResult>::finished, this, &BatchRunner::OnFinished);
    clock.start();
    // Qt 5's mapped() needs a functor with result_type; std::function has one, a bare lambda does not.
    const std::function<ItemConvertResult(const AVConvertData &)> run = [this](const AVConvertData &data) {
        if (!data.batch->IsCanceled()) {
            const int index = data.srcRow;
            QMetaObject::invokeMethod(this, [this, index]() { OnStarted(index); }, Qt::QueuedConnection);
        }
        return ThreadFunction(data);
    };
    QThreadPool::globalInstance()->setMaxThreadCount(BatchThreadCount(jobs.size(), threads));
    // The future itself is never canceled: jobs not started end at once on the batch's flag,
    // and a job that moved its file into place before the cancel still reports it.
    watcher->setFuture(QtConcurrent::mapped(jobs, run));
    ProbeAhead(QThreadPool::globalInstance()->maxThreadCount());
}

void BatchRunner::ProbeAhead(int from)
{
    if (from >= jobs.size())
        return;
    lookahead.setMaxThreadCount(1);
    const std::shared_ptr<ConvertBatch> shared = batch;
    const QVector<AVConvertData> waiting = jobs.mid(from);
    lookahead.start([this, shared, waiting]() {
        for (const AVConvertData &job : waiting) {
            MediaInfo info;
            QString error;
            if (shared->IsCanceled())
                return;
            if (shared->HasBegun(job.srcRow))
                continue;
            const bool probed = ProbeMedia(job.srcFile, info, error, [&shared]() { return shared->IsCanceled(); });
            if (probed && !shared->KeepSourceProbe(job.srcRow, job.srcFile, info))
                continue; // the job began meanwhile and reports its own length
            const int index = job.srcRow;
            // 0: not media at all; -1: media whose length the prober cannot tell.
            const qint64 totalMs = !probed ? 0 : info.durationMs > 0 ? info.durationMs : -1;
            QMetaObject::invokeMethod(
                this, [this, index, totalMs]() { OnProbedAhead(index, totalMs); }, Qt::QueuedConnection);
        }
    });
}

void BatchRunner::Cancel()
{
    batch->Cancel();
}

BatchProgress BatchRunner::Progress() const
{
    return { progress, clock.isValid() ? clock.elapsed() : 0 };
}

QString BatchRunner::LogFile() const
{
    return QFileInfo::exists(batch->logFile) ? batch->logFile : QString();
}

bool BatchRunner::IsReporting(int index) const
{
    return index >= 0 && index < progress.size() && progress.at(index).state == BatchProgress::Running
           && !batch->IsCanceled();
}

void BatchRunner::OnStarted(int index)
{
    if (index < 0 || index >= progress.size() || progress.at(index).state != BatchProgress::Waiting
        || batch->IsCanceled())
        return;
    progress[index].state = BatchProgress::Running;
    progress[index].startedMs = clock.elapsed();
    emit jobStarted(index);
}

// Late news of a job that has ended, or of a canceled batch, changes nothing: here, for
// every front end at once.
void BatchRunner::OnProgress(int index, qint64 doneMs, qint64 totalMs)
{
    if (!IsReporting(index))
        return;
    progress[index].doneMs = doneMs;
    // The transcoder names the length only once it has read the source's header; until then
    // the length probed ahead stands.
    if (totalMs > 0)
        progress[index].totalMs = totalMs;
    emit jobProgress(index, doneMs, progress.at(index).totalMs);
}

void BatchRunner::OnCopying(int index, bool copying)
{
    if (IsReporting(index))
        progress[index].copying = copying;
}

void BatchRunner::OnProbedAhead(int index, qint64 totalMs)
{
    if (index < 0 || index >= progress.size() || progress.at(index).state != BatchProgress::Waiting
        || progress.at(index).totalMs >= 0)
        return;
    if (totalMs > 0)
        progress[index].totalMs = totalMs;
    else if (totalMs == 0)
        progress[index].lengthless = true;
}

void BatchRunner::OnResult(int index)
{
    if (index >= 0 && index < progress.size() && !HasEnded(index))
        EndJob(index, watcher->resultAt(index));
}

void BatchRunner::OnFinished()
{
    // Every job ends once and is counted once, whatever reached this thread first.
    const QFuture<ItemConvertResult> future = watcher->future();
    for (int i = 0; i < progress.size(); ++i) {
        if (!HasEnded(i))
            EndJob(i, future.isResultReadyAt(i) ? future.resultAt(i) : ItemConvertResult());
    }
    batchFinished = true;
    emit finished();
}

void BatchRunner::EndJob(int index, const ItemConvertResult &result)
{
    BatchProgress::Job &job = progress[index];
    results[index] = result;
    job.state = result.result == OutcomeSucceeded ? BatchProgress::Succeeded : BatchProgress::Dropped;
    switch (result.result) {
    case OutcomeSucceeded:
        ++counts[CountSucceeded];
        targets << result.tgtFiles;
        break;
    case OutcomeFailed:
        ++counts[CountFailed];
        failures << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(jobs.at(index).srcFile), result.reason);
        break;
    default:
        ++counts[CountCanceled];
        break;
    }
    emit jobFinished(index, result);
}
