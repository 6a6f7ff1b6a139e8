// Converts generated clips to MP4 with `reelway-cli -j 2` and with the same transcoder command
// lines run directly two at a time, and prints both wall times and their ratio; then the
// median start-up time of `reelway-cli --version`.
//
//   bench_cli [sources=4] [seconds=5] [rounds=2] [startups=15]
//
// Rounds alternate which side runs first; the ratio is of the sums over all rounds.

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "krv/av/avcodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtConcurrent>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "benchsupport.h"

using namespace BenchSupport;

namespace {

constexpr int Jobs = 2;

// Exactly Jobs transcoders at a time, each worker taking the next command line when its last one ends.
// (A blocking map would add the calling thread to the pool's and run one more.)
bool RunAll(const QString &program, const QList<QStringList> &commandLines)
{
    std::atomic_int next{ 0 };
    std::atomic_bool ok{ true };
    std::vector<std::thread> workers;
    for (int i = 0; i < Jobs; ++i) {
        workers.emplace_back([&]() {
            for (int line = next++; line < commandLines.size(); line = next++) {
                if (!RunProgram(program, commandLines.at(line)))
                    ok = false;
            }
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList cli = app.arguments();
    const int count = cli.size() > 1 ? cli.at(1).toInt() : 4;
    const int seconds = cli.size() > 2 ? cli.at(2).toInt() : 5;
    const int rounds = cli.size() > 3 ? cli.at(3).toInt() : 2;
    const int startups = cli.size() > 4 ? cli.at(4).toInt() : 15;
    if (count < 1 || seconds < 1 || rounds < 1 || startups < 1) {
        std::fprintf(stderr, "usage: bench_cli [sources] [seconds] [rounds] [startups]\n");
        return 2;
    }
    const QString program = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("reelway-cli"));
    QTemporaryDir tmp;
    if (!tmp.isValid() || !QFileInfo(TranscoderPath()).isExecutable() || !QFileInfo(program).isExecutable()) {
        std::fprintf(stderr, "no temporary folder, no transcoder at %s or no %s\n", qPrintable(TranscoderPath()),
                     qPrintable(program));
        return 1;
    }
    QStringList sources;
    for (int i = 0; i < count; ++i)
        sources << tmp.filePath(QStringLiteral("clip%1.avi").arg(i));
    // Qt 5's mapped() needs a functor with result_type; std::function has one, a bare lambda does not.
    const std::function<bool(const QString &)> makeSource = [seconds, &sources](const QString &path) {
        return MakeSource(path, seconds, sources.indexOf(path));
    };
    if (QtConcurrent::blockingMapped<QList<bool>>(sources, makeSource).contains(false)) {
        std::fprintf(stderr, "could not generate the sources\n");
        return 1;
    }
    std::printf("%d sources of %d s at 640x480 to MP4, %d at a time, %d round(s)\n", count, seconds, Jobs, rounds);

    QVector<double> ratios;
    qint64 directTotal = 0;
    qint64 cliTotal = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString directDir = tmp.filePath(QStringLiteral("direct%1").arg(round));
        const QString cliDir = tmp.filePath(QStringLiteral("cli%1").arg(round));
        QDir().mkpath(directDir);
        QDir().mkpath(cliDir);
        ConvertSettings settings;
        QList<QStringList> commandLines;
        for (const QString &src : sources) {
            const QString target = JoinFilePath(directDir, QFileInfo(src).completeBaseName(), settings.tgtFormat);
            commandLines << TranscoderReportOptions() + MakeConvertArguments(src, settings, target, QString());
        }
        const QString transcoder = TranscoderPath();
        bool directOk = false;
        bool cliOk = false;
        qint64 directMs = 0;
        qint64 cliMs = 0;
        const auto runDirect = [&]() {
            QElapsedTimer timer;
            timer.start();
            directOk = RunAll(transcoder, commandLines);
            directMs = timer.elapsed();
        };
        const auto runCli = [&]() {
            QElapsedTimer timer;
            timer.start();
            cliOk = RunProgram(program, QStringList{ "-j", QString::number(Jobs), "-f", "mp4", "-o", cliDir } + sources);
            cliMs = timer.elapsed();
        };
        // Alternate which side goes first, so a warm cache or a neighbour's load does not favour one.
        if (round % 2 == 0) {
            runDirect();
            runCli();
        } else {
            runCli();
            runDirect();
        }
        if (!directOk || !cliOk || CountFiles(directDir) != count || CountFiles(cliDir) != count) {
            std::fprintf(stderr, "round %d: a conversion failed\n", round + 1);
            return 1;
        }
        std::printf("round %d: direct %lld ms, reelway-cli %lld ms, ratio %.3f\n", round + 1, directMs, cliMs,
                    double(cliMs) / double(directMs));
        ratios << double(cliMs) / double(directMs);
        directTotal += directMs;
        cliTotal += cliMs;
        QDir(directDir).removeRecursively();
        QDir(cliDir).removeRecursively();
    }
    std::printf("ratio reelway-cli/direct: %.3f (target <= 1.02); median of the rounds %.3f\n",
                double(cliTotal) / double(directTotal), Median(ratios));

    QVector<double> startMs;
    for (int i = 0; i < startups; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!RunProgram(program, { "--version" })) {
            std::fprintf(stderr, "reelway-cli --version failed\n");
            return 1;
        }
        startMs << timer.nsecsElapsed() / 1e6;
    }
    std::printf("reelway-cli --version, %d runs: median %.1f ms, best %.1f ms\n", startups, Median(startMs),
                *std::min_element(startMs.begin(), startMs.end()));
    return 0;
}
