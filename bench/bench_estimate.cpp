// Runs one batch through the batch runner, as the window does, and samples its bar and its
// time left every second; at the end it prints them against the time that was really left.
// The batch holds clips of unlike lengths and two files that are not media, one first and
// one in the middle, so that quick failures and waiting jobs of unknown length both show.
//
//   bench_estimate [clips=5] [seconds=30] [threads=2]
//
// It prints the largest fall of the bar, and once a fifth of the work is done the largest
// change of the estimate between two samples (while it still says 10 s or more) and its
// largest error against the real time left (while 10 s or more are left).

#include "convert/batchrunner.h"
#include "convert/convertsettings.h"
#include "convert/jobjournal.h"
#include "krv/av/avcodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtConcurrent>

#include <cmath>
#include <cstdio>
#include <functional>

#include "benchsupport.h"

using namespace BenchSupport;

namespace {

struct Sample
{
    qint64 ms = 0;
    double fraction = 0;
    qint64 secondsLeft = -1;
};

} // namespace

int main(int argc, char *argv[])
{
    DropDebugMessages();
    QCoreApplication app(argc, argv);
    const QStringList cli = app.arguments();
    const int clips = cli.size() > 1 ? cli.at(1).toInt() : 5;
    const double seconds = cli.size() > 2 ? cli.at(2).toDouble() : 30;
    const int threads = cli.size() > 3 ? cli.at(3).toInt() : 2;
    QTemporaryDir tmp;
    if (clips < 1 || seconds < 1 || threads < 1 || !tmp.isValid()) {
        std::fprintf(stderr, "usage: bench_estimate [clips] [seconds] [threads]\n");
        return 2;
    }

    // Lengths of 1, 0.5, 1.5, 0.75 and 1.25 times `seconds`, in turn.
    static const double scales[] = { 1, 0.5, 1.5, 0.75, 1.25 };
    QStringList sources;
    QStringList garbage;
    QStringList clipPaths;
    for (int i = 0; i < clips; ++i) {
        if (i == 0 || i == clips / 2 + 1) {
            garbage << tmp.filePath(QStringLiteral("not-media%1.avi").arg(garbage.size()));
            sources << garbage.last();
        }
        clipPaths << tmp.filePath(QStringLiteral("clip%1.avi").arg(i));
        sources << clipPaths.last();
    }
    for (const QString &path : garbage) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(64 * 1024, '\x5a')) < 0)
            return 1;
    }
    const std::function<bool(const QString &)> make = [&clipPaths, seconds](const QString &path) {
        const int index = clipPaths.indexOf(path);
        return MakeSource(path, seconds * scales[index % 5], index);
    };
    if (QtConcurrent::blockingMapped<QList<bool>>(clipPaths, make).contains(false)) {
        std::fprintf(stderr, "could not generate the sources\n");
        return 1;
    }

    ConvertSettings settings;
    settings.tgtFolder = tmp.filePath(QStringLiteral("out"));
    settings.tgtID = KRVAVCodecID_MP4;
    settings.tgtFormat = QStringLiteral(".mp4");
    // Copies would end in a blink and tell nothing of an estimate.
    settings.copyStreams = false;
    QDir().mkpath(settings.tgtFolder);

    BatchRunner runner(sources, {}, settings);
    QVector<Sample> samples;
    QTimer sampler;
    QElapsedTimer clock;
    QObject::connect(&sampler, &QTimer::timeout, [&]() {
        const BatchProgress progress = runner.Progress();
        samples.append({ clock.elapsed(), progress.Fraction(), progress.SecondsLeft() });
    });
    QObject::connect(&runner, &BatchRunner::finished, &app, &QCoreApplication::quit);
    clock.start();
    runner.Start(threads);
    sampler.start(1000);
    app.exec();
    const qint64 wallMs = clock.elapsed();

    std::printf("%d clips of %.0f s x {1, 0.5, 1.5, 0.75, 1.25} and %d files that are not media to MP4, %d at "
                "once: %lld ms, %d succeeded, %d failed\n",
                clips, seconds, int(garbage.size()), threads, wallMs, runner.Counts()[CountSucceeded],
                runner.Counts()[CountFailed]);
    std::printf("%6s %6s %9s %9s\n", "time", "bar", "estimate", "real");
    double largestFall = 0;
    double largestSwing = 0;
    double largestError = 0;
    for (int i = 0; i < samples.size(); ++i) {
        const Sample &s = samples.at(i);
        const double realLeft = (wallMs - s.ms) / 1000.0;
        std::printf("%5.0fs %5.1f%% %8llds %8.0fs\n", s.ms / 1000.0, 100 * s.fraction, s.secondsLeft, realLeft);
        if (i > 0)
            largestFall = qMax(largestFall, samples.at(i - 1).fraction - s.fraction);
        if (s.fraction < 0.2 || s.secondsLeft < 0)
            continue;
        const qint64 before = i > 0 ? samples.at(i - 1).secondsLeft : -1;
        if (before >= 10)
            largestSwing = qMax(largestSwing, std::abs(double(s.secondsLeft - before)) / before);
        if (realLeft >= 10)
            largestError = qMax(largestError, std::abs(s.secondsLeft - realLeft) / realLeft);
    }
    std::printf("largest fall of the bar: %.1f points\n", 100 * largestFall);
    std::printf("after a fifth of the work: largest change between samples %.0f %% (target <= about 50 %%), "
                "largest error against the real time left %.0f %%\n",
                100 * largestSwing, 100 * largestError);
    JobJournal::Close();
    return 0;
}
