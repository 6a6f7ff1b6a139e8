#include "testsupport.h"

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"

#include <QtConcurrent>

#include <atomic>

namespace {

// The first stream of a kind, decoded and hashed: equal only when no encoder came between,
// whatever container holds the packets.
QByteArray DecodedHash(const QString &path, const char *kind)
{
    QProcess p;
    p.start(TestSupport::AppDir() + "/multimedia/ffmpeg/ffmpeg",
            { "-v", "error", "-nostdin", "-i", path, "-map", QStringLiteral("0:%1:0").arg(kind), "-f", "streamhash",
              "-hash", "md5", "-" });
    return p.waitForFinished(60000) && p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray("<no stream>");
}

} // namespace

class TestCopy : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;

private slots:
    // Through the real engine: `copied` lists the kinds of stream that reach the target as
    // they are; `expected` what the prober must find in it, or "!" and the reason it failed.
    void copiesWhatFits_data()
    {
        QTest::addColumn<QString>("make"); QTest::addColumn<QString>("srcExt"); QTest::addColumn<int>("id"); QTest::addColumn<QString>("ext"); QTest::addColumn<QString>("change"); QTest::addColumn<QString>("copied"); QTest::addColumn<QString>("expected");
        const QString clip = "-f lavfi -i testsrc2=d=1:s=320x240 -f lavfi -i sine=d=1 -pix_fmt yuv420p -c:v libx264 -preset ultrafast";
        QTest::newRow("H.264/AAC MKV to MP4") << clip + " -c:a aac" << "mkv" << 61 << ".mp4" << "" << "va" << "codec_name=aac";
        QTest::newRow("H.264 and FLAC to MP4: the sound encoded") << clip + " -c:a flac" << "mkv" << 61 << ".mp4" << "" << "v" << "codec_name=aac";
        QTest::newRow("broadcast TS to MP4") << clip + " -c:a aac" << "ts" << 61 << ".mp4" << "" << "va" << "start_time=0.000000";
        QTest::newRow("MPEG-2 and AC-3 of a disc to MP4 are encoded") << "-f lavfi -i testsrc2=d=1:s=320x240 -f lavfi -i sine=d=1 -c:v mpeg2video -c:a ac3" << "vob" << 61 << ".mp4" << "" << "" << "codec_name=h264|codec_name=aac";
        QTest::newRow("HEVC to MOV, tagged for Apple's players") << "-f lavfi -i testsrc2=d=1:s=320x240 -f lavfi -i sine=d=1 -pix_fmt yuv420p -c:v libx265 -preset ultrafast -x265-params log-level=error -c:a aac" << "mkv" << 58 << ".mov" << "" << "va" << "codec_tag_string=hvc1";
        QTest::newRow("effects on: encoded") << clip + " -c:a aac" << "mkv" << 61 << ".mp4" << "rotate" << "" << "width=240";
        QTest::newRow("option off: encoded") << clip + " -c:a aac" << "mkv" << 61 << ".mp4" << "option off" << "" << "codec_name=h264";
        QTest::newRow("within the iPhone's limits") << clip + " -c:a aac" << "mp4" << 0 << ".mp4" << "" << "va" << "profile=Constrained Baseline";
        QTest::newRow("beyond the iPhone's limits: fitted, the sound copied") << "-f lavfi -i testsrc2=d=1:s=640x480:r=60 -f lavfi -i sine=d=1 -pix_fmt yuv420p -c:v libx264 -preset ultrafast -profile:v high -c:a aac" << "mkv" << 0 << ".mp4" << "" << "a" << "profile=Constrained Baseline|level=30|r_frame_rate=30/1";
        QTest::newRow("H.264 to WebM: encoded") << clip + " -c:a aac" << "mkv" << 68 << ".webm" << "" << "" << "codec_name=vp9|codec_name=opus";
        QTest::newRow("copy refused: encoded instead") << clip + " -c:a aac" << "mkv" << 61 << ".mp4" << "refuse copy" << "" << "codec_name=h264";
        QTest::newRow("copy and encode refused: the encode's reason") << clip + " -c:a aac" << "mkv" << 61 << ".mp4" << "refuse all" << "" << "!encode refused";
    }

    void copiesWhatFits()
    {
        QFETCH(QString, make); QFETCH(QString, srcExt); QFETCH(int, id); QFETCH(QString, ext); QFETCH(QString, change); QFETCH(QString, copied); QFETCH(QString, expected);
        const QDir dir(fixture.path(QString(QTest::currentDataTag()).replace(' ', '-')));
        QVERIFY(dir.mkpath("."));
        const QString src = dir.filePath("src." + srcExt);
        QVERIFY(TestSupport::RunFfmpeg(make.split(' ') + QStringList{ src }));
        ConvertSettings s = TestSupport::TargetSettings(dir.path(), KRVAVCodecID(id), ext);
        s.copyStreams = change != "option off";
        s.transform = s.rotate = change == "rotate";
        QString transcoder = TranscoderPath();
        if (change.startsWith("refuse")) {
            transcoder = dir.filePath("ffmpeg");
            const QByteArray encode = change == "refuse all" ? "echo '[x @ 0x1] [error] encode refused' >&2; exit 1"
                                                             : "exec '" + QFile::encodeName(TranscoderPath()) + "' \"$@\"";
            QVERIFY(TestSupport::WriteBytes(transcoder, "#!/bin/sh\ncase \" $* \" in *' copy '*) echo '[x @ 0x1] [error] copy refused' >&2; exit 1;; esac\n" + encode + "\n"));
            QVERIFY(QFile::setPermissions(transcoder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        AVConvertData job;
        job.srcFile = src, job.settings = &s, job.srcRow = 3;
        job.batch = std::make_shared<ConvertBatch>(QStringList{ src });
        std::atomic_int copying{ 0 };
        job.batch->copying = [&copying](int row, bool on) { copying = row == 3 ? int(on) : 100; };

        const ItemConvertResult r = QtConcurrent::run(RunConvertJob, job, transcoder).result();
        if (expected.startsWith('!')) {
            QCOMPARE(r.result, int(OutcomeFailed));
            QVERIFY2(r.reason.contains(expected.mid(1)), qPrintable(r.reason));
            return;
        }
        QCOMPARE(r.result, int(OutcomeSucceeded));
        QCOMPARE(r.copied, copied == "va");
        QCOMPARE(copying.load(), int(r.copied)); // taken back when the copy failed
        const QString out = r.tgtFiles.value(0);
        for (const char *kind : { "v", "a" })
            QVERIFY2((DecodedHash(src, kind) == DecodedHash(out, kind)) == copied.contains(kind), kind);
        const QString report = TestSupport::Probe(out, { "-show_streams", "-show_format" });
        for (const QString &line : expected.split('|'))
            QVERIFY2(report.contains(QRegularExpression("(^|\\n)" + QRegularExpression::escape(line) + "\\n")), qPrintable(line + '\n' + report));
    }
};

QTEST_MAIN(TestCopy)
#include "test_copy.moc"
