#include "convert/transcoderoutput.h"

#include <QtTest>

// Recorded from FFmpeg 5.1 run with "-nostats -progress pipe:1 -loglevel level+info".
namespace {

const QByteArray OddHeader =
    "[info] ffmpeg version 5.1.9-0+deb12u1 Copyright (c) 2000-2026 the FFmpeg developers\n"
    "[info]   WARNING: library configuration mismatch\n"
    "[info] Input #0, avi, from '/home/u/Видео/odd é.avi':\n"
    "[info]   Metadata:\n"
    "[info]     software        : Lavf59.27.100\n"
    "[info]   Duration: 00:01:01.04, start: 0.000000, bitrate: 679 kb/s\n"
    "[info]   Stream #0:0: Video: mpeg4 (Simple Profile) (FMP4 / 0x34504D46), yuv420p, 321x241 [SAR 1:1 DAR 321:241], "
    "25 fps, 25 tbr, 25 tbn\n"
    "[info]   Stream #0:1: Audio: mp3 (U[0][0][0] / 0x0055), 44100 Hz, mono, fltp, 64 kb/s\n"
    "[info] Input #1, png_pipe, from '/tmp/reelway-job-x/watermarktext.png':\n"
    "[info]   Duration: 00:00:00.04, start: 0.000000, bitrate: N/A\n"
    "[info]   Stream #1:0: Video: png, rgba(pc), 64x20, 25 tbr, 25 tbn\n"
    "[info] Stream mapping:\n";

const QByteArray OddFailure = "[info] Press [q] to stop, [?] for help\n"
                              "[libx264 @ 0x55c93609ffc0] [error] width not divisible by 2 (321x241)\n"
                              "[error] Error initializing output stream 0:0 -- Error while opening encoder for "
                              "output stream #0:0 - maybe incorrect parameters such as bit_rate, rate, width or height\n"
                              "[aac @ 0x55c9360a2140] [warning] 2 frames left in the queue on closing\n"
                              "[info] Conversion failed!\n";

const QByteArray Progress = "frame=1\nout_time_us=69660\nout_time_ms=69660\nout_time=00:00:00.069660\nprogress=continue\n"
                            "frame=26\ntotal_size=20449\nout_time_us=30544898\nout_time_ms=30544898\nprogress=continue\n";

} // namespace

class TestTranscoderOutput : public QObject
{
    Q_OBJECT

private slots:
    void readsWhatTheTranscoderSays_data()
    {
        QTest::addColumn<QByteArray>("errors");
        QTest::addColumn<QByteArray>("progress");
        QTest::addColumn<qint64>("durationMs");
        QTest::addColumn<qint64>("doneMs");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QString>("reason");

        QTest::newRow("odd frame refused by the encoder, non-Latin path")
            << OddHeader + OddFailure << QByteArray() << qint64(61040) << qint64(0) << QSize(321, 241)
            << "width not divisible by 2 (321x241)";
        QTest::newRow("failure in the middle of the file")
            << OddHeader + "[error] Error writing trailer of /media/full/.reelway-1-x.mkv: No space left on device\n"
                           "[info] Conversion failed!\n"
            << Progress << qint64(61040) << qint64(30544) << QSize(321, 241)
            << "Error writing trailer of /media/full/.reelway-1-x.mkv: No space left on device";
        QTest::newRow("stream without duration")
            << QByteArray("[info] Input #0, h264, from 'raw.h264':\n[info]   Duration: N/A, bitrate: N/A\n"
                          "[info]   Stream #0:0: Video: h264 (High 4:4:4 Predictive), yuv444p(progressive), 160x120 "
                          "[SAR 1:1 DAR 4:3], 25 fps, 25 tbr, 1200k tbn\n")
            << Progress.left(Progress.indexOf("frame=26")) << qint64(-1) << qint64(69) << QSize(160, 120) << "";
        QTest::newRow("missing source")
            << QByteArray("[info] ffmpeg version 5.1\n[error] nope \xc3\xa9.avi: No such file or directory\n")
            << QByteArray() << qint64(-1) << qint64(0) << QSize() << QString::fromUtf8("nope é.avi: No such file or directory");
        QTest::newRow("unreadable source: the component's message")
            << QByteArray("[matroska,webm @ 0x55] [warning] Format matroska,webm detected only with low score of 1\n"
                          "[error] Truncating packet of size 463302 to 99996\n"
                          "[matroska,webm @ 0x55] [error] EBML header parsing failed\n"
                          "[error] /v/garbage.mkv: Invalid data found when processing input\n")
            << QByteArray() << qint64(-1) << qint64(0) << QSize() << "EBML header parsing failed";
        QTest::newRow("no error level: the last line but the summary")
            << QByteArray("[info] Input #0, avi\n[aac @ 0x1] [warning] Too many bits\n[info] Conversion failed!\n")
            << QByteArray() << qint64(-1) << qint64(0) << QSize() << "Too many bits";
    }

    // Output arrives in pieces of any size; the answer may not depend on where they split.
    void readsWhatTheTranscoderSays()
    {
        QFETCH(QByteArray, errors);
        QFETCH(QByteArray, progress);
        for (int piece : { 1, 7, 4096 }) {
            TranscoderOutput output;
            for (int i = 0; i < qMax(errors.size(), progress.size()); i += piece) {
                output.AddErrors(errors.mid(i, piece));
                output.AddProgress(progress.mid(i, piece));
            }
            QTEST(output.DurationMs(), "durationMs");
            QTEST(output.DoneMs(), "doneMs");
            QTEST(output.FrameSize(), "frame");
            QFETCH(QString, reason);
            if (!reason.isEmpty()) // a run that did not fail has nothing to explain
                QCOMPARE(output.FailureReason(), reason);
        }
    }

    // A chatty run keeps its head (the header) and its end (the error), never more.
    void keepsBoundedErrorOutput()
    {
        TranscoderOutput output;
        output.AddErrors(OddHeader);
        for (int i = 0; i < 10000; ++i)
            output.AddErrors("[mp3float @ 0x1] [warning] Header missing\n");
        output.AddErrors(OddFailure);
        QVERIFY(output.KeptErrors().size() <= TranscoderOutput::KeptErrorBytes + 100);
        QVERIFY(output.KeptErrors().contains("bytes left out"));
        QCOMPARE(output.DurationMs(), qint64(61040));
        QCOMPARE(output.FailureReason(), QStringLiteral("width not divisible by 2 (321x241)"));
    }

    void formatsTimeLeft_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("seconds") << qint64(7) << "0:07";
        QTest::newRow("minutes") << qint64(72) << "1:12";
        QTest::newRow("hours") << qint64(3723) << "1:02:03";
    }
    void formatsTimeLeft()
    {
        QFETCH(qint64, seconds);
        QTEST(FormatTimeLeft(seconds), "text");
    }
};

QTEST_GUILESS_MAIN(TestTranscoderOutput)
#include "test_transcoderoutput.moc"
