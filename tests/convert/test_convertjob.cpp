#include "testsupport.h"

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "krv/av/avcodec.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QThreadPool>
#include <QtConcurrent>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

// Every item of the target format combo: writable entries in identifier order, one per extension.
QVector<QPair<KRVAVCodecID, QString>> WritableTargetItems()
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

void Effect(const char *name, KRVAVCodecID id, const char *ext, const char *effects, const char *size,
            const char *src = "clip.mkv", const char *codec = "")
{
    QTest::newRow(name) << QString(src) << int(id) << QString(ext) << QString(effects) << QString(size)
                        << QString(codec);
}

void Outcome(const char *name, const char *src, const QByteArray &program, const char *setup, int result,
             const char *after)
{
    QTest::newRow(name) << QString(src) << program << QString(setup) << result << QString(after);
}

} // namespace

class TestConvertJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void allTargets_data();
    void allTargets();
    void uniqueNaming();
    void effects_data();
    void effects();
    void outcomes_data();
    void outcomes();
    void targetEqualToSource();
    void concurrentOverwriteSameTarget();

private:
    QString NewDir(const QString &name) const;

    QTemporaryDir tmp;
    QString clip;
    QString jobTempRoot;
    QHash<QString, ItemConvertResult> allResults;
    QVector<ConvertSettings> allSettings;
};

void TestConvertJob::initTestCase()
{
    QVERIFY(tmp.isValid());
    TestSupport::IsolateUserDirs(tmp.path());
    // Jobs make their temporary folders here, so a leftover is visible to cleanup().
    jobTempRoot = NewDir(QStringLiteral("jobtmp"));
    qputenv("TMPDIR", QFile::encodeName(jobTempRoot));
    QCOMPARE(QDir::tempPath(), jobTempRoot);
    QCOMPARE(TranscoderPath(), TestSupport::FfmpegPath());

    const QDir src(NewDir(QStringLiteral("src")));
    clip = src.filePath(QStringLiteral("clip.mkv"));
    QVERIFY(TestSupport::MakeClip(clip, 1.0, QStringLiteral("160x120")));
    QByteArray noise(64 * 1024, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    QVERIFY(TestSupport::WriteBytes(src.filePath(QStringLiteral("noise.avi")), noise));
    QImage logo(40, 20, QImage::Format_ARGB32);
    logo.fill(QColor(255, 0, 0, 128));
    QVERIFY(logo.save(src.filePath(QStringLiteral("logo.png"))));
    for (const char *disc : { "disc.vob", "disc.ts" })
        QVERIFY(TestSupport::RunFfmpeg({ "-i", clip, "-c:v", "mpeg2video", "-c:a", "mp2", src.filePath(disc) }));
    QThreadPool::globalInstance()->setMaxThreadCount(qMax(2, QThreadPool::globalInstance()->maxThreadCount()));
}

void TestConvertJob::cleanup()
{
    QVERIFY2(QDir(jobTempRoot).isEmpty(), "a job left its temporary folder behind");
}

QString TestConvertJob::NewDir(const QString &name) const
{
    QDir().mkpath(tmp.filePath(name));
    return tmp.filePath(name);
}

void TestConvertJob::allTargets_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("ext");
    const auto items = WritableTargetItems();
    QCOMPARE(items.size(), 62);
    for (const auto &item : items)
        QTest::newRow(qPrintable(KRVAVCodec(item.first).GetName() + item.second)) << int(item.first) << item.second;
}

void TestConvertJob::allTargets()
{
    QFETCH(int, id);
    QFETCH(QString, ext);
    if (allResults.isEmpty()) {
        // Convert every item at once on the pool the batch uses; the rows then only read the outcomes.
        const auto items = WritableTargetItems();
        for (const auto &item : items) {
            const QString folder = NewDir("all/" + QString::number(item.first) + item.second);
            allSettings.append(Settings(folder, item.first, item.second));
        }
        QVector<AVConvertData> jobs;
        for (const ConvertSettings &s : qAsConst(allSettings))
            jobs.append(Job(clip, &s));
        QElapsedTimer timer;
        timer.start();
        const auto results = QtConcurrent::blockingMapped<QList<ItemConvertResult>>(jobs, ThreadFunction);
        qInfo("%d targets converted in %lld ms", int(results.size()), timer.elapsed());
        for (int i = 0; i < results.size(); ++i)
            allResults.insert(KRVAVCodec(items.at(i).first).GetName() + items.at(i).second, results.at(i));
    }

    const ItemConvertResult result = allResults.value(QTest::currentDataTag());
    QCOMPARE(result.result, int(ConvertSucceeded));
    QCOMPARE(result.tgtFiles.size(), 1);
    const QString target = result.tgtFiles.first();
    QCOMPARE(QFileInfo(target).fileName(), QStringLiteral("clip") + ext);
    QVERIFY(QFileInfo(target).size() > 0);
    if (id == KRVAVCodecID_A64)
        return;  // FFmpeg can write A64 but has no reader for it.
    const QString streams = TestSupport::ProbeStreams(target);
    // FFmpeg's ".mka" muxer takes audio only, whatever the catalogue says of Matroska.
    const bool video = IsVideoFormat(KRVAVCodecID(id), ext) && ext != QLatin1String(".mka");
    QVERIFY2(streams.contains(video ? "codec_type=video" : "codec_type=audio"), qPrintable(target + '\n' + streams));
}

void TestConvertJob::uniqueNaming()
{
    const QDir folder(NewDir(QStringLiteral("unique")));
    const QString avi = folder.filePath(QStringLiteral("movie.avi"));
    const QString mkv = folder.filePath(QStringLiteral("movie.mkv"));
    QVERIFY(TestSupport::MakeClip(avi, 0.5, QStringLiteral("160x120")));
    QVERIFY(QFile::copy(clip, mkv));
    const ConvertSettings settings = Settings(QString::fromLatin1(SameAsSourceFile));

    const ItemConvertResult first = ThreadFunction(Job(avi, &settings));
    QCOMPARE(first.tgtFiles, QStringList{ folder.filePath(QStringLiteral("movie.mp4")) });
    // Two jobs of the same base name at once must not pick the same free name.
    const auto results = QtConcurrent::blockingMapped<QList<ItemConvertResult>>(
        QVector<AVConvertData>{ Job(avi, &settings), Job(mkv, &settings) }, ThreadFunction);
    QStringList names;
    for (const ItemConvertResult &r : results + QList<ItemConvertResult>{ first }) {
        QCOMPARE(r.result, int(ConvertSucceeded));
        QCOMPARE(r.tgtFiles.size(), 1);
        QCOMPARE(TestSupport::ProbeSize(r.tgtFiles.first()), QStringLiteral("160x120"));
        names << QFileInfo(r.tgtFiles.first()).fileName();
    }
    names.sort();
    QCOMPARE(names, (QStringList{ "movie-1.mp4", "movie-2.mp4", "movie.mp4" }));
}

void TestConvertJob::effects_data()
{
    QTest::addColumn<QString>("src");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("effects");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("codec");

    Effect("scale mp4", KRVAVCodecID_MP4, ".mp4", "scale", "320x240", "clip.mkv", "h264");
    Effect("rotate 90 mp4", KRVAVCodecID_MP4, ".mp4", "rotate90", "120x160");
    Effect("rotate 270, scale avi", KRVAVCodecID_AVI, ".avi", "scale,rotate270", "240x320");
    Effect("device profile ignores scale", KRVAVCodecID_iPad, ".mp4", "scale", "160x120");
    Effect("3gp frame size", KRVAVCodecID_3GP, ".3gp", "3gp176", "176x144");
    Effect("colour, both watermarks, flips webm", KRVAVCodecID_WEBM, ".webm", "colour,text,image,flip", "160x120");
    Effect("effects skipped for mka", KRVAVCodecID_MKV, ".mka", "scale,colour,rotate90", "");
    Effect("scaled image watermark, scale flv", KRVAVCodecID_FLV, ".flv", "scale,image50", "320x240");
    Effect("vob to mp4 copies", KRVAVCodecID_MP4, ".mp4", "scale,rotate90", "160x120", "disc.vob", "mpeg2video");
    Effect("ts to mov copies", KRVAVCodecID_MOV, ".mov", "scale,rotate90", "160x120", "disc.ts", "mpeg2video");
    Effect("vob to device profile encodes", KRVAVCodecID_iPhone, ".mp4", "scale,rotate90", "120x160", "disc.vob",
           "h264");
}

void TestConvertJob::effects()
{
    QFETCH(QString, src);
    QFETCH(int, id);
    QFETCH(QString, ext);
    QFETCH(QString, effects);
    QFETCH(QString, size);
    QFETCH(QString, codec);
    const QStringList on = effects.split(',');
    const auto has = [&on](const char *name) { return on.contains(QLatin1String(name)); };
    ConvertSettings s = Settings(NewDir(QStringLiteral("effects/") + QTest::currentDataTag()), KRVAVCodecID(id), ext);
    s.scale = has("scale");
    s.scaleW = 320;
    s.scaleH = 240;
    s.transform = s.rotate = has("rotate90") || has("rotate270");
    s.rotateDegree = has("rotate270") ? 2 : 0;
    s.hFlip = s.vFlip = has("flip");
    s.transform = s.transform || has("flip");
    s.threeGPSize = has("3gp176") ? 1 : 3;
    s.clrEnable = has("colour");
    s.clrG = 1.5;
    s.wtEnable = has("text");
    s.wtContent = QStringLiteral("Reelway");
    s.wiEnable = s.wiCAlign = has("image") || has("image50");
    s.wiFile = QFileInfo(clip).dir().filePath(QStringLiteral("logo.png"));
    s.wiScale = has("image50") ? 50 : 100;
    s.wiCAlignX = s.wiCAlignY = 50;

    // On a pool thread, as in a batch: the watermark text is rendered off the GUI thread.
    const auto r = QtConcurrent::run(ThreadFunction, Job(QFileInfo(clip).dir().filePath(src), &s)).result();
    QCOMPARE(r.result, int(ConvertSucceeded));
    QCOMPARE(r.tgtFiles.size(), 1);
    QCOMPARE(TestSupport::ProbeSize(r.tgtFiles.first()), size);
    if (!codec.isEmpty())
        QCOMPARE(TestSupport::ProbeValue(TestSupport::ProbeStreams(r.tgtFiles.first()), "codec_name"), codec);
}

void TestConvertJob::outcomes_data()
{
    QTest::addColumn<QString>("src");
    QTest::addColumn<QByteArray>("program");  // empty: the real transcoder
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("after");  // what the target folder holds afterwards

    const QByteArray real;
    const QByteArray writes = "echo data > \"$tgt\"\n";
    Outcome("missing source", "gone.avi", real, "", ConvertFailed, "none");
    Outcome("missing transcoder", "clip.mkv", "missing", "", ConvertFailed, "none");
    Outcome("unstartable transcoder", "clip.mkv", "noexec", "", ConvertFailed, "none");
    Outcome("garbage source", "noise.avi", real, "", ConvertFailed, "none");
    Outcome("garbage source keeps 0-byte target", "noise.avi", real, "empty", ConvertFailed, "kept");
    Outcome("garbage source keeps older file", "noise.avi", real, "older", ConvertFailed, "kept");
    // The H.264 encoder refuses odd frame sizes after the transcoder has created the target.
    Outcome("encoder refuses", "clip.mkv", real, "odd", ConvertFailed, "none");
    Outcome("encoder refuses, rewritten 0-byte target removed", "clip.mkv", real, "odd,empty", ConvertFailed, "none");
    Outcome("overwrite replaces older file", "clip.mkv", real, "older", ConvertSucceeded, "video");
    Outcome("job after cancel", "clip.mkv", real, "cancelled", ConvertCanceled, "none");
    Outcome("cancel during long conversion", "long.avi", real, "large,cancel", ConvertCanceled, "none");
    // The stand-in naps in short steps, so killing the shell leaves no long sleeper behind.
    const QByteArray sleepy = "while :; do sleep 0.1; done\n";
    Outcome("cancel keeps untouched file", "clip.mkv", sleepy, "older,cancel", ConvertCanceled, "kept");
    Outcome("fake writes, exit 0", "clip.mkv", writes + "exit 0\n", "", ConvertSucceeded, "data");
    Outcome("fake writes, exit 1", "clip.mkv", writes + "exit 1\n", "", ConvertFailed, "none");
    Outcome("fake empty file, exit 0", "clip.mkv", ": > \"$tgt\"\nexit 0\n", "", ConvertFailed, "none");
    Outcome("fake writes nothing, exit 0", "clip.mkv", "exit 0\n", "", ConvertFailed, "none");
    Outcome("fake writes, then crashes", "clip.mkv", writes + "kill -SEGV $$\n", "", ConvertFailed, "none");
}

void TestConvertJob::outcomes()
{
    QFETCH(QString, src);
    QFETCH(QByteArray, program);
    QFETCH(QString, setup);
    QFETCH(int, result);
    QFETCH(QString, after);
    const QStringList words = setup.split(',');

    const QDir dir(NewDir(QStringLiteral("outcomes/") + QTest::currentDataTag()));
    const QString out = NewDir(QStringLiteral("outcomes/%1/out").arg(QTest::currentDataTag()));
    const QString source = QFileInfo(clip).dir().filePath(src);
    ConvertSettings settings = words.contains("large") ? Settings(out, KRVAVCodecID_WEBM, ".webm") : Settings(out);
    if (words.contains("large")) {
        QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=duration=30:size=320x240:rate=25", "-f", "lavfi",
                                         "-i", "sine=duration=30", "-c:v", "mpeg4", "-q:v", "10", source }));
        settings.scale = true;
        settings.scaleW = 1280;
        settings.scaleH = 720;
    }
    if (words.contains("odd")) {
        settings.scale = true;
        settings.scaleW = 161;
        settings.scaleH = 121;
    }
    const QString target = QDir(out).filePath(QFileInfo(source).completeBaseName() + settings.tgtFormat);
    const QByteArray stale = words.contains("older") ? "older file" : "";
    if (words.contains("older") || words.contains("empty")) {
        settings.exists = 1;
        QVERIFY(TestSupport::WriteBytes(target, stale));
    }
    QString transcoder = dir.filePath(QStringLiteral("fake-ffmpeg"));
    if (program.isEmpty())
        transcoder = TranscoderPath();
    else if (program != "missing")
        QVERIFY(WriteScript(transcoder, program == "noexec" ? "exit 0\n" : program, program != "noexec"));

    const AVConvertData job = Job(source, &settings);
    job.cancelFlag->store(words.contains("cancelled"));
    QElapsedTimer timer;
    timer.start();
    QFuture<ItemConvertResult> future = QtConcurrent::run(RunConvertJob, job, transcoder);
    const CancelOnExit guard{ job.cancelFlag, future };
    if (words.contains("cancel")) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(target) && ProcessRunningWith(target), 20000);
        QVERIFY(!future.isFinished());
        timer.restart();
        job.cancelFlag->store(true);
        QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 5000);
        QVERIFY2(timer.elapsed() < 3600, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
        QVERIFY(!ProcessRunningWith(target));
    }
    const ItemConvertResult r = future.result();
    if (!program.isEmpty() && !words.contains("cancel"))
        QVERIFY2(timer.elapsed() < 1500, "the job waited on a stand-in that does no real work");
    QCOMPARE(r.result, result);
    QCOMPARE(r.tgtFiles, result == ConvertSucceeded ? QStringList{ target } : QStringList());
    const QStringList left = after == "none" ? QStringList() : QStringList{ QFileInfo(target).fileName() };
    QCOMPARE(QDir(out).entryList(QDir::Files), left);
    if (after == "kept")
        QCOMPARE(Contents(target), stale);
    else if (after == "data")
        QCOMPARE(Contents(target), QByteArray("data\n"));
    else if (after == "video")
        QCOMPARE(TestSupport::ProbeSize(target), QStringLiteral("160x120"));
}

void TestConvertJob::targetEqualToSource()
{
    const QDir folder(NewDir(QStringLiteral("same")));
    const QString src = folder.filePath(QStringLiteral("clip.mkv"));
    QVERIFY(QFile::copy(clip, src));
    const QByteArray before = Contents(src);
    ConvertSettings settings = Settings(QString::fromLatin1(SameAsSourceFile), KRVAVCodecID_MKV, ".mkv");
    settings.exists = 1;
    const QString marker = folder.filePath(QStringLiteral("started"));
    const QString program = folder.filePath(QStringLiteral("fake-ffmpeg"));
    QVERIFY(WriteScript(program, "touch '" + QFile::encodeName(marker) + "'\n"));

    QCOMPARE(RunConvertJob(Job(src, &settings), program).result, int(ConvertFailed));
    QVERIFY2(!QFileInfo::exists(marker), "the transcoder was started on its own input");
    QCOMPARE(ThreadFunction(Job(src, &settings)).result, int(ConvertFailed));
    // The same file reached through a linked folder.
    QVERIFY(QFile::link(folder.path(), tmp.filePath(QStringLiteral("same-link"))));
    settings.tgtFolder = tmp.filePath(QStringLiteral("same-link"));
    QCOMPARE(ThreadFunction(Job(src, &settings)).result, int(ConvertFailed));
    QCOMPARE(Contents(src), before);

    // In unique mode the source's name counts as taken, so the job converts beside it.
    settings.exists = 0;
    settings.tgtFolder = QString::fromLatin1(SameAsSourceFile);
    const ItemConvertResult r = ThreadFunction(Job(src, &settings));
    QCOMPARE(r.result, int(ConvertSucceeded));
    QCOMPARE(r.tgtFiles, QStringList{ folder.filePath(QStringLiteral("clip-1.mkv")) });
    QCOMPARE(Contents(src), before);
}

void TestConvertJob::concurrentOverwriteSameTarget()
{
    const QDir folder(NewDir(QStringLiteral("concurrent-overwrite")));
    const QString count = folder.filePath(QStringLiteral("starts"));
    const QString program = folder.filePath(QStringLiteral("slow-ffmpeg"));
    QVERIFY(WriteScript(program, "echo start >> '" + QFile::encodeName(count) + "'\nsleep 2\necho data > \"$tgt\"\n"));
    ConvertSettings settings = Settings(NewDir(QStringLiteral("concurrent-overwrite/out")));
    settings.exists = 1;
    const QString other = folder.filePath(QStringLiteral("clip.avi"));
    QVERIFY(QFile::copy(clip, other));

    const AVConvertData firstJob = Job(clip, &settings);
    QFuture<ItemConvertResult> first = QtConcurrent::run(RunConvertJob, firstJob, program);
    const CancelOnExit guard{ firstJob.cancelFlag, first };
    QTRY_VERIFY(QFileInfo::exists(count));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(RunConvertJob(Job(other, &settings), program).result, int(ConvertFailed));
    QVERIFY(timer.elapsed() < 1500);
    QVERIFY(!first.isFinished());
    QCOMPARE(first.result().result, int(ConvertSucceeded));
    QCOMPARE(Contents(count), QByteArray("start\n"));
    // The reservation ends with the job: the same target is free again.
    QCOMPARE(RunConvertJob(Job(other, &settings), program).result, int(ConvertSucceeded));
}

QTEST_MAIN(TestConvertJob)
#include "test_convertjob.moc"
