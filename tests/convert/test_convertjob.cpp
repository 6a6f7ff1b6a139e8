#include "testsupport.h"

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "krv/av/avcodec.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QThreadPool>
#include <QtConcurrent>
#include <QtTest>

#include <atomic>
#include <memory>
#include <vector>

namespace {

struct TargetItem
{
    KRVAVCodecID id;
    QString ext;
};

// Every item of the target format combo: writable entries in identifier order, one per extension.
QVector<TargetItem> WritableTargetItems()
{
    QVector<TargetItem> items;
    const AVCodecVetoer vetoer;
    for (int id = 0; id < KRVAVCodecTableSize(); ++id) {
        if (!vetoer.IsEnabled(KRVAVCodecID(id), KRVAVIOType_Output))
            continue;
        for (const QString &ext : KRVAVCodec(KRVAVCodecID(id)).GetExtensions())
            items.append({ KRVAVCodecID(id), ext });
    }
    return items;
}

QByteArray FileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Whether some process still runs with `arg` among its arguments.
bool ProcessRunningWith(const QString &arg)
{
    const QByteArray needle = QFile::encodeName(arg);
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        if (cmdline.readAll().split('\0').contains(needle))
            return true;
    }
    return false;
}

bool WriteScript(const QString &path, const QByteArray &body)
{
    if (!TestSupport::WriteBytes(path, "#!/bin/sh\nfor a in \"$@\"; do tgt=\"$a\"; done\n" + body))
        return false;
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void allTargets_data();
    void allTargets();

    void uniqueNaming();
    void overwriteReplacesStaleTarget();
    void effectsChangePicture_data();
    void effectsChangePicture();
    void streamCopy_data();
    void streamCopy();

    void missingSource();
    void missingTranscoder();
    void unstartableTranscoder();
    void garbageSource();
    void garbageSourceLeavesStaleTarget();
    void encoderRefusalRemovesTarget();
    void fakeTranscoderOutcomes_data();
    void fakeTranscoderOutcomes();
    void targetEqualToSource();
    void concurrentJobsSameBaseName();
    void concurrentOverwriteSameTarget();
    void cancelDuringLongConversion();
    void cancelKeepsUntouchedFile();
    void jobAfterCancel();

private:
    ConvertSettings Settings(const QString &folder, KRVAVCodecID id = KRVAVCodecID_MP4,
                             const QString &ext = QStringLiteral(".mp4")) const;
    AVConvertData Job(const QString &src, const ConvertSettings *settings) const;
    QString NewDir(const QString &name) const;

    QTemporaryDir tmp;
    QString clip;
    QString jobTempRoot;
    QHash<QString, ItemConvertResult> allResults;
    std::vector<std::unique_ptr<ConvertSettings>> allSettings;
};

void TestConvertJob::initTestCase()
{
    QVERIFY(tmp.isValid());
    TestSupport::IsolateUserDirs(tmp.path());
    // Jobs make their temporary folders here, so a leftover is visible to cleanup().
    jobTempRoot = NewDir(QStringLiteral("jobtmp"));
    qputenv("TMPDIR", QFile::encodeName(jobTempRoot));
    QCOMPARE(QDir::tempPath(), jobTempRoot);
    QVERIFY(QFileInfo(TestSupport::FfmpegPath()).isExecutable());
    QCOMPARE(TranscoderPath(), TestSupport::FfmpegPath());

    clip = QDir(NewDir(QStringLiteral("src"))).filePath(QStringLiteral("clip.mkv"));
    QVERIFY(TestSupport::MakeClip(clip, 1.0, QStringLiteral("160x120")));
    if (QThreadPool::globalInstance()->maxThreadCount() < 2)
        QThreadPool::globalInstance()->setMaxThreadCount(2);
}

void TestConvertJob::init()
{
    QVERIFY(QDir(jobTempRoot).isEmpty());
}

void TestConvertJob::cleanup()
{
    QVERIFY2(QDir(jobTempRoot).isEmpty(), "a job left its temporary folder behind");
}

ConvertSettings TestConvertJob::Settings(const QString &folder, KRVAVCodecID id, const QString &ext) const
{
    ConvertSettings s;
    s.tgtFolder = folder;
    s.tgtID = id;
    s.tgtFormat = ext;
    s.wtFontName = QStringLiteral("DejaVu Sans");
    return s;
}

AVConvertData TestConvertJob::Job(const QString &src, const ConvertSettings *settings) const
{
    AVConvertData job;
    job.srcFile = src;
    job.settings = settings;
    job.cancelFlag = std::make_shared<std::atomic_bool>(false);
    return job;
}

QString TestConvertJob::NewDir(const QString &name) const
{
    const QString path = tmp.filePath(name);
    QDir().mkpath(path);
    return path;
}

void TestConvertJob::allTargets_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("ext");
    const QVector<TargetItem> items = WritableTargetItems();
    QCOMPARE(items.size(), 62);
    for (const TargetItem &item : items) {
        const QString tag = KRVAVCodec(item.id).GetName() + item.ext;
        QTest::newRow(qPrintable(tag)) << int(item.id) << item.ext;
    }
}

void TestConvertJob::allTargets()
{
    QFETCH(int, id);
    QFETCH(QString, ext);
    const QString key = QStringLiteral("%1%2").arg(id).arg(ext);

    if (allResults.isEmpty()) {
        // Convert every item at once on the pool the batch uses; the rows then only read the outcomes.
        QVector<AVConvertData> jobs;
        QStringList keys;
        for (const TargetItem &item : WritableTargetItems()) {
            const QString folder = NewDir(QStringLiteral("all/%1%2").arg(item.id).arg(item.ext));
            allSettings.push_back(std::make_unique<ConvertSettings>(Settings(folder, item.id, item.ext)));
            jobs.append(Job(clip, allSettings.back().get()));
            keys << QStringLiteral("%1%2").arg(item.id).arg(item.ext);
        }
        QElapsedTimer timer;
        timer.start();
        const QList<ItemConvertResult> results = QtConcurrent::blockingMapped<QList<ItemConvertResult>>(
            jobs, ThreadFunction);
        qInfo("%d targets converted in %lld ms", int(results.size()), timer.elapsed());
        for (int i = 0; i < results.size(); ++i)
            allResults.insert(keys.at(i), results.at(i));
    }

    QVERIFY(allResults.contains(key));
    const ItemConvertResult result = allResults.value(key);
    QCOMPARE(result.result, int(ConvertSucceeded));
    QCOMPARE(result.tgtFiles.size(), 1);
    const QString target = result.tgtFiles.first();
    QCOMPARE(QFileInfo(target).fileName(), QStringLiteral("clip") + ext);
    QVERIFY(QFileInfo(target).size() > 0);
    if (id == KRVAVCodecID_A64)
        return;  // FFmpeg can write A64 but has no reader for it.
    const QString streams = TestSupport::ProbeStreams(target);
    QVERIFY2(streams.contains(QLatin1String("[STREAM]")), qPrintable(target));
    // FFmpeg's ".mka" muxer takes audio only, whatever the catalogue says of Matroska.
    if (IsVideoFormat(KRVAVCodecID(id), ext) && ext != QLatin1String(".mka"))
        QVERIFY2(streams.contains(QLatin1String("codec_type=video")), qPrintable(streams));
    else
        QVERIFY2(streams.contains(QLatin1String("codec_type=audio")), qPrintable(streams));
}

void TestConvertJob::uniqueNaming()
{
    const QString folder = NewDir(QStringLiteral("unique"));
    const QString src = QDir(folder).filePath(QStringLiteral("movie.avi"));
    QVERIFY(TestSupport::MakeClip(src, 0.5, QStringLiteral("160x120")));
    const ConvertSettings settings = Settings(QString::fromLatin1(SameAsSourceFile));

    QStringList names;
    for (int i = 0; i < 3; ++i) {
        const ItemConvertResult r = ThreadFunction(Job(src, &settings));
        QCOMPARE(r.result, int(ConvertSucceeded));
        QCOMPARE(r.tgtFiles.size(), 1);
        QCOMPARE(TestSupport::ProbeSize(r.tgtFiles.first()), QStringLiteral("160x120"));
        names << QFileInfo(r.tgtFiles.first()).fileName();
    }
    QCOMPARE(names, (QStringList{ "movie.mp4", "movie-1.mp4", "movie-2.mp4" }));
}

void TestConvertJob::overwriteReplacesStaleTarget()
{
    const QString folder = NewDir(QStringLiteral("overwrite"));
    const QString stale = QDir(folder).filePath(QStringLiteral("clip.mp4"));
    QVERIFY(TestSupport::WriteBytes(stale, "not a video"));
    ConvertSettings settings = Settings(folder);
    settings.exists = 1;

    const ItemConvertResult r = ThreadFunction(Job(clip, &settings));
    QCOMPARE(r.result, int(ConvertSucceeded));
    QCOMPARE(r.tgtFiles, QStringList{ stale });
    QCOMPARE(TestSupport::ProbeSize(stale), QStringLiteral("160x120"));
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
}

void TestConvertJob::effectsChangePicture_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("effects");
    QTest::addColumn<QString>("size");

    QTest::newRow("scale mp4") << int(KRVAVCodecID_MP4) << ".mp4" << "scale" << "320x240";
    QTest::newRow("rotate 90 mp4") << int(KRVAVCodecID_MP4) << ".mp4" << "rotate90" << "120x160";
    QTest::newRow("rotate 270 and scale avi") << int(KRVAVCodecID_AVI) << ".avi" << "scale,rotate270" << "240x320";
    QTest::newRow("scale ignored for device profile") << int(KRVAVCodecID_iPad) << ".mp4" << "scale" << "160x120";
    QTest::newRow("3gp frame size") << int(KRVAVCodecID_3GP) << ".3gp" << "3gp176" << "176x144";
    QTest::newRow("colour, both watermarks, flips webm") << int(KRVAVCodecID_WEBM) << ".webm"
                                                         << "colour,text,image,flip" << "160x120";
    QTest::newRow("colour and text on mkv") << int(KRVAVCodecID_MKV) << ".mkv" << "colour,text" << "160x120";
    QTest::newRow("effects skipped for mka") << int(KRVAVCodecID_MKV) << ".mka" << "scale,colour,rotate90" << "";
    QTest::newRow("scaled image watermark, scale flv") << int(KRVAVCodecID_FLV) << ".flv" << "scale,image50"
                                                       << "320x240";
}

void TestConvertJob::effectsChangePicture()
{
    QFETCH(int, id);
    QFETCH(QString, ext);
    QFETCH(QString, effects);
    QFETCH(QString, size);
    const QStringList on = effects.split(QLatin1Char(','));

    const QString folder = NewDir(QStringLiteral("effects/") + QTest::currentDataTag());
    const QString logo = QDir(folder).filePath(QStringLiteral("logo.png"));
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(QColor(255, 0, 0, 128));
    QVERIFY(image.save(logo));

    ConvertSettings settings = Settings(folder, KRVAVCodecID(id), ext);
    settings.scale = on.contains(QLatin1String("scale"));
    settings.scaleW = 320;
    settings.scaleH = 240;
    if (on.contains(QLatin1String("rotate90")) || on.contains(QLatin1String("rotate270"))) {
        settings.transform = true;
        settings.rotate = true;
        settings.rotateDegree = on.contains(QLatin1String("rotate90")) ? 0 : 2;
    }
    if (on.contains(QLatin1String("flip"))) {
        settings.transform = true;
        settings.hFlip = true;
        settings.vFlip = true;
    }
    if (on.contains(QLatin1String("3gp176")))
        settings.threeGPSize = 1;
    if (on.contains(QLatin1String("colour"))) {
        settings.clrEnable = true;
        settings.clrB = 0.1;
        settings.clrC = 1.2;
        settings.clrS = 0.5;
        settings.clrG = 1.5;
    }
    if (on.contains(QLatin1String("text"))) {
        settings.wtEnable = true;
        settings.wtContent = QStringLiteral("Reelway");
        settings.wtFontSize = 12;
        settings.wtAlign = 3;
    }
    if (on.contains(QLatin1String("image")) || on.contains(QLatin1String("image50"))) {
        settings.wiEnable = true;
        settings.wiFile = logo;
        settings.wiScale = on.contains(QLatin1String("image50")) ? 50 : 100;
        settings.wiCAlign = true;
        settings.wiCAlignX = 50;
        settings.wiCAlignY = 50;
    }

    // On a pool thread, as in a batch: the watermark text is rendered off the GUI thread.
    const ItemConvertResult r = QtConcurrent::run(ThreadFunction, Job(clip, &settings)).result();
    QCOMPARE(r.result, int(ConvertSucceeded));
    QCOMPARE(r.tgtFiles.size(), 1);
    QCOMPARE(TestSupport::ProbeSize(r.tgtFiles.first()), size);
}

void TestConvertJob::streamCopy_data()
{
    QTest::addColumn<QString>("srcExt");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("videoCodec");

    QTest::newRow("vob to mp4 copies") << ".vob" << int(KRVAVCodecID_MP4) << ".mp4" << "mpeg2video";
    QTest::newRow("ts to mov copies") << ".ts" << int(KRVAVCodecID_MOV) << ".mov" << "mpeg2video";
    QTest::newRow("vob to device profile encodes") << ".vob" << int(KRVAVCodecID_iPhone) << ".mp4" << "h264";
}

void TestConvertJob::streamCopy()
{
    QFETCH(QString, srcExt);
    QFETCH(int, id);
    QFETCH(QString, ext);
    QFETCH(QString, videoCodec);

    const QString folder = NewDir(QStringLiteral("copy/") + QTest::currentDataTag());
    const QString src = QDir(folder).filePath(QStringLiteral("disc") + srcExt);
    QVERIFY(TestSupport::RunFfmpeg({ "-i", clip, "-c:v", "mpeg2video", "-c:a", "mp2", src }));
    ConvertSettings settings = Settings(QString::fromLatin1(SameAsSourceFile), KRVAVCodecID(id), ext);
    settings.scale = true;
    settings.transform = true;
    settings.rotate = true;

    const ItemConvertResult r = ThreadFunction(Job(src, &settings));
    QCOMPARE(r.result, int(ConvertSucceeded));
    QCOMPARE(r.tgtFiles.size(), 1);
    const QString streams = TestSupport::ProbeStreams(r.tgtFiles.first());
    QCOMPARE(TestSupport::ProbeValue(streams, QStringLiteral("codec_name")), videoCodec);
    // A copied stream keeps its picture; the device profile rotates it.
    QCOMPARE(TestSupport::ProbeSize(r.tgtFiles.first()),
             videoCodec == QLatin1String("h264") ? QStringLiteral("120x160") : QStringLiteral("160x120"));
}

void TestConvertJob::missingSource()
{
    const QString folder = NewDir(QStringLiteral("missing-source"));
    const ConvertSettings settings = Settings(folder);
    const ItemConvertResult r = ThreadFunction(Job(QDir(folder).filePath(QStringLiteral("gone.avi")), &settings));
    QCOMPARE(r.result, int(ConvertFailed));
    QVERIFY(r.tgtFiles.isEmpty());
    QVERIFY(QDir(folder).isEmpty());
}

void TestConvertJob::missingTranscoder()
{
    const QString folder = NewDir(QStringLiteral("missing-transcoder"));
    const ConvertSettings settings = Settings(folder);
    const ItemConvertResult r = RunConvertJob(Job(clip, &settings), tmp.filePath(QStringLiteral("nowhere/ffmpeg")));
    QCOMPARE(r.result, int(ConvertFailed));
    QVERIFY(r.tgtFiles.isEmpty());
    QVERIFY(QDir(folder).isEmpty());
}

void TestConvertJob::unstartableTranscoder()
{
    const QString folder = NewDir(QStringLiteral("unstartable"));
    const QString program = tmp.filePath(QStringLiteral("not-executable"));
    QVERIFY(TestSupport::WriteBytes(program, "#!/bin/sh\nexit 0\n"));
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner));
    const ConvertSettings settings = Settings(folder);

    QElapsedTimer timer;
    timer.start();
    const ItemConvertResult r = RunConvertJob(Job(clip, &settings), program);
    QCOMPARE(r.result, int(ConvertFailed));
    QVERIFY2(timer.elapsed() < 1500, "the job waited on a program that never started");
    QVERIFY(QDir(folder).isEmpty());
}

void TestConvertJob::garbageSource()
{
    const QString folder = NewDir(QStringLiteral("garbage"));
    const QString src = QDir(folder).filePath(QStringLiteral("noise.avi"));
    QByteArray noise(64 * 1024, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    QVERIFY(TestSupport::WriteBytes(src, noise));
    const ConvertSettings settings = Settings(QString::fromLatin1(SameAsSourceFile));

    const ItemConvertResult r = ThreadFunction(Job(src, &settings));
    QCOMPARE(r.result, int(ConvertFailed));
    QVERIFY(r.tgtFiles.isEmpty());
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{ "noise.avi" });
}

void TestConvertJob::garbageSourceLeavesStaleTarget()
{
    const QString folder = NewDir(QStringLiteral("stale"));
    const QString src = QDir(folder).filePath(QStringLiteral("noise.avi"));
    QVERIFY(TestSupport::WriteBytes(src, QByteArray(4096, 'z')));
    ConvertSettings settings = Settings(QString::fromLatin1(SameAsSourceFile));
    settings.exists = 1;

    const QString target = QDir(folder).filePath(QStringLiteral("noise.mp4"));
    for (const QByteArray &stale : { QByteArray(), QByteArray("someone else's file") }) {
        QVERIFY(TestSupport::WriteBytes(target, stale));
        const ItemConvertResult r = ThreadFunction(Job(src, &settings));
        QCOMPARE(r.result, int(ConvertFailed));
        QVERIFY(r.tgtFiles.isEmpty());
        QVERIFY2(QFileInfo::exists(target), "a file the transcoder never opened was removed");
        QCOMPARE(FileHash(target), QCryptographicHash::hash(stale, QCryptographicHash::Sha256));
    }
}

void TestConvertJob::encoderRefusalRemovesTarget()
{
    // The H.264 encoder refuses odd frame sizes after the transcoder has created the target.
    const QString folder = NewDir(QStringLiteral("refused"));
    ConvertSettings settings = Settings(folder);
    settings.scale = true;
    settings.scaleW = 161;
    settings.scaleH = 121;
    const QString target = QDir(folder).filePath(QStringLiteral("clip.mp4"));

    ItemConvertResult r = ThreadFunction(Job(clip, &settings));
    QCOMPARE(r.result, int(ConvertFailed));
    QVERIFY(r.tgtFiles.isEmpty());
    QVERIFY(!QFileInfo::exists(target));

    settings.exists = 1;
    QVERIFY(TestSupport::WriteBytes(target, QByteArray()));
    r = ThreadFunction(Job(clip, &settings));
    QCOMPARE(r.result, int(ConvertFailed));
    QVERIFY2(!QFileInfo::exists(target), "the rewritten 0-byte target was left behind");
}

void TestConvertJob::fakeTranscoderOutcomes_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("targetLeft");

    QTest::newRow("writes, exit 0") << QByteArray("echo data > \"$tgt\"\nexit 0\n") << 0 << true;
    QTest::newRow("writes, exit 1") << QByteArray("echo data > \"$tgt\"\nexit 1\n") << 1 << false;
    QTest::newRow("empty file, exit 0") << QByteArray(": > \"$tgt\"\nexit 0\n") << 1 << false;
    QTest::newRow("nothing written, exit 0") << QByteArray("exit 0\n") << 1 << false;
    QTest::newRow("writes, then crashes") << QByteArray("echo data > \"$tgt\"\nkill -SEGV $$\n") << 1 << false;
}

void TestConvertJob::fakeTranscoderOutcomes()
{
    QFETCH(QByteArray, script);
    QFETCH(int, result);
    QFETCH(bool, targetLeft);

    const QString folder = NewDir(QStringLiteral("fake/") + QTest::currentDataTag());
    const QString program = QDir(folder).filePath(QStringLiteral("fake-ffmpeg"));
    QVERIFY(WriteScript(program, script));
    const QString out = NewDir(QStringLiteral("fake/") + QTest::currentDataTag() + QStringLiteral("/out"));
    const ConvertSettings settings = Settings(out);

    const ItemConvertResult r = RunConvertJob(Job(clip, &settings), program);
    QCOMPARE(r.result, result);
    const QString target = QDir(out).filePath(QStringLiteral("clip.mp4"));
    QCOMPARE(r.tgtFiles, result == 0 ? QStringList{ target } : QStringList());
    QCOMPARE(QFileInfo::exists(target), targetLeft);
}

void TestConvertJob::targetEqualToSource()
{
    const QString folder = NewDir(QStringLiteral("same"));
    const QString src = QDir(folder).filePath(QStringLiteral("clip.mkv"));
    QVERIFY(QFile::copy(clip, src));
    const QByteArray before = FileHash(src);
    ConvertSettings settings = Settings(QString::fromLatin1(SameAsSourceFile), KRVAVCodecID_MKV, ".mkv");
    settings.exists = 1;

    const QString marker = QDir(folder).filePath(QStringLiteral("started"));
    const QString program = QDir(folder).filePath(QStringLiteral("fake-ffmpeg"));
    QVERIFY(WriteScript(program, "touch '" + QFile::encodeName(marker) + "'\n"));

    ItemConvertResult r = RunConvertJob(Job(src, &settings), program);
    QCOMPARE(r.result, int(ConvertFailed));
    QVERIFY2(!QFileInfo::exists(marker), "the transcoder was started on its own input");

    r = ThreadFunction(Job(src, &settings));
    QCOMPARE(r.result, int(ConvertFailed));
    QVERIFY(r.tgtFiles.isEmpty());

    // The same file reached through a linked folder.
    const QString link = tmp.filePath(QStringLiteral("same-link"));
    QVERIFY(QFile::link(folder, link));
    settings.tgtFolder = link;
    r = ThreadFunction(Job(src, &settings));
    QCOMPARE(r.result, int(ConvertFailed));

    QCOMPARE(FileHash(src), before);

    // In unique mode the source's name counts as taken, so the job converts beside it.
    settings.exists = 0;
    settings.tgtFolder = QString::fromLatin1(SameAsSourceFile);
    r = ThreadFunction(Job(src, &settings));
    QCOMPARE(r.result, int(ConvertSucceeded));
    QCOMPARE(r.tgtFiles, QStringList{ QDir(folder).filePath(QStringLiteral("clip-1.mkv")) });
    QCOMPARE(FileHash(src), before);
}

void TestConvertJob::concurrentJobsSameBaseName()
{
    const QString folder = NewDir(QStringLiteral("concurrent"));
    const QString avi = QDir(folder).filePath(QStringLiteral("clip.avi"));
    const QString mkv = QDir(folder).filePath(QStringLiteral("clip.mkv"));
    QVERIFY(TestSupport::MakeClip(avi, 1.0, QStringLiteral("160x120")));
    QVERIFY(QFile::copy(clip, mkv));
    const ConvertSettings settings = Settings(QString::fromLatin1(SameAsSourceFile));

    const QList<ItemConvertResult> results = QtConcurrent::blockingMapped<QList<ItemConvertResult>>(
        QVector<AVConvertData>{ Job(avi, &settings), Job(mkv, &settings) }, ThreadFunction);
    QCOMPARE(results.size(), 2);
    QStringList targets;
    for (const ItemConvertResult &r : results) {
        QCOMPARE(r.result, int(ConvertSucceeded));
        QCOMPARE(r.tgtFiles.size(), 1);
        QCOMPARE(TestSupport::ProbeSize(r.tgtFiles.first()), QStringLiteral("160x120"));
        targets << QFileInfo(r.tgtFiles.first()).fileName();
    }
    targets.sort();
    QCOMPARE(targets, (QStringList{ "clip-1.mp4", "clip.mp4" }));
}

void TestConvertJob::concurrentOverwriteSameTarget()
{
    const QString folder = NewDir(QStringLiteral("concurrent-overwrite"));
    const QString count = QDir(folder).filePath(QStringLiteral("starts"));
    const QString program = QDir(folder).filePath(QStringLiteral("slow-ffmpeg"));
    QVERIFY(WriteScript(program, "echo start >> '" + QFile::encodeName(count)
                                     + "'\nsleep 2\necho data > \"$tgt\"\nexit 0\n"));
    const QString out = NewDir(QStringLiteral("concurrent-overwrite/out"));
    ConvertSettings settings = Settings(out);
    settings.exists = 1;
    const QString other = QDir(NewDir(QStringLiteral("concurrent-overwrite/other"))).filePath("clip.avi");
    QVERIFY(QFile::copy(clip, other));

    const AVConvertData firstJob = Job(clip, &settings);
    QFuture<ItemConvertResult> first = QtConcurrent::run(RunConvertJob, firstJob, program);
    const CancelOnExit guard{ firstJob.cancelFlag, first };
    QTRY_VERIFY(QFileInfo::exists(count));
    QElapsedTimer timer;
    timer.start();
    const ItemConvertResult second = RunConvertJob(Job(other, &settings), program);
    QCOMPARE(second.result, int(ConvertFailed));
    QVERIFY(timer.elapsed() < 1500);
    QVERIFY(!first.isFinished());

    first.waitForFinished();
    QCOMPARE(first.result().result, int(ConvertSucceeded));
    QFile starts(count);
    QVERIFY(starts.open(QIODevice::ReadOnly));
    QCOMPARE(starts.readAll(), QByteArray("start\n"));

    // The reservation ends with the job: the same target is free again.
    QCOMPARE(RunConvertJob(Job(other, &settings), program).result, int(ConvertSucceeded));
}

void TestConvertJob::cancelDuringLongConversion()
{
    const QString folder = NewDir(QStringLiteral("cancel"));
    const QString src = QDir(folder).filePath(QStringLiteral("long.avi"));
    QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=duration=30:size=320x240:rate=25", "-f", "lavfi",
                                     "-i", "sine=duration=30", "-c:v", "mpeg4", "-q:v", "10", src }));
    const QString out = NewDir(QStringLiteral("cancel/out"));
    ConvertSettings settings = Settings(out, KRVAVCodecID_WEBM, ".webm");
    settings.scale = true;
    settings.scaleW = 1280;
    settings.scaleH = 720;
    const QString target = QDir(out).filePath(QStringLiteral("long.webm"));

    const AVConvertData job = Job(src, &settings);
    QFuture<ItemConvertResult> future = QtConcurrent::run(ThreadFunction, job);
    const CancelOnExit guard{ job.cancelFlag, future };
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(target) && ProcessRunningWith(target), 20000);
    QVERIFY(!future.isFinished());

    QElapsedTimer timer;
    timer.start();
    job.cancelFlag->store(true);
    QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 5000);
    QVERIFY2(timer.elapsed() < 3600, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
    QCOMPARE(future.result().result, int(ConvertCanceled));
    QVERIFY(future.result().tgtFiles.isEmpty());
    QVERIFY(!ProcessRunningWith(target));
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(QDir(out).isEmpty());
}

void TestConvertJob::cancelKeepsUntouchedFile()
{
    const QString folder = NewDir(QStringLiteral("cancel-untouched"));
    const QString program = QDir(folder).filePath(QStringLiteral("sleepy-ffmpeg"));
    // Killing the shell must not leave a long sleeper behind, so it naps in short steps.
    QVERIFY(WriteScript(program, "while :; do sleep 0.1; done\n"));
    const QString out = NewDir(QStringLiteral("cancel-untouched/out"));
    const QString target = QDir(out).filePath(QStringLiteral("clip.mp4"));
    QVERIFY(TestSupport::WriteBytes(target, "older file"));
    ConvertSettings settings = Settings(out);
    settings.exists = 1;

    const AVConvertData job = Job(clip, &settings);
    QFuture<ItemConvertResult> future = QtConcurrent::run(RunConvertJob, job, program);
    const CancelOnExit guard{ job.cancelFlag, future };
    QTRY_VERIFY(ProcessRunningWith(target));
    job.cancelFlag->store(true);
    QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 5000);
    QCOMPARE(future.result().result, int(ConvertCanceled));
    QVERIFY(!ProcessRunningWith(target));
    QCOMPARE(FileHash(target), QCryptographicHash::hash("older file", QCryptographicHash::Sha256));
}

void TestConvertJob::jobAfterCancel()
{
    const QString folder = NewDir(QStringLiteral("after-cancel"));
    const ConvertSettings settings = Settings(folder);
    AVConvertData job = Job(clip, &settings);
    job.cancelFlag->store(true);

    QElapsedTimer timer;
    timer.start();
    const ItemConvertResult r = ThreadFunction(job);
    QCOMPARE(r.result, int(ConvertCanceled));
    QVERIFY(r.tgtFiles.isEmpty());
    QVERIFY(timer.elapsed() < 1000);
    QVERIFY(QDir(folder).isEmpty());
}

QTEST_MAIN(TestConvertJob)
#include "test_convertjob.moc"
