#include "testsupport.h"

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "convert/jobjournal.h"
#include "krv/av/avcodec.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QtConcurrent>
#include <QtTest>

#include <csignal>
#include <unistd.h>

namespace {

using namespace TestSupport;

ConvertSettings Settings(int exists)
{
    ConvertSettings s;
    s.tgtFolder = QString::fromLatin1(SameAsSourceFile);
    s.tgtID = KRVAVCodecID_MP4;
    s.tgtFormat = QStringLiteral(".mp4");
    s.exists = exists;
    return s;
}

// Every entry of folder (links by their target text, files by their bytes), so any write,
// replacement or removal shows.
QMap<QString, QByteArray> Snapshot(const QString &folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QFile file(info.filePath());
        entries[info.filePath()] = info.isSymLink() ? info.symLinkTarget().toUtf8()
                                   : info.isDir()   ? QByteArray("<dir>")
                                   : file.open(QIODevice::ReadOnly)
                                       ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1)
                                       : QByteArray("<unreadable>");
    }
    return entries;
}

bool TranscoderRunningIn(const QString &folder)
{
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(QFile::encodeName(folder)))
            return true;
    }
    return false;
}

QStringList Temporaries(const QString &folder)
{
    return QDir(folder).entryList({ QStringLiteral(".reelway-*") }, QDir::Files | QDir::Hidden);
}

// The command-line converter: the same jobs as the window, in a process of its own.
QProcess *StartConverter(QObject *parent, const QStringList &args)
{
    auto *process = new QProcess(parent);
    process->start(QDir(QCoreApplication::applicationDirPath()).filePath("reelway-cli"), args);
    return process;
}

} // namespace

class TestDataSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(media.isValid());
        QVERIFY(MakeClip(media.filePath("short.mkv"), 0.5, "160x120"));
        QVERIFY(MakeClip(media.filePath("long.mkv"), 30, "640x480"));
    }

    void neverLosesAFile_data();
    void neverLosesAFile();
    void killedRunLeavesNothing();

private:
    QTemporaryDir media;
};

enum Scenario { OtherSource, CancelOverOld, FailOverOld, HardLinkToSource, DanglingLink, TwoProcesses };

void TestDataSafety::neverLosesAFile_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<int>("exists");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QStringList>("produced");

    QTest::newRow("overwrite onto another listed source") << int(OtherSource) << 1 << int(ConvertFailed) << QStringList();
    QTest::newRow("cancel keeps the old target") << int(CancelOverOld) << 1 << int(ConvertCanceled) << QStringList();
    QTest::newRow("failure after writing keeps the old target")
        << int(FailOverOld) << 1 << int(ConvertFailed) << QStringList();
    QTest::newRow("target name is a hard link to the source")
        << int(HardLinkToSource) << 1 << int(ConvertFailed) << QStringList();
    QTest::newRow("dangling link is a taken name")
        << int(DanglingLink) << 0 << int(ConvertSucceeded) << QStringList{ "movie-1.mp4" };
    QTest::newRow("two processes, one name")
        << int(TwoProcesses) << 0 << int(ConvertSucceeded) << QStringList{ "movie.mp4", "movie-1.mp4" };
}

void TestDataSafety::neverLosesAFile()
{
    QFETCH(int, scenario);
    QFETCH(int, exists);
    QFETCH(int, outcome);
    QFETCH(QStringList, produced);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath("in #1 'x'");
    QVERIFY(QDir().mkpath(folder));
    const QString src = folder + "/movie.mkv";
    QVERIFY(QFile::copy(media.filePath(scenario == CancelOverOld ? "long.mkv" : "short.mkv"), src));
    const QString oldTarget = folder + "/movie.mp4";
    QStringList listed{ src };
    QString transcoder = TranscoderPath();

    switch (scenario) {
    case OtherSource:
        QVERIFY(QFile::copy(media.filePath("short.mkv"), oldTarget));
        listed << oldTarget;
        break;
    case CancelOverOld:
        QVERIFY(WriteBytes(oldTarget, "the user's old file"));
        break;
    case FailOverOld:
        QVERIFY(WriteBytes(oldTarget, "the user's old file"));
        transcoder = dir.filePath("fails-after-writing");
        QVERIFY(WriteBytes(transcoder, "#!/bin/sh\nfor a in \"$@\"; do t=\"$a\"; done\nhead -c 5000 /dev/urandom > \"$t\"\nexit 1\n"));
        QVERIFY(QFile::setPermissions(transcoder, QFile::ReadOwner | QFile::ExeOwner));
        break;
    case HardLinkToSource:
        QCOMPARE(::link(QFile::encodeName(src).constData(), QFile::encodeName(oldTarget).constData()), 0);
        break;
    case DanglingLink:
        QVERIFY(QDir().mkpath(dir.filePath("elsewhere")));
        QVERIFY(QFile::link(dir.filePath("elsewhere/written-through.mp4"), oldTarget));
        break;
    }
    const QMap<QString, QByteArray> before = Snapshot(dir.path());

    QList<int> outcomes;
    if (scenario == TwoProcesses) {
        QObject owner;
        const QStringList args{ "-f", "mp4", src };
        for (QProcess *child : { StartConverter(&owner, args), StartConverter(&owner, args) }) {
            QVERIFY(child->waitForFinished(120000));
            outcomes << (child->exitCode() == 0 ? ConvertSucceeded : ConvertFailed);
        }
    } else {
        const ConvertSettings settings = Settings(exists);
        AVConvertData job;
        job.srcFile = src;
        job.settings = &settings;
        job.batch = std::make_shared<ConvertBatch>(listed);
        QFuture<ItemConvertResult> run = QtConcurrent::run(RunConvertJob, job, transcoder);
        if (scenario == CancelOverOld) {
            QTRY_VERIFY_WITH_TIMEOUT(TranscoderRunningIn(folder) && !Temporaries(folder).isEmpty(), 60000);
            job.batch->Cancel();
        }
        outcomes << run.result().result;
        QVERIFY(run.result().tgtFiles.isEmpty() == (outcome != ConvertSucceeded));
    }

    for (int got : outcomes)
        QCOMPARE(got, outcome);
    QVERIFY(!TranscoderRunningIn(folder));
    QVERIFY2(Temporaries(folder).isEmpty(), qPrintable(Temporaries(folder).join(' ')));
    const QMap<QString, QByteArray> after = Snapshot(dir.path());
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    QStringList added;
    for (const QString &path : after.keys()) {
        if (!before.contains(path))
            added << QFileInfo(path).fileName();
    }
    QCOMPARE(added.size(), produced.size());
    for (const QString &name : produced) {
        QVERIFY2(added.contains(name), qPrintable(added.join(' ')));
        QVERIFY2(!ProbeSize(folder + '/' + name).isEmpty(), qPrintable(name));
    }
}

// The real converter killed in the middle of a batch: its transcoders die with it, no half file carries
// a real name, and the next start removes what it left.
void TestDataSafety::killedRunLeavesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath("batch");
    const QString tmp = dir.filePath("tmp");
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(tmp));
    QStringList sources;
    for (const char *name : { "one.mkv", "two.mkv" }) {
        sources << folder + '/' + QLatin1String(name);
        QVERIFY(QFile::copy(media.filePath("long.mkv"), sources.last()));
    }
    const QMap<QString, QByteArray> before = Snapshot(folder);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", tmp);
    child.setProcessEnvironment(env);
    child.start(QDir(QCoreApplication::applicationDirPath()).filePath("reelway-cli"),
                QStringList{ "-j", "2", "-f", "mp4" } + sources);
    QTRY_VERIFY_WITH_TIMEOUT(Temporaries(folder).size() == 2
                                 && QDir(tmp).entryList({ "reelway-job-*" }, QDir::Dirs).size() == 2,
                             60000);
    QVERIFY(TranscoderRunningIn(folder));
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(!TranscoderRunningIn(folder), 10000);

    // Only hidden temporaries next to the untouched sources.
    QDirIterator it(folder, QDir::Files);
    while (it.hasNext())
        QVERIFY2(before.contains(it.next()), qPrintable(it.filePath()));
    QCOMPARE(Snapshot(folder).size(), before.size() + 2);

    // A journal names only what the program makes; a hostile one costs the user nothing.
    QVERIFY(WriteBytes(JobJournal::Folder() + "/run-1-hostile", QFile::encodeName(sources.first()) + "\n/\n"));
    JobJournal::Close(); // this process's own, of the earlier tests
    QCOMPARE(JobJournal::CleanUpDeadRuns(), 2); // the killed run's and the hostile one
    QCOMPARE(Snapshot(folder), before);
    QVERIFY(QDir(tmp).entryList({ "reelway-job-*" }, QDir::AllEntries | QDir::Hidden).isEmpty());
    QVERIFY(QDir(JobJournal::Folder()).entryList(QDir::Files).isEmpty());
}

QTEST_MAIN(TestDataSafety)
#include "test_datasafety.moc"
