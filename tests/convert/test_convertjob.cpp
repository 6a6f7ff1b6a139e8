#include "testsupport.h"

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "krv/av/avcodec.h"

#include <QtConcurrent>

#include <atomic>
#include <memory>

namespace {

// Every item of the target format combo: each writable entry once per extension.
QVector<QPair<KRVAVCodecID, QString>> WritableItems()
{
    QVector<QPair<KRVAVCodecID, QString>> items;
    const AVCodecVetoer vetoer;
    for (int id = 0; id < KRVAVCodecTableSize(); ++id) {
        if (vetoer.IsEnabled(KRVAVCodecID(id), KRVAVIOType_Output)) {
            for (const QString &ext : KRVAVCodec(KRVAVCodecID(id)).GetExtensions())
                items.append({ KRVAVCodecID(id), ext });
        }
    }
    return items;
}

ConvertSettings Settings(const QString &folder, KRVAVCodecID id = KRVAVCodecID_MP4, const QString &ext = ".mp4")
{
    ConvertSettings s;
    s.tgtFolder = folder;
    s.tgtID = id;
    s.tgtFormat = ext;
    s.wtFontName = QStringLiteral("DejaVu Sans");
    return s;
}

AVConvertData Job(const QString &src, const ConvertSettings *settings)
{
    AVConvertData job;
    job.srcFile = src;
    job.settings = settings;
    job.cancelFlag = std::make_shared<std::atomic_bool>(false);
    return job;
}

QByteArray Contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Whether some process still runs with `arg` among its arguments.
bool ProcessRunningWith(const QString &arg)
{
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().split('\0').contains(QFile::encodeName(arg)))
            return true;
    }
    return false;
}

// A stand-in transcoder; "$tgt" is its last argument.
bool WriteScript(const QString &path, const QByteArray &body, bool executable = true)
{
    return TestSupport::WriteBytes(path, "#!/bin/sh\nfor a in \"$@\"; do tgt=\"$a\"; done\n" + body)
           && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner
                                              | (executable ? QFile::ExeOwner : QFile::Permissions()));
}

// Cancels and waits for a job however the test function ends, so no job outlives its test.
struct CancelOnExit
{
    std::shared_ptr<std::atomic_bool> flag;
    QFuture<ItemConvertResult> future;
    ~CancelOnExit()
    {
        flag->store(true);
        future.waitForFinished();
    }
};

} // namespace

class TestConvertJob : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    QString jobTempRoot = NewDir("jobtmp");
    QString clip;

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
        QCOMPARE(QDir::tempPath(), jobTempRoot);
        QCOMPARE(TranscoderPath(), TestSupport::FfmpegPath());
        const QDir src(NewDir("src"));
        clip = src.filePath("clip.mkv");
        QVERIFY(QFile::copy(TestSupport::Clip(), clip));
        QImage logo(40, 20, QImage::Format_ARGB32);
        logo.fill(QColor(255, 0, 0, 128));
        QVERIFY(logo.save(src.filePath("logo.png")));
        for (const char *disc : { "disc.vob", "disc.ts" })
            QVERIFY(TestSupport::RunFfmpeg({ "-i", clip, "-c:v", "mpeg2video", "-c:a", "mp2", src.filePath(disc) }));
        QVERIFY(TestSupport::MakeStalledSource(src.filePath("stalled.mkv")));
        QThreadPool::globalInstance()->setMaxThreadCount(qMax(2, QThreadPool::globalInstance()->maxThreadCount()));
    }

    void cleanup() { QVERIFY2(QDir(jobTempRoot).isEmpty(), "a job left its temporary folder behind"); }

    void allTargets_data()
    {
        QTest::addColumn<int>("id"); QTest::addColumn<QString>("ext");
        for (const auto &item : WritableItems())
            QTest::newRow(qPrintable(KRVAVCodec(item.first).GetName() + item.second)) << int(item.first) << item.second;
    }

    void allTargets()
    {
        QFETCH(int, id); QFETCH(QString, ext);
        // Every item converts (and its target is probed) at once on the pool the batch uses;
        // the rows then only read the outcomes.
        static QHash<QString, QPair<ItemConvertResult, QString>> results;
        static QVector<ConvertSettings> settings;
        if (results.isEmpty()) {
            const auto items = WritableItems();
            QCOMPARE(items.size(), 62);
            for (const auto &item : items)
                settings.append(Settings(NewDir("all/" + QString::number(item.first) + item.second), item.first, item.second));
            QVector<AVConvertData> jobs;
            for (const ConvertSettings &s : qAsConst(settings))
                jobs.append(Job(clip, &s));
            const std::function<QPair<ItemConvertResult, QString>(const AVConvertData &)> run = [](const AVConvertData &job) {
                const ItemConvertResult r = ThreadFunction(job);
                return qMakePair(r, r.tgtFiles.isEmpty() ? QString() : TestSupport::Probe(r.tgtFiles.first()));
            };
            const auto done = QtConcurrent::blockingMapped<QList<QPair<ItemConvertResult, QString>>>(jobs, run);
            for (int i = 0; i < done.size(); ++i)
                results.insert(KRVAVCodec(items.at(i).first).GetName() + items.at(i).second, done.at(i));
        }

        const ItemConvertResult result = results.value(QTest::currentDataTag()).first;
        const QString streams = results.value(QTest::currentDataTag()).second;
        QCOMPARE(result.result, int(ConvertSucceeded));
        QCOMPARE(result.tgtFiles.size(), 1);
        const QString target = result.tgtFiles.first();
        QCOMPARE(QFileInfo(target).fileName(), "clip" + ext);
        QVERIFY(QFileInfo(target).size() > 0);
        if (id == KRVAVCodecID_A64)
            return; // FFmpeg can write A64 but has no reader for it.
        // FFmpeg's ".mka" muxer takes audio only, whatever the catalogue says of Matroska.
        const bool video = IsVideoFormat(KRVAVCodecID(id), ext) && ext != QLatin1String(".mka");
        QVERIFY2(streams.contains(video ? "codec_type=video" : "codec_type=audio"), qPrintable(target + '\n' + streams));
    }

    // The filter texts and options, run through the real transcoder on a pool thread as
    // in a batch (the watermark text is rendered off the GUI thread).
    void effects_data()
    {
        QTest::addColumn<QString>("src"); QTest::addColumn<int>("id"); QTest::addColumn<QString>("ext"); QTest::addColumn<QString>("effects"); QTest::addColumn<QString>("size"); QTest::addColumn<QString>("codec");
        QTest::newRow("every effect, both watermarks") << "clip.mkv" << int(KRVAVCodecID_WEBM) << ".webm"
                                                       << "scale,rotate270,colour,text,image50,flip" << "240x320" << "";
        QTest::newRow("3gp frame size") << "clip.mkv" << int(KRVAVCodecID_3GP) << ".3gp" << "3gp176" << "176x144" << "";
        QTest::newRow("effects skipped for mka") << "clip.mkv" << int(KRVAVCodecID_MKV) << ".mka"
                                                 << "scale,colour,rotate90" << "" << "";
        QTest::newRow("vob to mp4 copies") << "disc.vob" << int(KRVAVCodecID_MP4) << ".mp4" << "scale,rotate90"
                                           << "160x120" << "mpeg2video";
        QTest::newRow("ts to mov copies") << "disc.ts" << int(KRVAVCodecID_MOV) << ".mov" << "scale,rotate90"
                                          << "160x120" << "mpeg2video";
        QTest::newRow("vob to device profile encodes, scale ignored") << "disc.vob" << int(KRVAVCodecID_iPhone)
                                                                      << ".mp4" << "scale,rotate90" << "120x160" << "h264";
    }

    void effects()
    {
        QFETCH(QString, src); QFETCH(int, id); QFETCH(QString, ext); QFETCH(QString, effects); QFETCH(QString, size); QFETCH(QString, codec);
        const QStringList on = effects.split(',');
        ConvertSettings s = Settings(NewDir(QStringLiteral("effects/") + QTest::currentDataTag()), KRVAVCodecID(id), ext);
        s.scale = on.contains("scale");
        s.scaleW = 320;
        s.scaleH = 240;
        s.rotate = on.contains("rotate90") || on.contains("rotate270");
        s.rotateDegree = on.contains("rotate270") ? 2 : 0;
        s.hFlip = s.vFlip = on.contains("flip");
        s.transform = s.rotate || s.hFlip;
        s.threeGPSize = on.contains("3gp176") ? 1 : 3;
        s.clrEnable = on.contains("colour");
        s.clrG = 1.5;
        s.wtEnable = on.contains("text");
        s.wtContent = QStringLiteral("Reelway");
        s.wiEnable = s.wiCAlign = on.contains("image50");
        s.wiFile = QFileInfo(clip).dir().filePath("logo.png");
        s.wiScale = 50;
        s.wiCAlignX = s.wiCAlignY = 50;

        const auto r = QtConcurrent::run(ThreadFunction, Job(QFileInfo(clip).dir().filePath(src), &s)).result();
        QCOMPARE(r.result, int(ConvertSucceeded));
        QCOMPARE(r.tgtFiles.size(), 1);
        QCOMPARE(TestSupport::ProbeSize(r.tgtFiles.first()), size);
        if (!codec.isEmpty())
            QCOMPARE(TestSupport::ProbeCodec(r.tgtFiles.first()), codec);
    }

    // How the job ends and what it leaves in the target folder. A stand-in transcoder
    // plays each way of ending; a stalled source holds the real one until it is canceled.
    void outcomes_data()
    {
        QTest::addColumn<QString>("src"); QTest::addColumn<QByteArray>("program"); QTest::addColumn<QString>("setup"); QTest::addColumn<int>("result"); QTest::addColumn<QString>("after"); // what the target folder holds afterwards

        const QByteArray writes = "echo data > \"$tgt\"\n";
        const QByteArray sleeps = "while :; do sleep 0.1; done\n"; // short naps: a kill leaves no sleeper
        const auto row = [](const char *name, const char *src, const QByteArray &program, const char *setup,
                            int result, const char *after) {
            QTest::newRow(name) << QString(src) << program << QString(setup) << result << QString(after);
        };
        row("missing source", "gone.avi", writes, "", ConvertFailed, "none");
        row("missing transcoder", "clip.mkv", "missing", "", ConvertFailed, "none");
        row("unstartable transcoder", "clip.mkv", "noexec", "", ConvertFailed, "none");
        row("fails untouched, older file kept", "clip.mkv", "exit 1\n", "older", ConvertFailed, "kept");
        row("fails untouched, 0-byte file kept", "clip.mkv", "exit 1\n", "empty", ConvertFailed, "kept");
        row("writes, fails", "clip.mkv", writes + "exit 1\n", "", ConvertFailed, "none");
        row("rewrites the 0-byte file, fails", "clip.mkv", ": > \"$tgt\"\nexit 1\n", "empty", ConvertFailed, "none");
        row("writes, then crashes", "clip.mkv", writes + "kill -SEGV $$\n", "", ConvertFailed, "none");
        row("writes an empty file, exit 0", "clip.mkv", ": > \"$tgt\"\nexit 0\n", "", ConvertFailed, "none");
        row("writes nothing, exit 0", "clip.mkv", "exit 0\n", "", ConvertFailed, "none");
        row("overwrites the older file", "clip.mkv", writes + "exit 0\n", "older", ConvertSucceeded, "data");
        row("canceled before it starts", "clip.mkv", writes, "cancelled", ConvertCanceled, "none");
        row("cancel keeps an untouched file", "clip.mkv", sleeps, "older,cancel", ConvertCanceled, "kept");
        row("cancel of the real transcoder", "stalled.mkv", QByteArray(), "cancel", ConvertCanceled, "none");
    }

    void outcomes()
    {
        QFETCH(QString, src); QFETCH(QByteArray, program); QFETCH(QString, setup); QFETCH(int, result); QFETCH(QString, after);
        const QStringList words = setup.split(',');
        const QDir dir(NewDir(QStringLiteral("outcomes/") + QTest::currentDataTag()));
        const QString out = NewDir(QStringLiteral("outcomes/%1/out").arg(QTest::currentDataTag()));
        const QString source = QFileInfo(clip).dir().filePath(src);
        ConvertSettings settings = Settings(out);
        const QString target = QDir(out).filePath(QFileInfo(source).completeBaseName() + ".mp4");
        const QByteArray stale = words.contains("older") ? "older file" : "";
        if (words.contains("older") || words.contains("empty")) {
            settings.exists = 1;
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stale) == stale.size());
            // An hour old, so that any rewrite shows in its time stamp.
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        }
        QString transcoder = dir.filePath("fake-ffmpeg");
        if (program.isEmpty())
            transcoder = TranscoderPath();
        else if (program != "missing")
            QVERIFY(WriteScript(transcoder, program == "noexec" ? "exit 0\n" : program, program != "noexec"));

        const AVConvertData job = Job(source, &settings);
        job.cancelFlag->store(words.contains("cancelled"));
        QFuture<ItemConvertResult> future = QtConcurrent::run(RunConvertJob, job, transcoder);
        const CancelOnExit guard{ job.cancelFlag, future };
        if (words.contains("cancel")) {
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(target) && ProcessRunningWith(target), 20000);
            QVERIFY(!future.isFinished());
            job.cancelFlag->store(true);
            QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 20000);
            QVERIFY(!ProcessRunningWith(target));
        }
        const ItemConvertResult r = future.result();
        QCOMPARE(r.result, result);
        QCOMPARE(r.tgtFiles, result == ConvertSucceeded ? QStringList{ target } : QStringList());
        const QStringList left = after == "none" ? QStringList() : QStringList{ QFileInfo(target).fileName() };
        QCOMPARE(QDir(out).entryList(QDir::Files), left);
        if (after != "none")
            QCOMPARE(Contents(target), after == "data" ? QByteArray("data\n") : stale);
    }

    // Jobs running at once never share a target: in unique mode the second takes the next
    // free name; in overwrite mode it fails at once, and the name is free again afterwards.
    void runningJobsReserveTheirTarget_data()
    {
        QTest::addColumn<int>("exists");
        QTest::newRow("unique names") << 0;
        QTest::newRow("overwrite") << 1;
    }

    void runningJobsReserveTheirTarget()
    {
        QFETCH(int, exists);
        const QDir folder(NewDir(QStringLiteral("reserve/") + QTest::currentDataTag()));
        const QString program = folder.filePath("held-ffmpeg");
        // Each run notes its target, then waits until the test releases it.
        QVERIFY(WriteScript(program, "echo \"$tgt\" >> '" + QFile::encodeName(folder.filePath("started")) + "'\n"
                                     "while [ ! -e '" + QFile::encodeName(folder.filePath("release")) + "' ]; do sleep 0.05; done\n"
                                     "echo data > \"$tgt\"\n"));
        const QString out = NewDir(QStringLiteral("reserve/%1/out").arg(QTest::currentDataTag()));
        QVERIFY(TestSupport::WriteBytes(out + "/clip.mp4", "older"));
        ConvertSettings settings = Settings(out);
        settings.exists = exists;
        const QString other = folder.filePath("clip.avi");
        QVERIFY(QFile::copy(clip, other));

        const AVConvertData first = Job(clip, &settings);
        const AVConvertData second = Job(other, &settings);
        QFuture<ItemConvertResult> firstRun = QtConcurrent::run(RunConvertJob, first, program);
        const CancelOnExit firstGuard{ first.cancelFlag, firstRun };
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder.filePath("started")), 20000);
        QFuture<ItemConvertResult> secondRun = QtConcurrent::run(RunConvertJob, second, program);
        const CancelOnExit secondGuard{ second.cancelFlag, secondRun };
        if (exists == 0) {
            QTRY_COMPARE_WITH_TIMEOUT(Contents(folder.filePath("started")).count('\n'), 2, 20000);
            QVERIFY(TestSupport::WriteBytes(folder.filePath("release"), ""));
            QCOMPARE(firstRun.result().tgtFiles, QStringList{ out + "/clip-1.mp4" });
            QCOMPARE(secondRun.result().tgtFiles, QStringList{ out + "/clip-2.mp4" });
        } else {
            QCOMPARE(secondRun.result().result, int(ConvertFailed));
            QVERIFY(!firstRun.isFinished());
            QVERIFY(TestSupport::WriteBytes(folder.filePath("release"), ""));
            QCOMPARE(firstRun.result().tgtFiles, QStringList{ out + "/clip.mp4" });
            QCOMPARE(RunConvertJob(Job(other, &settings), program).result, int(ConvertSucceeded));
        }
        QCOMPARE(Contents(folder.filePath("started")).count('\n'), 2);
    }

    void targetEqualToSource()
    {
        const QDir folder(NewDir("same"));
        const QString src = folder.filePath("clip.mkv");
        QVERIFY(QFile::copy(clip, src));
        const QByteArray before = Contents(src);
        ConvertSettings settings = Settings(QString::fromLatin1(SameAsSourceFile), KRVAVCodecID_MKV, ".mkv");
        settings.exists = 1;
        const QString marker = folder.filePath("started");
        const QString program = folder.filePath("fake-ffmpeg");
        QVERIFY(WriteScript(program, "touch '" + QFile::encodeName(marker) + "'\necho data > \"$tgt\"\n"));

        // Overwrite mode into the source's own folder, also reached through a linked folder.
        QCOMPARE(RunConvertJob(Job(src, &settings), program).result, int(ConvertFailed));
        QVERIFY(QFile::link(folder.path(), fixture.path("same-link")));
        settings.tgtFolder = fixture.path("same-link");
        QCOMPARE(RunConvertJob(Job(src, &settings), program).result, int(ConvertFailed));
        QVERIFY2(!QFileInfo::exists(marker), "the transcoder was started on its own input");
        QCOMPARE(Contents(src), before);

        // In unique mode the source's name counts as taken, so the job converts beside it.
        settings.exists = 0;
        settings.tgtFolder = QString::fromLatin1(SameAsSourceFile);
        const ItemConvertResult r = RunConvertJob(Job(src, &settings), program);
        QCOMPARE(r.tgtFiles, QStringList{ folder.filePath("clip-1.mkv") });
        QCOMPARE(Contents(src), before);
    }
};

QTEST_MAIN(TestConvertJob)
#include "test_convertjob.moc"
