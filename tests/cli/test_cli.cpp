#include "testsupport.h"

#include "cli/targetformats.h"
#include "krv/av/avcodec.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <csignal>

using namespace TestSupport;

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formatMatching_data();
    void formatMatching();
    void usageErrors_data();
    void usageErrors();
    void batchWithGarbage();
    void signalCancels_data();
    void signalCancels();
    void listFormats();

private:
    struct Run
    {
        int exitCode = -1;
        QStringList out;
        QStringList err;
    };
    Run RunCli(const QStringList &args);
    QString makeClip(const QString &name, double seconds, const QString &size = "320x240");

    QTemporaryDir tmp;
};

namespace {

QString CliPath()
{
    return QDir(AppDir()).absoluteFilePath("reelway-cli");
}

QStringList Lines(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).split('\n', Qt::SkipEmptyParts);
}

QList<QJsonObject> Events(const QStringList &lines)
{
    QList<QJsonObject> events;
    for (const QString &line : lines)
        events << QJsonDocument::fromJson(line.toUtf8()).object();
    return events;
}

bool ProcessRunningIn(const QString &folder)
{
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(QFile::encodeName(folder)))
            return true;
    }
    return false;
}

} // namespace

void TestCli::initTestCase()
{
    QVERIFY(tmp.isValid());
    IsolateUserDirs(tmp.filePath("home"));
    QVERIFY(QFileInfo(CliPath()).isExecutable());
}

TestCli::Run TestCli::RunCli(const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(tmp.path());
    p.start(CliPath(), args);
    Run run;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = p.exitCode();
    run.out = Lines(p.readAllStandardOutput());
    run.err = Lines(p.readAllStandardError());
    return run;
}

QString TestCli::makeClip(const QString &name, double seconds, const QString &size)
{
    const QString path = tmp.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return MakeClip(path, seconds, size) ? path : QString();
}

void TestCli::formatMatching_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("extension");
    QTest::newRow("bare extension names the format, not a device") << "mp4" << int(KRVAVCodecID_MP4) << ".mp4";
    QTest::newRow("dotted, any case") << ".MKV" << int(KRVAVCodecID_MKV) << ".mkv";
    QTest::newRow("second extension") << "mka" << int(KRVAVCodecID_MKV) << ".mka";
    QTest::newRow("second extension of MOV") << ".m4a" << int(KRVAVCodecID_MOV) << ".m4a";
    QTest::newRow("device by name") << "iphone 4s" << int(KRVAVCodecID_iPhone4S) << ".mp4";
    QTest::newRow("device by name, any case") << "XBOX 360" << int(KRVAVCodecID_Xbox360) << ".mp4";
    QTest::newRow("name other than extension") << "3gp2" << int(KRVAVCodecID_3GP2) << ".3g2";
    QTest::newRow("readable only") << "4xm" << int(KRVAVCodecID_None) << "";
    QTest::newRow("unknown") << "mp5" << int(KRVAVCodecID_None) << "";
    QTest::newRow("empty") << "" << int(KRVAVCodecID_None) << "";
}

void TestCli::formatMatching()
{
    QFETCH(QString, text);
    QFETCH(int, id);
    QFETCH(QString, extension);
    TargetFormat format;
    QCOMPARE(FindTargetFormat(text, format), id != KRVAVCodecID_None);
    QCOMPARE(int(format.id), id);
    QCOMPARE(format.extension, extension);
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no files") << QStringList{ "-f", "mp4" } << "no files given";
    QTest::newRow("unknown format") << QStringList{ "-f", "mp5", "clip.mkv" } << "unknown format 'mp5'";
    QTest::newRow("missing output folder") << QStringList{ "-o", "nowhere", "clip.mkv" } << "output folder 'nowhere'";
    QTest::newRow("output is a file") << QStringList{ "-o", "clip.mkv", "clip.mkv" } << "output folder 'clip.mkv'";
    QTest::newRow("missing file") << QStringList{ "clip.mkv", "gone.avi" } << "no such file or folder 'gone.avi'";
    QTest::newRow("no jobs") << QStringList{ "-j", "0", "clip.mkv" } << "number of jobs '0'";
    QTest::newRow("jobs not a number") << QStringList{ "-j", "two", "clip.mkv" } << "number of jobs 'two'";
    QTest::newRow("unknown option") << QStringList{ "--speed", "clip.mkv" } << "Unknown option 'speed'";
    QTest::newRow("empty folder") << QStringList{ "empty" } << "hold no files";
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QVERIFY(WriteBytes(tmp.filePath("clip.mkv"), "not converted before the usage is checked"));
    QVERIFY(QDir().mkpath(tmp.filePath("empty")));
    const QStringList before = QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const Run run = RunCli(args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err.size(), 1);
    QVERIFY2(run.err.first().startsWith("reelway-cli: ") && run.err.first().contains(message), qPrintable(run.err.first()));
    QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
}

void TestCli::batchWithGarbage()
{
    const QString good = makeClip("batch/a.mkv", 1);
    QVERIFY(!good.isEmpty());
    const QString garbage = tmp.filePath("batch/b.avi");
    QVERIFY(WriteBytes(garbage, QByteArray(4096, 'x')));
    QVERIFY(QDir().mkpath(tmp.filePath("plain")));
    QVERIFY(QDir().mkpath(tmp.filePath("json")));

    const Run plain = RunCli({ "-f", ".MP4", "-o", "plain", "-j", "2", "batch/a.mkv", "batch/b.avi" });
    QCOMPARE(plain.exitCode, 1);
    const QString target = tmp.filePath("plain/a.mp4");
    QVERIFY(plain.out.contains("Succeeded  batch/a.mkv -> " + target));
    QCOMPARE(ProbeSize(target), QString("320x240"));
    const QStringList failed = plain.out.filter(QRegularExpression("^Failed  batch/b.avi: \\S"));
    QCOMPARE(failed.size(), 1);
    QVERIFY(plain.out.contains("Selected Files: 2  Succeeded Files: 1  Failed Files: 1  Canceled Files: 0"));
    QCOMPARE(plain.out.filter(QRegularExpression("^Details of the failures: .*batch-.*\\.log$")).size(), 1);

    // The folder is walked as Add Folder walks it: no links, no names without a dot.
    QVERIFY(QFile::link(good, tmp.filePath("batch/link.mkv")));
    QVERIFY(WriteBytes(tmp.filePath("batch/README"), "x"));
    const Run json = RunCli({ "--json", "--effects", "-f", "mkv", "-o", "json", "batch" });
    QCOMPARE(json.exitCode, 1);
    const QList<QJsonObject> events = Events(json.out);
    QStringList started;
    QMap<QString, QJsonObject> results;
    for (const QJsonObject &event : events) {
        const QString kind = event.value("event").toString();
        QVERIFY2(QStringList({ "start", "progress", "result", "summary" }).contains(kind), qPrintable(kind));
        if (kind == "start")
            started << event.value("source").toString();
        if (kind == "result")
            results.insert(event.value("source").toString(), event);
    }
    started.sort();
    QCOMPARE(started, QStringList({ "batch/a.mkv", "batch/b.avi" }));
    QCOMPARE(results.keys(), started);
    QCOMPARE(results["batch/a.mkv"].value("result").toString(), QString("Succeeded"));
    QCOMPARE(results["batch/a.mkv"].value("target").toString(), tmp.filePath("json/a.mkv"));
    QCOMPARE(results["batch/b.avi"].value("result").toString(), QString("Failed"));
    QVERIFY(!results["batch/b.avi"].value("reason").toString().isEmpty());
    const QJsonObject summary = events.last();
    QCOMPARE(summary.value("event").toString(), QString("summary"));
    QCOMPARE(summary.value("selected").toInt(), 2);
    QCOMPARE(summary.value("succeeded").toInt(), 1);
    QCOMPARE(summary.value("failed").toInt(), 1);
    QCOMPARE(summary.value("canceled").toInt(), 0);
    QCOMPARE(QDir(tmp.filePath("json")).entryList(QDir::Files | QDir::Hidden), QStringList("a.mkv"));
    // Reading the window's effects writes nothing of the window's.
    QVERIFY(!QFileInfo::exists(tmp.filePath("home/config/Korvent/Reelway.conf")));
}

void TestCli::signalCancels_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestCli::signalCancels()
{
    QFETCH(int, signal);
    static const QString source = makeClip("long/long.mkv", 30, "640x480");
    QVERIFY(!source.isEmpty());
    const QString out = tmp.filePath(QStringLiteral("cancel%1").arg(signal));
    QVERIFY(QDir().mkpath(out));

    QProcess p;
    p.start(CliPath(), { "--json", "-o", out, source });
    QByteArray output;
    // Once the transcoder reports real progress, it is at work on the file.
    const auto working = [&]() {
        output += p.readAllStandardOutput();
        for (const QJsonObject &event : Events(Lines(output.left(output.lastIndexOf('\n') + 1)))) {
            if (event.value("event").toString() == "progress" && event.value("percent").toInt() >= 1)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(working(), 20000);
    ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 130);
    const QList<QJsonObject> events = Events(Lines(output + p.readAllStandardOutput()));
    QCOMPARE(events.last().value("canceled").toInt(), 1);
    QCOMPARE(events.last().value("selected").toInt(), 1);
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(!ProcessRunningIn(tmp.path()));
}

void TestCli::listFormats()
{
    QStringList expected;
    for (int id = 0; id < KRVAVCodecTableSize(); ++id) {
        const KRVAVCodecEntry &entry = KRVAVCodecTableRow(KRVAVCodecID(id));
        for (const QString &extension : KRVAVCodec(KRVAVCodecID(id)).GetExtensions()) {
            if (entry.writable)
                expected << entry.name + " (" + extension + ")";
        }
    }
    QCOMPARE(expected.size(), 62);
    const Run run = RunCli({ "--list-formats" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, expected);
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
