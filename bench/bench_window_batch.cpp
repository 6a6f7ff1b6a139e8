// Converts generated 640x480 clips to MP4 through the main window's "Convert
// Source(s)" (progress dialog, parallel map, result rows, target list) and
// prints the wall time of the batch; bench_engine runs the same work without
// the window.
//
//   build/bin/bench_window_batch [sources=8] [seconds=5]

#include "app/mainwindow.h"
#include "convert/avconvertthread.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    QSettings(QStringLiteral("Korvent"), QStringLiteral("Reelway")).setValue(QStringLiteral("Settings/ReportCResults"), false);

    const int count = argc > 1 ? QString(argv[1]).toInt() : 8;
    const int seconds = argc > 2 ? QString(argv[2]).toInt() : 5;
    QTemporaryDir work;
    QStringList sources;
    for (int i = 0; i < count; ++i) {
        const QString path = work.filePath(QStringLiteral("source%1.avi").arg(i));
        QProcess make;
        make.start(TranscoderPath(),
                   { "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                     QStringLiteral("testsrc2=duration=%1:size=640x480:rate=25").arg(seconds), "-f", "lavfi", "-i",
                     QStringLiteral("sine=frequency=%1:duration=%2").arg(220 + 55 * i).arg(seconds), "-c:v", "mpeg4",
                     "-q:v", "4", "-c:a", "mp3", path });
        if (!make.waitForFinished(-1) || make.exitCode() != 0) {
            std::fprintf(stderr, "could not generate %s\n", qPrintable(path));
            return 1;
        }
        sources << path;
    }
    QDir(work.path()).mkpath(QStringLiteral("out"));

    MainWindow window;
    window.AddSrcPaths(sources, true);
    window.tgtFolderCmB->setEditText(work.filePath(QStringLiteral("out")));
    window.tgtFmtCmB->setCurrentIndex(window.tgtFmtCmB->findText(QStringLiteral("MP4 (.mp4)")));

    QElapsedTimer timer;
    timer.start();
    window.Convert();
    const qint64 ms = timer.elapsed();

    int succeeded = 0;
    for (int row = 0; row < window.srcModel.rowCount(); ++row)
        succeeded += window.srcModel.item(row, 4)->text() == QLatin1String("Succeeded");
    std::printf("window batch: %d sources of %d s at 640x480 to MP4: %lld ms wall, %d succeeded, %d target rows\n",
                count, seconds, qlonglong(ms), succeeded, window.tgtModel.rowCount());
    return succeeded == count ? 0 : 1;
}
