#include "player/avplayerdlg.h"
#include "player/mpvplayer.h"
#include "convert/streamprobe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kRuns = 5;

class BenchDlg : public AVPlayerDlg
{
public:
    using AVPlayerDlg::AVPlayerDlg;
    using AVPlayerDlg::player;
};

bool MakeClip(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("multimedia/ffmpeg/ffmpeg"),
                 { "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i", "testsrc=duration=10:size=1280x720:rate=25",
                   "-f", "lavfi", "-i", "sine=frequency=440:duration=10", "-c:v", "libx264", "-preset", "veryfast",
                   "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", path });
    return ffmpeg.waitForFinished(300000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

double Median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Milliseconds from the dialog's construction to the player's first started(),
// or -1 when it did not start; `constructed` is the share spent in the constructor
// and `video` tells whether frames went to the GL surface.
double TimeToStarted(const QString &clip, double &constructed, bool &video)
{
    QElapsedTimer timer;
    timer.start();
    BenchDlg dlg(clip, nullptr);
    constructed = timer.nsecsElapsed() / 1e6;
    dlg.show();
    QEventLoop loop;
    bool started = false;
    QObject::connect(dlg.player.data(), &MpvPlayer::started, &loop, [&] {
        started = true;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const double ms = timer.nsecsElapsed() / 1e6;
    video = dlg.player->rendersVideo();
    return started ? ms : -1.0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir tmp;
    const QString clip = tmp.filePath("clip-1280x720.mp4");
    if (!tmp.isValid() || !MakeClip(clip)) {
        out << "could not generate the clip\n";
        return 1;
    }

    bool video = false;
    double constructed = 0.0;
    const double cold = TimeToStarted(clip, constructed, video);
    QVector<double> totals;
    QVector<double> constructors;
    QVector<double> probes;
    for (int i = 0; i < kRuns; ++i) {
        totals << TimeToStarted(clip, constructed, video);
        constructors << constructed;
        QElapsedTimer timer;
        timer.start();
        QString resolution;
        GetResolution(clip, resolution);
        probes << timer.nsecsElapsed() / 1e6;
    }

    const double total = Median(totals);
    const double probe = Median(probes);
    out << "platform: " << QGuiApplication::platformName() << ", video through GL: " << (video ? "yes" : "no") << '\n';
    out << "clip: 10 s, 1280x720 H.264 + AAC\n";
    out << QString::asprintf("first Play -> started():        %7.1f ms\n", cold);
    out << QString::asprintf("Play -> started(), median of %d: %7.1f ms\n", kRuns, total);
    out << QString::asprintf("  of which the constructor:      %7.1f ms\n", Median(constructors));
    out << QString::asprintf("two probe runs, median of %d:    %7.1f ms (%.0f %% of Play -> started())\n", kRuns, probe,
                             total > 0 ? 100.0 * probe / total : 0.0);
    return 0;
}
