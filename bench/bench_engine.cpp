// Converts a batch of generated clips to MP4 twice with the same parallelism: once through
// ThreadFunction on the global thread pool, once by running the same transcoder command lines
// directly, and prints both wall times and their ratio.
//
//   bench_engine [sources=8] [seconds=5] [rounds=2]
//
// Rounds alternate which side runs first; the figures are the sums over all rounds.
// Then it cancels ten two-job batches while their transcoders run and prints the time from
// the cancel to the last job ended (its transcoder killed and reaped).

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "convert/jobjournal.h"
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

    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    std::printf("%d sources of %d s at 640x480 to MP4, %d pool threads, %d round(s)\n", count, seconds, threads,
                rounds);

    qint64 directTotal = 0;
    qint64 engineTotal = 0;
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
        for (const QString &src : sources) {
            const QString target = JoinFilePath(directDir, QFileInfo(src).completeBaseName(), settings.tgtFormat);
            commandLines << MakeConvertArguments(src, settings, target, QString());
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
        std::printf("round %d: direct %lld ms, engine %lld ms, ratio %.3f\n", round + 1, directMs, engineMs,
                    double(engineMs) / double(directMs));
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

    const int cancels = 10;
    QVector<double> latencies;
    const QString cancelDir = tmp.filePath(QStringLiteral("cancel"));
    QDir().mkpath(cancelDir);
    ConvertSettings settings;
    settings.tgtFolder = cancelDir;
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
            futures << QtConcurrent::run(ThreadFunction, job);
        }
        const auto finished = [&futures]() {
            return std::all_of(futures.begin(), futures.end(), [](const auto &f) { return f.isFinished(); });
        };
        // Both transcoders are at work once both hidden outputs have grown.
        const auto running = [&cancelDir]() {
            const QFileInfoList outputs =
                QDir(cancelDir).entryInfoList({ QStringLiteral(".reelway-*") }, QDir::Files | QDir::Hidden);
            return outputs.size() == 2 && outputs.at(0).size() > 0 && outputs.at(1).size() > 0;
        };
        while (!running() && !finished())
            QThread::msleep(5);
        QElapsedTimer timer;
        timer.start();
        batch->Cancel();
        for (QFuture<ItemConvertResult> &future : futures)
            future.waitForFinished();
        latencies << timer.nsecsElapsed() / 1e6;
        const QStringList left = QDir(cancelDir).entryList(QDir::Files | QDir::Hidden);
        if (!left.isEmpty()) {
            std::fprintf(stderr, "cancel %d left files behind: %s\n", i + 1, qPrintable(left.join(' ')));
            return 1;
        }
    }
    std::printf("cancel to last transcoder gone, %d cancels of 2 running jobs: median %.1f ms, worst %.1f ms "
                "(target worst <= 300 ms)\n",
                cancels, Median(latencies), *std::max_element(latencies.begin(), latencies.end()));
    JobJournal::Close();
    return 0;
}
