// Converts one 1920x1080 H.264/AAC MKV to MP4 through the conversion job twice: with the
// streams that fit copied, and with every stream encoded (as --reencode asks), and prints
// both wall times, the speed-up, and the share of the copy's time that reading the written
// file back takes.
//
//   bench_copy [seconds=60]

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "convert/mediaprobe.h"
#include "convert/transcoderprocess.h"
#include "krv/av/avcodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

#include "benchsupport.h"

using namespace BenchSupport;

namespace {

struct Run
{
    double seconds = -1;
    bool copied = false;
};

Run Convert(const QString &source, const QString &folder, bool copyStreams)
{
    ConvertSettings settings;
    settings.tgtFolder = folder;
    settings.tgtID = KRVAVCodecID_MP4;
    settings.tgtFormat = QStringLiteral(".mp4");
    settings.copyStreams = copyStreams;
    AVConvertData job;
    job.srcFile = source;
    job.settings = &settings;
    job.batch = std::make_shared<ConvertBatch>(QStringList{ source });
    QElapsedTimer timer;
    timer.start();
    const ItemConvertResult result = ThreadFunction(job);
    Run run;
    if (result.result == OutcomeSucceeded)
        run.seconds = timer.elapsed() / 1000.0;
    run.copied = result.copied;
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? args.at(1).toInt() : 60;
    QTemporaryDir dir;
    const QString source = dir.filePath("source.mkv");
    std::printf("making a %d s 1920x1080 H.264/AAC MKV...\n", seconds);
    std::fflush(stdout);
    const QString video = QStringLiteral("testsrc2=duration=%1:size=1920x1080:rate=30").arg(seconds);
    const QString audio = QStringLiteral("sine=duration=%1").arg(seconds);
    if (!RunProgram(TranscoderPath(), { "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i", video, "-f", "lavfi",
                                        "-i", audio, "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p",
                                        "-c:a", "aac", source })) {
        std::fprintf(stderr, "cannot make the source\n");
        return 1;
    }
    QDir(dir.path()).mkpath("copy");
    QDir(dir.path()).mkpath("encode");
    const Run copy = Convert(source, dir.filePath("copy"), true);
    const Run encode = Convert(source, dir.filePath("encode"), false);
    if (copy.seconds < 0 || encode.seconds < 0 || !copy.copied) {
        std::fprintf(stderr, "a conversion failed or was not copied\n");
        return 1;
    }
    // The read-back is one probe of the written file; timed alone, over a few runs.
    QVector<double> probes;
    for (int i = 0; i < 5; ++i) {
        MediaInfo info;
        QString error;
        QElapsedTimer timer;
        timer.start();
        ProbeMedia(dir.filePath("copy/source.mp4"), info, error);
        probes << timer.elapsed() / 1000.0;
    }
    const double probe = Median(probes);
    std::printf("copy:     %7.2f s\n", copy.seconds);
    std::printf("re-encode %7.2f s\n", encode.seconds);
    std::printf("speed-up  %7.1f x\n", encode.seconds / copy.seconds);
    std::printf("read-back %7.3f s (median of 5), %.1f %% of the copy's time\n", probe, 100 * probe / copy.seconds);
    return 0;
}
