#include "testsupport.h"

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "convert/filepath.h"
#include "convert/jobjournal.h"
#include "convert/sourcefolder.h"
#include "krv/av/avcodec.h"
#include "krv/av/writabletargets.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QtConcurrent>

#include <csignal>
#include <memory>
#include <sys/mount.h>
#include <unistd.h>

namespace {

AVConvertData Job(const QString &src, const ConvertSettings *settings, const QStringList &listed = {})
{
    AVConvertData job;
    job.srcFile = src;
    job.settings = settings;
    job.batch = std::make_shared<ConvertBatch>(listed.isEmpty() ? QStringList{ src } : listed);
    return job;
}

QByteArray Contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// The hidden files a job writes before its output has a real name.
QStringList Temporaries(const QString &folder)
{
    return QDir(folder).entryList({ QStringLiteral(".reelway-*") }, QDir::Files | QDir::Hidden);
}

// Every entry under folder (links by their target, files by their bytes), so that any
// write, replacement or removal shows.
QMap<QString, QByteArray> Snapshot(const QString &folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries[info.filePath()] = info.isSymLink() ? info.symLinkTarget().toUtf8()
                                   : !info.isFile() ? QByteArray("<not a file>") // a pipe would block a read
                                                    : QCryptographicHash::hash(Contents(info.filePath()),
                                                                               QCryptographicHash::Sha1);
    }
    return entries;
}

// A stand-in transcoder; "$tgt" is its last argument.
bool WriteScript(const QString &path, const QByteArray &body, bool executable = true)
{
    return TestSupport::WriteBytes(path, "#!/bin/sh\nfor a in \"$@\"; do tgt=\"$a\"; done\n" + body)
           && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner
                                              | (executable ? QFile::ExeOwner : QFile::Permissions()));
}

} // namespace

class TestConvertJob : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    QString jobTempRoot = NewDir("jobtmp");
    QString clip;
    const QString converter = TestSupport::AppDir() + "/reelway-cli";

    QString NewDir(const QString &name) const
    {
        QDir().mkpath(fixture.path(name));
        return fixture.path(name);
    }

private slots:
    void initTestCase()
    {
        // Jobs make their temporary folders here, so a leftover is visible to cleanup();
        // the media cache is made before.
        QVERIFY(!TestSupport::Clip().isEmpty());
        qputenv("TMPDIR", QFile::encodeName(jobTempRoot));
        const QDir src(NewDir("src"));
        clip = src.filePath("clip.mkv");
        QVERIFY(QFile::copy(TestSupport::Clip(), clip));
        QImage logo(40, 20, QImage::Format_ARGB32);
        logo.fill(QColor(255, 0, 0, 128));
        QVERIFY(logo.save(src.filePath("logo.png")));
        QVERIFY(TestSupport::RunFfmpeg({ "-i", clip, "-c:v", "mpeg2video", "-c:a", "mp2", src.filePath("disc.vob") }));
        QVERIFY(TestSupport::MakeStalledSource(src.filePath("stalled.mkv")));
        QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=duration=0.5:size=321x241", "-c:v", "mpeg4", src.filePath("odd.avi") }));
        QThreadPool::globalInstance()->setMaxThreadCount(qMax(2, QThreadPool::globalInstance()->maxThreadCount()));
    }

    void cleanup() { QVERIFY2(QDir(jobTempRoot).isEmpty(), "a job left its temporary folder behind"); }

    void allTargets_data()
    {
        QTest::addColumn<int>("id"); QTest::addColumn<QString>("ext");
        for (const TargetFormat &item : WritableTargets())
            QTest::newRow(qPrintable(KRVAVCodec(item.id).GetName() + item.extension)) << int(item.id) << item.extension;
    }

    void allTargets()
    {
        QFETCH(int, id); QFETCH(QString, ext);
        // Every item converts (and its target is probed) at once on the pool the batch uses;
        // the rows then only read the outcomes.
        static QHash<QString, QPair<ItemConvertResult, QString>> results;
        static QVector<ConvertSettings> settings;
        if (results.isEmpty()) {
            const auto items = WritableTargets();
            QCOMPARE(items.size(), 62);
            for (const auto &item : items)
                settings.append(TestSupport::TargetSettings(NewDir("all/" + QString::number(item.id) + item.extension), item.id, item.extension));
            QVector<AVConvertData> jobs;
            for (const ConvertSettings &s : qAsConst(settings))
                jobs.append(Job(clip, &s));
            const std::function<QPair<ItemConvertResult, QString>(const AVConvertData &)> run = [](const AVConvertData &job) {
                const ItemConvertResult r = ThreadFunction(job);
                return qMakePair(r, r.tgtFiles.isEmpty() ? QString() : TestSupport::Probe(r.tgtFiles.first()));
            };
            const auto done = QtConcurrent::blockingMapped<QList<QPair<ItemConvertResult, QString>>>(jobs, run);
            for (int i = 0; i < done.size(); ++i)
                results.insert(KRVAVCodec(items.at(i).id).GetName() + items.at(i).extension, done.at(i));
        }

        const auto [result, streams] = results.value(QTest::currentDataTag());
        QCOMPARE(result.result, int(OutcomeSucceeded));
        const QString target = result.tgtFiles.value(0);
        QCOMPARE(result.tgtFiles, QStringList{ QFileInfo(target).dir().filePath("clip" + ext) });
        QVERIFY(QFileInfo(target).size() > 0);
        if (id == KRVAVCodecID_A64)
            return; // FFmpeg can write A64 but has no reader for it.
        // FFmpeg's ".mka" muxer takes audio only, whatever the catalogue says of Matroska.
        const bool video = IsVideoFormat(KRVAVCodecID(id), ext) && ext != QLatin1String(".mka");
        QVERIFY2(streams.contains(video ? "codec_type=video" : "codec_type=audio"), qPrintable(target + '\n' + streams));
    }

    // Sources people have, through the real engine, judged by what the prober finds in the output.
    void fitsTarget_data()
    {
        QTest::addColumn<QString>("make"); QTest::addColumn<int>("id"); QTest::addColumn<QString>("ext"); QTest::addColumn<QString>("expected");
        const QString deep = "-f lavfi -i testsrc=d=0.4:s=200x150:r=60 -f lavfi -i sine=d=0.4 -pix_fmt yuv444p10le -c:v libx264 -shortest";
        QTest::newRow("10-bit 4:4:4 to mp4") << deep << 61 << ".mp4" << "codec_type=video|codec_name=h264|profile=High|pix_fmt=yuv420p|codec_type=audio";
        QTest::newRow("10-bit 4:4:4 60 fps to PSP") << deep << 21 << ".mp4" << "profile=Main|width=200|pix_fmt=yuv420p|level=21|r_frame_rate=30/1";
        QTest::newRow("silent clip to m4a") << "-f lavfi -i testsrc=d=0.4:s=160x120" << 58 << ".m4a" << "!The source has no sound.";
        QTest::newRow("mp3 with cover to m4a") << "-f lavfi -i sine=d=0.4 -f lavfi -i color=s=64x64:d=0.1 -map 0 -map 1 -frames:v 1 -c:v png -disposition:v attached_pic -id3v2_version 3" << 58 << ".m4a" << "codec_type=audio|codec_name=png|attached_pic=1";
        QTest::newRow("5.1 at 96 kHz to wma") << "-f lavfi -i sine=d=0.4:r=96000 -af pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" << 69 << ".wma" << "codec_name=wmav2|sample_rate=48000|channels=2";
        QTest::newRow("phone clip turned a quarter to PSP") << "-f lavfi -i testsrc=d=0.4:s=640x360:r=5 -c:v copy -metadata:s:v rotate=90" << 21 << ".mp4" << "width=270|height=480";
        QTest::newRow("interlaced to mp4") << "-f lavfi -i testsrc=d=0.4:s=160x120 -vf setfield=tff,interlace -c:v libx264 -flags +ildct+ilme" << 61 << ".mp4" << "field_order=progressive";
        QTest::newRow("two languages and srt to mp4") << "-f lavfi -i testsrc=d=0.4:s=160x120 -f lavfi -i sine=d=0.4 -f lavfi -i sine=d=0.4:f=880 -i <srt> -map 0 -map 1 -map 2 -map 3 -metadata:s:a:0 language=eng -metadata:s:a:1 language=deu -c:s srt" << 61 << ".mp4" << "language=eng|language=deu|codec_name=mov_text";
    }

    void fitsTarget()
    {
        QFETCH(QString, make); QFETCH(int, id); QFETCH(QString, ext); QFETCH(QString, expected);
        const QString dir = NewDir(QStringLiteral("fits/") + QString(QTest::currentDataTag()).replace(' ', '-'));
        const QString srt = QDir(dir).filePath("subs.srt");
        QVERIFY(TestSupport::WriteBytes(srt, "1\n00:00:00,000 --> 00:00:00,300\nHello\n"));
        const QString src = QDir(dir).filePath(ext == ".wma" ? "src.wav" : make.contains("rotate") ? "src.mov" : make.contains("sine") && !make.contains("testsrc") ? "src.mp3" : "src.mkv");
        QVERIFY(TestSupport::RunFfmpeg(make.replace("<srt>", srt).split(' ') + QStringList{ src }));
        const ConvertSettings s = TestSupport::TargetSettings(dir, KRVAVCodecID(id), ext);
        const ItemConvertResult r = QtConcurrent::run(ThreadFunction, Job(src, &s)).result();
        if (expected.startsWith('!')) {
            QCOMPARE(r.result, int(OutcomeFailed));
            QCOMPARE(r.reason, expected.mid(1));
            return;
        }
        QCOMPARE(r.result, int(OutcomeSucceeded));
        const QString report = TestSupport::Probe(r.tgtFiles.value(0), { "-show_streams" });
        for (const QString &line : expected.split('|'))
            QVERIFY2(report.contains(QRegularExpression("(^|\\n)(TAG:|DISPOSITION:)?" + QRegularExpression::escape(line) + "\\n")), qPrintable(line + '\n' + report));
    }

    // The filter texts and options, run through the real transcoder on a pool thread as
    // in a batch (the watermark text is rendered off the GUI thread).
    void effects_data()
    {
        QTest::addColumn<QString>("src"); QTest::addColumn<int>("id"); QTest::addColumn<QString>("ext"); QTest::addColumn<QString>("effects"); QTest::addColumn<QString>("size"); QTest::addColumn<QString>("codec");
        QTest::newRow("every effect, both watermarks") << "clip.mkv" << int(KRVAVCodecID_WEBM) << ".webm" << "scale,rotate270,colour,text,image50,flip" << "240x320" << "";
        QTest::newRow("3gp frame size") << "clip.mkv" << int(KRVAVCodecID_3GP) << ".3gp" << "3gp176" << "176x144" << "";
        QTest::newRow("effects skipped for mka") << "clip.mkv" << int(KRVAVCodecID_MKV) << ".mka" << "scale,colour,rotate90" << "" << "";
        QTest::newRow("vob to mp4 with effects") << "disc.vob" << int(KRVAVCodecID_MP4) << ".mp4" << "scale,rotate90" << "240x320" << "h264";
        // Encoders that take only even sizes get the frame cut down by one line or column.
        QTest::newRow("odd frame to mp4") << "odd.avi" << int(KRVAVCodecID_MP4) << ".mp4" << "" << "320x240" << "";
        QTest::newRow("odd frame to mkv") << "odd.avi" << int(KRVAVCodecID_MKV) << ".mkv" << "" << "320x240" << "";
        QTest::newRow("odd frame to a device profile") << "odd.avi" << int(KRVAVCodecID_iPhone) << ".mp4" << "" << "320x240" << "h264";
        QTest::newRow("vob to device profile encodes, scale ignored") << "disc.vob" << int(KRVAVCodecID_iPhone) << ".mp4" << "scale,rotate90" << "120x160" << "h264";
    }

    void effects()
    {
        QFETCH(QString, src); QFETCH(int, id); QFETCH(QString, ext); QFETCH(QString, effects); QFETCH(QString, size); QFETCH(QString, codec);
        const QStringList on = effects.split(',');
        ConvertSettings s = TestSupport::TargetSettings(NewDir(QStringLiteral("effects/") + QTest::currentDataTag()), KRVAVCodecID(id), ext);
        s.copyStreams = false; // what the filters do, also where nothing is on
        s.scale = on.contains("scale");
        s.scaleW = 320, s.scaleH = 240;
        s.rotate = on.contains("rotate90") || on.contains("rotate270");
        s.rotateDegree = on.contains("rotate270") ? 2 : 0;
        s.transform = s.rotate || (s.hFlip = s.vFlip = on.contains("flip"));
        s.threeGPSize = on.contains("3gp176") ? 1 : 3;
        s.clrEnable = on.contains("colour"), s.clrG = 1.5;
        s.wtEnable = on.contains("text"), s.wtContent = QStringLiteral("Reelway");
        s.wiEnable = s.wiCAlign = on.contains("image50");
        s.wiFile = QFileInfo(clip).dir().filePath("logo.png");
        s.wiScale = s.wiCAlignX = s.wiCAlignY = 50;

        const auto r = QtConcurrent::run(ThreadFunction, Job(QFileInfo(clip).dir().filePath(src), &s)).result();
        QCOMPARE(r.result, int(OutcomeSucceeded));
        QCOMPARE(TestSupport::ProbeSize(r.tgtFiles.value(0)), size);
        if (!codec.isEmpty())
            QCOMPARE(TestSupport::Probe(r.tgtFiles.first(), { "-select_streams", "v:0", "-show_entries", "stream=codec_name", "-of", "default=nw=1:nk=1" }).section('\n', 0, 0), codec);
    }

    // How the job ends, why it failed, and what it leaves in the target folder: an older
    // file there stays whole whatever happens before the finished file replaces it. A
    // stand-in transcoder plays each way of ending; a stalled source holds the real one
    // until it is canceled.
    void outcomes_data()
    {
        QTest::addColumn<QString>("src"); QTest::addColumn<QByteArray>("program"); QTest::addColumn<QString>("setup"); QTest::addColumn<int>("result"); QTest::addColumn<QString>("after"); QTest::addColumn<QString>("reason");

        const QByteArray writes = "echo data > \"$tgt\"\n";
        const QByteArray copies = "for a; do [ \"$p\" = -i ] && src=\"$a\"; p=\"$a\"; done\ncp \"$src\" \"$tgt\"\n";
        // Short naps: a kill leaves no sleeper. Its outputs closed, as a program's about to end, and left so for
        // a while before it says so beside itself: a cancel must still reach it.
        const QByteArray sleeps = "echo data > \"$tgt\"\nexec >&- 2>&-\nsleep 2; : > \"$0.closed\"\nwhile :; do sleep 0.1; done\n";
        const auto row = [](const char *name, const char *src, const QByteArray &program, const char *setup, int result, const char *after, const char *reason) {
            QTest::newRow(name) << QString(src) << program << QString(setup) << result << QString(after) << QString(reason);
        };
        row("missing source", "gone.avi", writes, "", OutcomeFailed, "none", "no longer exists");
        row("missing transcoder", "clip.mkv", "missing", "", OutcomeFailed, "none", "was not found");
        row("unstartable transcoder", "clip.mkv", "noexec", "", OutcomeFailed, "none", "could not be started");
        row("writes, fails", "clip.mkv", writes + "echo 'kb/s:36.80' >&2\nexit 1\n", "", OutcomeFailed, "none", "ended with code 1.");
        row("writes, fails, older file kept", "clip.mkv", writes + "echo '[x @ 0x1] [error] disk full' >&2\nexit 1\n", "older", OutcomeFailed, "kept", "disk full");
        row("writes, then crashes", "clip.mkv", writes + "kill -SEGV $$\n", "", OutcomeFailed, "none", "crashed");
        row("chatter, an empty file, exit 0", "clip.mkv", "echo '[info] all good' >&2\n: > \"$tgt\"\nexit 0\n", "", OutcomeFailed, "none", "ended with code 0 and wrote no file");
        row("exit 0 after an error line, older file kept", "clip.mkv", copies + "echo '[mp4 @ 0x1] [error] Error writing trailer: No space left on device' >&2\nexit 0\n", "older", OutcomeFailed, "kept", "No space left on device");
        row("exit 0, unreadable file", "clip.mkv", writes + "exit 0\n", "older", OutcomeFailed, "kept", "could not be read back");
        row("exit 0, file shorter than converted", "clip.mkv", copies + "echo out_time_us=60000000\nexit 0\n", "older", OutcomeFailed, "kept", "holds 0.5 s of the 60.0 s");
        row("overwrites the older file", "clip.mkv", copies + "exit 0\n", "older", OutcomeSucceeded, "data", "");
        row("disk full at the file's end, older file kept", "clip.mkv", QByteArray(), "older,tmpfs", OutcomeFailed, "kept", "No space left on device");
        row("disk full at the file's end", "clip.mkv", QByteArray(), "tmpfs", OutcomeFailed, "none", "No space left on device");
        row("target name over 255 bytes", "<long>", writes, "", OutcomeFailed, "none", "longer than the file system allows (255 bytes)");
        row("canceled before it starts", "clip.mkv", writes, "cancelled", OutcomeCanceled, "none", "");
        row("cancel keeps the older file", "clip.mkv", sleeps, "older,cancel", OutcomeCanceled, "kept", "");
        row("cancel of the real transcoder keeps the older file", "stalled.mkv", QByteArray(), "older,cancel", OutcomeCanceled, "kept", "");
    }

    void outcomes()
    {
        QFETCH(QString, src); QFETCH(QByteArray, program); QFETCH(QString, setup); QFETCH(int, result); QFETCH(QString, after); QFETCH(QString, reason);
        const QStringList words = setup.split(',');
        const QDir dir(NewDir(QStringLiteral("outcomes/") + QTest::currentDataTag()));
        const QString out = NewDir(QStringLiteral("outcomes/%1/out").arg(QTest::currentDataTag()));
        const QString source = src == "<long>" ? dir.filePath(QString(252, 'x') + ".ts") : QFileInfo(clip).dir().filePath(src);
        QVERIFY(src != "<long>" || QFile::copy(clip, source));
        ConvertSettings settings = TestSupport::TargetSettings(out);
        const QString target = QDir(out).filePath(QFileInfo(source).completeBaseName() + ".mp4");
        const QByteArray stale = "older file";
        struct Unmount { QByteArray path; ~Unmount() { if (!path.isEmpty()) ::umount2(path.constData(), MNT_DETACH); } } unmount;
        if (words.contains("tmpfs")) {
            // Room for all but the last page of the file (and a page for the older file): the
            // transcoder fails only as it writes the file's index, and still exits 0.
            const ConvertSettings roomy = TestSupport::TargetSettings(NewDir(dir.filePath("roomy")));
            const ItemConvertResult sized = RunConvertJob(Job(source, &roomy), TranscoderPath());
            QCOMPARE(sized.result, int(OutcomeSucceeded));
            const qint64 pages = (QFileInfo(sized.tgtFiles.value(0)).size() + 4095) / 4096 - 1 + words.contains("older");
            if (::getuid() != 0 || ::mount("tmpfs", EncodePath(out).constData(), "tmpfs", 0, QByteArray("size=" + QByteArray::number(pages * 4096)).constData()) != 0)
                QSKIP("a small file system can be mounted only by root");
            unmount.path = EncodePath(out);
        }
        if (words.contains("older")) {
            settings.exists = 1;
            QVERIFY(TestSupport::WriteBytes(target, stale));
        }
        const QString transcoder = program.isEmpty() ? TranscoderPath() : dir.filePath("fake-ffmpeg");
        if (!program.isEmpty() && program != "missing")
            QVERIFY(WriteScript(transcoder, program == "noexec" ? "exit 0\n" : program, program != "noexec"));

        const AVConvertData job = Job(source, &settings);
        if (words.contains("cancelled"))
            job.batch->Cancel();
        QFuture<ItemConvertResult> future = QtConcurrent::run(RunConvertJob, job, transcoder);
        // However the test function ends, no job outlives its test.
        const auto guard = qScopeGuard([&] { job.batch->Cancel(); future.waitForFinished(); });
        if (words.contains("cancel")) {
            QTRY_VERIFY_WITH_TIMEOUT(Temporaries(out).size() == 1 && TestSupport::ProcessRunningWith(Temporaries(out).first()), 20000);
            QTRY_VERIFY_WITH_TIMEOUT(program.isEmpty() || QFile::exists(transcoder + ".closed"), 20000);
            QVERIFY(!future.isFinished());
            job.batch->Cancel();
            QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 20000);
            QVERIFY(!TestSupport::ProcessRunningWith(out));
        }
        const ItemConvertResult r = future.result();
        QCOMPARE(r.result, result);
        QCOMPARE(r.tgtFiles, result == OutcomeSucceeded ? QStringList{ target } : QStringList());
        QVERIFY2(r.reason.contains(reason) && r.reason.isEmpty() == reason.isEmpty(), qPrintable(r.reason));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), after == "none" ? QStringList() : QStringList{ QFileInfo(target).fileName() });
        if (after != "none")
            QCOMPARE(Contents(target), after == "data" ? Contents(source) : stale);
    }

    // No job writes, replaces or removes a file the user converts from, or any other file
    // already there; each row compares every file before and after.
    void neverTouchesTheUsersFiles_data()
    {
        QTest::addColumn<QString>("setup"); QTest::addColumn<int>("exists"); QTest::addColumn<int>("outcome"); QTest::addColumn<QStringList>("produced");
        QTest::newRow("overwrite onto its own source") << "own" << 1 << int(OutcomeFailed) << QStringList();
        QTest::newRow("overwrite through a linked folder") << "linked" << 1 << int(OutcomeFailed) << QStringList();
        QTest::newRow("overwrite onto another listed source") << "other" << 1 << int(OutcomeFailed) << QStringList();
        QTest::newRow("target name is a hard link to the source") << "hardlink" << 1 << int(OutcomeFailed) << QStringList();
        QTest::newRow("unique name beside its own source") << "own" << 0 << int(OutcomeSucceeded) << QStringList{ "movie-1.mkv" };
        QTest::newRow("a dangling link is a taken name") << "dangling" << 0 << int(OutcomeSucceeded) << QStringList{ "movie.mkv" };
        QTest::newRow("a name that is not UTF-8, found by the folder walk") << "walked" << 0 << int(OutcomeSucceeded) << QStringList{ QString::fromUtf8("m\xef\xbf\xbd" "vie.mkv") };
        QTest::newRow("two processes, one name") << "twice" << 0 << int(OutcomeSucceeded) << QStringList{ "movie.mkv", "movie-1.mkv" };
    }

    void neverTouchesTheUsersFiles()
    {
        QFETCH(QString, setup); QFETCH(int, exists); QFETCH(int, outcome); QFETCH(QStringList, produced);
        const QString root = NewDir(QStringLiteral("safety/") + QTest::currentDataTag());
        const QString folder = NewDir(QStringLiteral("safety/%1/in #1 'x'").arg(QTest::currentDataTag()));
        QString src = folder + (setup == "own" || setup == "linked" ? "/movie.mkv" : "/movie.avi");
        QVERIFY(QFile::copy(clip, src));
        const QString target = folder + "/movie.mkv";
        ConvertSettings settings = TestSupport::TargetSettings(QString::fromLatin1(SameAsSourceFile), KRVAVCodecID_MKV, ".mkv");
        settings.exists = exists;
        QStringList listed{ src };
        if (setup == "linked") {
            QVERIFY(QFile::link(folder, root + "/link"));
            settings.tgtFolder = root + "/link";
        } else if (setup == "other") {
            QVERIFY(QFile::copy(clip, target));
            listed << target;
        } else if (setup == "hardlink") {
            QCOMPARE(::link(QFile::encodeName(src).constData(), QFile::encodeName(target).constData()), 0);
        } else if (setup == "dangling") {
            QVERIFY(QFile::link(root + "/elsewhere/written-through.mkv", folder + "/movie.mp4"));
            settings.tgtFormat = ".mp4";
            settings.tgtID = KRVAVCodecID_MP4;
            produced = QStringList{ "movie-1.mp4" };
            QVERIFY(QDir().mkpath(root + "/elsewhere"));
        } else if (setup == "walked") {
            QCOMPARE(::rename(EncodePath(src).constData(), (EncodePath(folder) + "/m\xe9" "vie.avi").constData()), 0);
            listed = QStringList{ src = WalkSourceFolder(folder).value(0) };
        }
        const QMap<QString, QByteArray> before = Snapshot(root);

        QList<int> outcomes;
        if (setup == "twice") {
            QProcess runs[2];
            for (QProcess &run : runs)
                run.start(converter, { "-f", "mkv", src });
            for (QProcess &run : runs)
                outcomes << (run.waitForFinished(120000) && run.exitCode() == 0 ? OutcomeSucceeded : OutcomeFailed);
        } else {
            const ItemConvertResult r = QtConcurrent::run(ThreadFunction, Job(src, &settings, listed)).result();
            outcomes << r.result;
            QVERIFY2(outcome == OutcomeSucceeded || r.reason.contains("would overwrite a source"), qPrintable(r.reason));
        }
        for (int got : outcomes)
            QCOMPARE(got, outcome);
        QVERIFY(Temporaries(folder).isEmpty());
        const QMap<QString, QByteArray> after = Snapshot(root);
        QStringList added;
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            if (!before.contains(it.key()))
                added << QFileInfo(it.key()).fileName();
        }
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
        added.sort(), produced.sort();
        QCOMPARE(added, produced);
        for (const QString &name : produced)
            QVERIFY2(!TestSupport::ProbeSize(folder + '/' + name).isEmpty(), qPrintable(name));
    }

    // The converter killed in the middle of a batch: its transcoders die with it, no half
    // file carries a real name, and the next start removes what it left.
    void killedRunLeavesNothing()
    {
        const QString folder = NewDir("killed");
        const QStringList sources{ folder + "/one.mkv", folder + "/two.mkv" };
        for (const QString &source : sources)
            QVERIFY(TestSupport::MakeStalledSource(source));
        const QMap<QString, QByteArray> before = Snapshot(folder);

        QProcess run;
        run.start(converter, QStringList{ "-j", "2", "-f", "mp4" } + sources);
        QTRY_VERIFY_WITH_TIMEOUT(Temporaries(folder).size() == 2 && QDir(jobTempRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() == 2, 20000);
        QVERIFY(TestSupport::ProcessRunningWith(folder));
        ::kill(pid_t(run.processId()), SIGKILL);
        QVERIFY(run.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!TestSupport::ProcessRunningWith(folder), 10000);
        QCOMPARE(Snapshot(folder).size(), before.size() + 2); // only the two hidden outputs

        // A journal names only what the program makes; a hostile one costs the user nothing:
        // no folder of a look-alike name, no file reached through a link.
        const QString userFolder = jobTempRoot + "/reelway-job-applications";
        QVERIFY(QDir().mkpath(folder + "/.reelway-settings") && QDir().mkpath(userFolder) && QFile::link(folder, folder + "/via-link"));
        QVERIFY(TestSupport::WriteBytes(userFolder + "/cv.odt", "cv") && TestSupport::WriteBytes(folder + "/.reelway-settings/keep", "x"));
        const QString shaped = "/.reelway-1-0000000000000.mp4";
        QVERIFY(TestSupport::WriteBytes(folder + shaped, "user's"));
        const QMap<QString, QByteArray> planted = Snapshot(folder);
        const QStringList hidden = Temporaries(folder);
        QVERIFY(TestSupport::WriteBytes(JobJournal::Folder() + "/run-1-hostil", QFile::encodeName(sources.first() + "\n/\n" + userFolder
            + "\n" + folder + "/.reelway-settings\n" + folder + "/via-link" + shaped + "\n")));
        // Journals left before they got their name: removed once their run is gone, never while
        // one may be starting, never through a link.
        const QString dead = JobJournal::Folder() + "/pending-2147483647-abcdef", young = JobJournal::Folder() + QString("/pending-%1-abcdef").arg(::getpid());
        QFile deadFile(dead);
        QVERIFY(deadFile.open(QIODevice::WriteOnly) && deadFile.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime)
                && TestSupport::WriteBytes(young, "") && QFile::link(sources.first(), JobJournal::Folder() + "/pending-2147483646-linked"));
        JobJournal::Close(); // this process's own, of the earlier tests
        QCOMPARE(JobJournal::CleanUpDeadRuns(), 2);
        QVERIFY(!QFile::exists(dead) && QFile::exists(young) && QFile::exists(JobJournal::Folder() + "/pending-2147483646-linked"));
        QMap<QString, QByteArray> kept = planted;
        for (const QString &path : planted.keys())
            kept.remove(hidden.contains(QFileInfo(path).fileName()) && path != folder + shaped ? path : QString());
        QCOMPARE(kept.size(), planted.size() - 2);
        QCOMPARE(Snapshot(folder), kept);
        QVERIFY(QFileInfo::exists(userFolder + "/cv.odt") && QDir(userFolder).removeRecursively() && QFile::remove(folder + shaped));
        // Killed again and again just as its jobs start their transcoders: nothing it started
        // survives, and the next start removes what it left.
        for (int round = 0; round < 5; ++round) {
            QProcess early;
            early.start(converter, QStringList{ "-j", "2", "-f", "mp4" } + sources);
            QTRY_VERIFY_WITH_TIMEOUT(!Temporaries(folder).isEmpty(), 20000);
            ::kill(pid_t(early.processId()), SIGKILL);
            QVERIFY(early.waitForFinished(10000));
            QTRY_VERIFY_WITH_TIMEOUT(!TestSupport::ProcessRunningWith(folder), 10000);
            QCOMPARE(JobJournal::CleanUpDeadRuns(), 1);
            QVERIFY(Temporaries(folder).isEmpty() && QDir(jobTempRoot).isEmpty());
        }
        // A journal folder that is a link is no folder of ours: nothing where it points is read or removed.
        const QString journals = JobJournal::Folder();
        QVERIFY(QDir(journals).removeRecursively() && QFile::link(folder, journals));
        QVERIFY(TestSupport::WriteBytes(folder + "/run-2-abcdef", QFile::encodeName(sources.first())));
        QCOMPARE(JobJournal::CleanUpDeadRuns(), 0);
        QVERIFY(QFile::remove(journals) && QFile::exists(folder + "/run-2-abcdef") && QFile::exists(sources.first()));
        QVERIFY(QDir(JobJournal::Folder()).isEmpty());
    }
};

QTEST_MAIN(TestConvertJob)
#include "test_convertjob.moc"
