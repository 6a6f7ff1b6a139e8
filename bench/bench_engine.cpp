// Converts a batch of generated clips to MP4 twice with the same parallelism: once through
// ThreadFunction on the global thread pool, once by running directly the same programs a job
// runs (the prober on the source, the transcoder with the same command line, the prober on the
// output), and prints both wall times and their ratio. A third pass runs the transcoders alone,
// to show what the two probes of a file cost.
//
//   bench_engine [sources=8] [seconds=5] [rounds=2]
//
// Rounds alternate which side runs first; the figures are the sums over all rounds.
// Then it cancels ten two-job batches while their transcoders run and prints the time from
// the cancel to the last job ended (its transcoder killed and reaped), and does the same with
// a stand-in transcoder that floods its error output, printing this process's peak memory.

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "convert/jobjournal.h"
#include "convert/mediaprobe.h"
#include "krv/av/avcodec.h"
#include "krv/gen/plugins.h"

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

// Probes every file, as many at once as the pool has threads; false when one failed.
bool ProbeAll(const QStringList &files, QList<MediaInfo> &infos)
{
    const std::function<MediaInfo(const QString &)> probe = [](const QString &file) {
        MediaInfo info;
        QString error;
        return ProbeMedia(file, info, error) ? info : MediaInfo();
    };
    infos = QtConcurrent::blockingMapped<QList<MediaInfo>>(files, probe);
    return std::none_of(infos.begin(), infos.end(), [](const MediaInfo &info) { return info.streams.isEmpty(); });
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
    DropDebugMessages();
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

    // The direct side runs the command lines the jobs build from these.
    QList<MediaInfo> sourceInfos;
    if (!ProbeAll(sources, sourceInfos)) {
        std::fprintf(stderr, "could not probe the sources\n");
        return 1;
    }

    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    std::printf("%d sources of %d s at 640x480 to MP4, %d pool threads, %d round(s)\n", count, seconds, threads,
                rounds);

    qint64 directTotal = 0;
    qint64 engineTotal = 0;
    qint64 bareTotal = 0;
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

        // What a job runs, each with its arguments: source probe, transcoder, output probe.
        QList<QList<QStringList>> commandLines;
        for (int i = 0; i < count; ++i) {
            const QString &src = sources.at(i);
            const QString target = JoinFilePath(directDir, QFileInfo(src).completeBaseName(), settings.tgtFormat);
            commandLines << QList<QStringList>{ MediaProbeArguments(src),
                                                MakeConvertArguments(sourceInfos.at(i), src, settings, target, QString()),
                                                MediaProbeArguments(target) };
        }
        const QString transcoder = TranscoderPath();
        const QString prober = HelperProgramPath(HelperProgram::Prober);
        const std::function<bool(const QList<QStringList> &)> run = [&](const QList<QStringList> &lines) {
            return RunProgram(prober, lines.at(0)) && RunProgram(transcoder, lines.at(1))
                   && RunProgram(prober, lines.at(2));
        };
        const std::function<bool(const QList<QStringList> &)> bare = [&](const QList<QStringList> &lines) {
            return RunProgram(transcoder, lines.at(1));
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
        QElapsedTimer bareTimer;
        bareTimer.start();
        if (QtConcurrent::blockingMapped<QList<bool>>(commandLines, bare).contains(false)) {
            std::fprintf(stderr, "round %d: a bare transcoder failed\n", round + 1);
            return 1;
        }
        bareTotal += bareTimer.elapsed();
        QDir(directDir).removeRecursively();
        QDir().mkpath(directDir);
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
        std::printf("round %d: direct %lld ms, engine %lld ms, ratio %.3f\n", round + 1, directMs, engineMs,
                    double(engineMs) / double(directMs));
        directTotal += directMs;
        engineTotal += engineMs;
        ratios << double(engineMs) / double(directMs);
        QDir(directDir).removeRecursively();
        QDir(engineDir).removeRecursively();
    }

    std::printf("direct programs:   %lld ms wall, transcoders %.2f s CPU, this process %.3f s CPU\n", directTotal,
                directChildCpu, directOwnCpu);
    std::printf("ThreadFunction:    %lld ms wall, transcoders %.2f s CPU, this process %.3f s CPU\n", engineTotal,
                engineChildCpu, engineOwnCpu);
    std::printf("ratio engine/direct: %.3f (target <= 1.02); median of the rounds %.3f\n",
                double(engineTotal) / double(directTotal), Median(ratios));
    std::printf("transcoders alone: %lld ms wall; the two probes of a file add %.1f ms a file, %.1f %% of the "
                "direct wall time\n",
                bareTotal, double(directTotal - bareTotal) / (count * rounds),
                100.0 * (directTotal - bareTotal) / directTotal);

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
