// Converts a batch of generated clips to MP4 twice with the same parallelism: once through
// ThreadFunction on the global thread pool, once by running the same transcoder command lines
// directly, and prints both wall times and their ratio.
//
//   bench_engine [sources=8] [seconds=5] [rounds=2]
//
// Rounds alternate which side runs first; the figures are the sums over all rounds. Next to
// the ratio it prints what the two probes of a job cost: the source probe (timed once over
// all sources) and the verification probe of each output, run with the same parallelism.
// Then it cancels ten two-job batches while their transcoders run and prints the time from
// the cancel to the last job ended (its transcoder killed and reaped), and does the same with
// a stand-in transcoder that floods its error output, printing this process's peak memory.

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "convert/jobjournal.h"
#include "convert/mediaprobe.h"
#include "krv/av/avcodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <functional>

#include "benchsupport.h"

using namespace BenchSupport;

namespace {

// CPU seconds used so far by the waited-for children and by this process itself.
double ChildCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double OwnCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Peak resident memory of this process so far, in MiB.
double PeakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Probes every file, as many at once as the pool has threads; the wall time in ms, -1 when one failed.
qint64 ProbeAll(const QStringList &files, QList<MediaInfo> *infos = nullptr)
{
    const std::function<MediaInfo(const QString &)> probe = [](const QString &file) {
        MediaInfo info;
        QString error;
        if (!ProbeMedia(file, info, error))
            info = MediaInfo();
        return info;
    };
    QElapsedTimer timer;
    timer.start();
    const QList<MediaInfo> found = QtConcurrent::blockingMapped<QList<MediaInfo>>(files, probe);
    const qint64 ms = timer.elapsed();
    if (infos)
        *infos = found;
    return std::all_of(found.begin(), found.end(), [](const MediaInfo &info) { return !info.streams.isEmpty(); }) ? ms : -1;
}

// Times cancels of two-job batches with transcoder (empty: the real one) while both run,
// from the cancel to the last job ended; false when a cancel left a file behind.
bool TimeCancels(const QStringList &sources, const QString &folder, const QString &transcoder, int cancels,
                 int floodMs, QVector<double> &latencies)
{
    ConvertSettings settings;
    settings.tgtFolder = folder;
    settings.tgtID = KRVAVCodecID_MP4;
    settings.tgtFormat = QStringLiteral(".mp4");
    for (int i = 0; i < cancels; ++i) {
        const auto batch = std::make_shared<ConvertBatch>();
        // One pool task each, so both run at once whatever the pool still winds down.
        QList<QFuture<ItemConvertResult>> futures;
        for (const QString &src : sources.mid(0, 2)) {
            AVConvertData job;
            job.srcFile = src;
            job.settings = &settings;
            job.batch = batch;
            futures << QtConcurrent::run(RunConvertJob, job, transcoder.isEmpty() ? TranscoderPath() : transcoder);
        }
        const auto finished = [&futures]() {
            return std::all_of(futures.begin(), futures.end(), [](const auto &f) { return f.isFinished(); });
        };
        if (transcoder.isEmpty()) {
            // Both transcoders are at work once both hidden outputs have grown.
            const auto running = [&folder]() {
                const QFileInfoList outputs =
                    QDir(folder).entryInfoList({ QStringLiteral(".reelway-*") }, QDir::Files | QDir::Hidden);
                return outputs.size() == 2 && outputs.at(0).size() > 0 && outputs.at(1).size() > 0;
            };
            while (!running() && !finished())
                QThread::msleep(5);
        } else {
            // The flood has no file to watch: it is given time to pile up.
            QThread::msleep(floodMs);
        }
        QElapsedTimer timer;
        timer.start();
        batch->Cancel();
        for (QFuture<ItemConvertResult> &future : futures)
            future.waitForFinished();
        latencies << timer.nsecsElapsed() / 1e6;
        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        if (!left.isEmpty()) {
            std::fprintf(stderr, "cancel %d left files behind: %s\n", i + 1, qPrintable(left.join(' ')));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // The program discards the jobs' diagnostic lines too; printing them would only add noise.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    QCoreApplication app(argc, argv);
    const QStringList cli = app.arguments();
    const int count = cli.size() > 1 ? cli.at(1).toInt() : 8;
    const int seconds = cli.size() > 2 ? cli.at(2).toInt() : 5;
    const int rounds = cli.size() > 3 ? cli.at(3).toInt() : 2;
    if (count < 1 || seconds < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: bench_engine [sources] [seconds] [rounds]\n");
        return 2;
    }

    QTemporaryDir tmp;
    if (!tmp.isValid() || !QFileInfo(TranscoderPath()).isExecutable()) {
        std::fprintf(stderr, "no temporary folder or no transcoder at %s\n", qPrintable(TranscoderPath()));
        return 1;
    }
    const QString srcDir = tmp.filePath(QStringLiteral("src"));
    QDir().mkpath(srcDir);
    QStringList sources;
    for (int i = 0; i < count; ++i)
        sources << QDir(srcDir).filePath(QStringLiteral("clip%1.avi").arg(i));
    // Qt 5's mapped() needs a functor with result_type; std::function has one, a bare lambda does not.
    const std::function<bool(const QString &)> makeSource = [seconds, &sources](const QString &path) {
        return MakeSource(path, seconds, sources.indexOf(path));
    };
    const QList<bool> made = QtConcurrent::blockingMapped<QList<bool>>(sources, makeSource);
    if (made.contains(false)) {
        std::fprintf(stderr, "could not generate the sources\n");
        return 1;
    }

    // The source probe, as each job runs it first; its result also gives the direct side the
    // same fitted command lines the jobs build.
    QList<MediaInfo> sourceInfos;
    const qint64 sourceProbeMs = ProbeAll(sources, &sourceInfos);
    if (sourceProbeMs < 0) {
        std::fprintf(stderr, "could not probe the sources\n");
        return 1;
    }

    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    std::printf("%d sources of %d s at 640x480 to MP4, %d pool threads, %d round(s)\n", count, seconds, threads,
                rounds);

    qint64 directTotal = 0;
    qint64 engineTotal = 0;
    qint64 verifyTotal = 0;
    double directChildCpu = 0;
    double engineChildCpu = 0;
    double directOwnCpu = 0;
    double engineOwnCpu = 0;
    QVector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        const QString directDir = tmp.filePath(QStringLiteral("direct%1").arg(round));
        const QString engineDir = tmp.filePath(QStringLiteral("engine%1").arg(round));
        QDir().mkpath(directDir);
        QDir().mkpath(engineDir);

        ConvertSettings settings;
        settings.tgtFolder = engineDir;
        settings.tgtID = KRVAVCodecID_MP4;
        settings.tgtFormat = QStringLiteral(".mp4");

        QList<QStringList> commandLines;
        for (int i = 0; i < count; ++i) {
            const QString &src = sources.at(i);
            const QString target = JoinFilePath(directDir, QFileInfo(src).completeBaseName(), settings.tgtFormat);
            commandLines << MakeConvertArguments(sourceInfos.at(i), src, settings, target, QString());
        }
        const QString transcoder = TranscoderPath();

        const std::function<bool(const QStringList &)> run = [&transcoder](const QStringList &args) {
            return RunProgram(transcoder, args);
        };
        QVector<AVConvertData> jobs;
        for (const QString &src : sources) {
            AVConvertData job;
            job.srcFile = src;
            job.settings = &settings;
            job.batch = std::make_shared<ConvertBatch>();
            jobs << job;
        }

        QList<bool> direct;
        QList<ItemConvertResult> engine;
        qint64 directMs = 0;
        qint64 engineMs = 0;
        const auto runDirect = [&]() {
            const double children = ChildCpuSeconds();
            const double own = OwnCpuSeconds();
            QElapsedTimer timer;
            timer.start();
            direct = QtConcurrent::blockingMapped<QList<bool>>(commandLines, run);
            directMs = timer.elapsed();
            directChildCpu += ChildCpuSeconds() - children;
            directOwnCpu += OwnCpuSeconds() - own;
        };
        const auto runEngine = [&]() {
            const double children = ChildCpuSeconds();
            const double own = OwnCpuSeconds();
            QElapsedTimer timer;
            timer.start();
            engine = QtConcurrent::blockingMapped<QList<ItemConvertResult>>(jobs, ThreadFunction);
            engineMs = timer.elapsed();
            engineChildCpu += ChildCpuSeconds() - children;
            engineOwnCpu += OwnCpuSeconds() - own;
        };
        // Alternate which side goes first, so a warm cache or a neighbour's load does not favour one.
        if (round % 2 == 0) {
            runDirect();
            runEngine();
        } else {
            runEngine();
            runDirect();
        }

        int succeeded = 0;
        for (const ItemConvertResult &r : engine)
            succeeded += r.result == OutcomeSucceeded ? 1 : 0;
        if (direct.contains(false) || succeeded != count || CountFiles(directDir) != count
            || CountFiles(engineDir) != count) {
            std::fprintf(stderr, "round %d: a conversion failed (engine %d of %d succeeded)\n", round + 1, succeeded,
                         count);
            return 1;
        }
        QStringList outputs;
        for (const ItemConvertResult &r : engine)
            outputs << r.tgtFiles;
        const qint64 verifyMs = ProbeAll(outputs);
        if (verifyMs < 0) {
            std::fprintf(stderr, "round %d: an output could not be probed\n", round + 1);
            return 1;
        }
        verifyTotal += verifyMs;
        std::printf("round %d: direct %lld ms, engine %lld ms, ratio %.3f; verification probes %lld ms\n", round + 1,
                    directMs, engineMs, double(engineMs) / double(directMs), verifyMs);
        directTotal += directMs;
        engineTotal += engineMs;
        ratios << double(engineMs) / double(directMs);
        QDir(directDir).removeRecursively();
        QDir(engineDir).removeRecursively();
    }

    std::printf("direct transcoder: %lld ms wall, transcoders %.2f s CPU, this process %.3f s CPU\n", directTotal,
                directChildCpu, directOwnCpu);
    std::printf("ThreadFunction:    %lld ms wall, transcoders %.2f s CPU, this process %.3f s CPU\n", engineTotal,
                engineChildCpu, engineOwnCpu);
    std::printf("ratio engine/direct: %.3f (target <= 1.02); median of the rounds %.3f\n",
                double(engineTotal) / double(directTotal), Median(ratios));
    std::printf("of the engine's wall time: verification probe %.1f %% (%.1f ms a file), source probe %.1f %% "
                "(%.1f ms a file, one process each)\n",
                100.0 * verifyTotal / engineTotal, double(verifyTotal) / (count * rounds),
                100.0 * sourceProbeMs * rounds / engineTotal, double(sourceProbeMs) / count);

    const int cancels = 10;
    QVector<double> latencies;
    const QString cancelDir = tmp.filePath(QStringLiteral("cancel"));
    QDir().mkpath(cancelDir);
    if (!TimeCancels(sources, cancelDir, QString(), cancels, 0, latencies))
        return 1;
    std::printf("cancel to last transcoder gone, %d cancels of 2 running jobs: median %.1f ms, worst %.1f ms "
                "(target worst <= 300 ms)\n",
                cancels, Median(latencies), *std::max_element(latencies.begin(), latencies.end()));

    // A transcoder that writes nothing but chatter to its error output, as fast as it can.
    const QString flooder = tmp.filePath(QStringLiteral("flooding-ffmpeg"));
    QFile script(flooder);
    if (!script.open(QIODevice::WriteOnly)
        || script.write("#!/bin/sh\nexec yes '[h264 @ 0x55d0c0ffee00] [info] " + QByteArray(80, 'x') + "' >&2\n") < 0
        || (script.close(), !script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))) {
        std::fprintf(stderr, "could not write the flooding stand-in\n");
        return 1;
    }
    const int floods = 5;
    const int floodMs = 1500;
    const double rssBefore = PeakRssMiB();
    latencies.clear();
    if (!TimeCancels(sources, cancelDir, flooder, floods, floodMs, latencies))
        return 1;
    std::printf("flooding stand-in, %d cancels of 2 jobs after %d ms of flood: median %.1f ms, worst %.1f ms "
                "(target worst <= 300 ms); peak RSS of this process %.1f MiB before the floods, %.1f MiB after\n",
                floods, floodMs, Median(latencies), *std::max_element(latencies.begin(), latencies.end()), rssBefore,
                PeakRssMiB());
    JobJournal::Close();
    return 0;
}
