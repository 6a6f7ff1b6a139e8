// Converts generated 640x480 clips to MP4 through the main window's "Convert
// Source(s)" (progress dialog, parallel map, result rows, target list) and
// prints the wall time of the batch; bench_engine runs the same work without
// the window. It also prints the GUI thread's longest stall during the batch, as
// the largest gap between the ticks of a 5 ms timer.
//
//   build/bin/bench_window_batch [sources=8] [seconds=5]

#include "app/mainwindow.h"
#include "benchsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    // As the program does: its diagnostic lines go nowhere.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // A batch that ends unwatched would notify the desktop of whoever runs the benchmark.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    QSettings(QStringLiteral("Korvent"), QStringLiteral("Reelway")).setValue(QStringLiteral("Settings/ReportCResults"), false);

    const int count = argc > 1 ? QString(argv[1]).toInt() : 8;
    const double seconds = argc > 2 ? QString(argv[2]).toDouble() : 5;
    QTemporaryDir work;
    QStringList sources;
    // One clip, copied: the batch's work is the same and the set-up stays short.
    const QString first = work.filePath(QStringLiteral("source0.avi"));
    if (!BenchSupport::MakeSource(first, seconds, 0)) {
        std::fprintf(stderr, "could not generate %s\n", qPrintable(first));
        return 1;
    }
    sources << first;
    for (int i = 1; i < count; ++i) {
        sources << work.filePath(QStringLiteral("source%1.avi").arg(i));
        QFile::copy(first, sources.last());
    }
    QDir(work.path()).mkpath(QStringLiteral("out"));

    MainWindow window;
    window.AddSrcPaths(sources, true);
    window.tgtFolderCmB->setEditText(work.filePath(QStringLiteral("out")));
    window.tgtFmtCmB->setCurrentIndex(window.tgtFmtCmB->findText(QStringLiteral("MP4 (.mp4)")));

    QElapsedTimer timer;
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    qint64 stallEndedAt = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&]() {
        const qint64 gap = sinceTick.restart();
        if (gap > longestStall) {
            longestStall = gap;
            stallEndedAt = timer.elapsed();
        }
    });

    timer.start();
    sinceTick.start();
    ticker.start();
    window.Convert();
    ticker.stop();
    const qint64 ms = timer.elapsed();

    int succeeded = 0;
    for (int row = 0; row < window.srcModel.rowCount(); ++row)
        succeeded += window.srcModel.item(row, 4)->text() == QLatin1String("Succeeded");
    std::printf("window batch: %d sources of %g s at 640x480 to MP4: %lld ms wall, %d succeeded, %d target rows\n",
                count, seconds, qlonglong(ms), succeeded, window.tgtModel.rowCount());
    std::printf("GUI thread's longest stall during the batch: %lld ms, ending %lld ms into it (target < 50 ms)\n",
                qlonglong(longestStall), qlonglong(stallEndedAt));
    return succeeded == count ? 0 : 1;
}
