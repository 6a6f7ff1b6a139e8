#include "testsupport.h"

#include "cli/targetformats.h"
#include "krv/av/avcodec.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <csignal>

using namespace TestSupport;

namespace {

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

class TestCli : public QObject
{
    Q_OBJECT

    Fixture fixture;
    QTemporaryDir tmp;

    // The exit code, or -1 when it did not end normally within a minute.
    int RunCli(const QStringList &args, QStringList *out = nullptr, QStringList *err = nullptr)
    {
        QProcess p;
        p.setWorkingDirectory(tmp.path());
        p.start(QDir(AppDir()).absoluteFilePath("reelway-cli"), args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return -1;
        if (out)
            *out = Lines(p.readAllStandardOutput());
        if (err)
            *err = Lines(p.readAllStandardError());
        return p.exitCode();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        QVERIFY(QFileInfo(QDir(AppDir()).absoluteFilePath("reelway-cli")).isExecutable());
    }

    void formatMatching_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("extension");
        QTest::newRow("extension names the format, not a device") << "mp4" << int(KRVAVCodecID_MP4) << ".mp4";
        QTest::newRow("dotted, any case") << ".MKV" << int(KRVAVCodecID_MKV) << ".mkv";
        QTest::newRow("second extension") << "mka" << int(KRVAVCodecID_MKV) << ".mka";
        QTest::newRow("second extension of MOV") << ".m4a" << int(KRVAVCodecID_MOV) << ".m4a";
        QTest::newRow("device by name, any case") << "iphone 4s" << int(KRVAVCodecID_iPhone4S) << ".mp4";
        QTest::newRow("name other than extension") << "3gp2" << int(KRVAVCodecID_3GP2) << ".3g2";
        QTest::newRow("readable only") << "4xm" << int(KRVAVCodecID_None) << "";
        QTest::newRow("unknown") << "mp5" << int(KRVAVCodecID_None) << "";
    }

    void formatMatching()
    {
        QFETCH(QString, text);
        QFETCH(int, id);
        QFETCH(QString, extension);
        TargetFormat format;
        QCOMPARE(FindTargetFormat(text, format), id != KRVAVCodecID_None);
        QCOMPARE(int(format.id), id);
        QCOMPARE(format.extension, extension);
    }

    void usageErrors_data()
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

    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QVERIFY(WriteBytes(tmp.filePath("clip.mkv"), "not converted before the usage is checked"));
        QVERIFY(QDir().mkpath(tmp.filePath("empty")));
        const QStringList before = QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QStringList out, err;
        QCOMPARE(RunCli(args, &out, &err), 2);
        QVERIFY(out.isEmpty());
        QCOMPARE(err.size(), 1);
        QVERIFY2(err.first().startsWith("reelway-cli: ") && err.first().contains(message), qPrintable(err.first()));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    }

    void batchWithGarbage()
    {
        const QString good = tmp.filePath("batch/a.mkv");
        QVERIFY(QDir().mkpath(tmp.filePath("batch")) && QFile::copy(Clip(), good));
        QVERIFY(WriteBytes(tmp.filePath("batch/b.avi"), QByteArray(4096, 'x')));
        QVERIFY(QDir().mkpath(tmp.filePath("plain")) && QDir().mkpath(tmp.filePath("json")));

        QStringList out;
        QCOMPARE(RunCli({ "-f", ".MP4", "-o", "plain", "-j", "2", "batch/a.mkv", "batch/b.avi" }, &out), 1);
        QVERIFY(out.contains("Succeeded  batch/a.mkv -> " + tmp.filePath("plain/a.mp4")));
        QCOMPARE(ProbeSize(tmp.filePath("plain/a.mp4")), QString("160x120"));
        QCOMPARE(out.filter(QRegularExpression("^Failed  batch/b.avi: \\S")).size(), 1);
        QVERIFY(out.contains("Selected Files: 2  Succeeded Files: 1  Failed Files: 1  Canceled Files: 0"));
        QCOMPARE(out.filter(QRegularExpression("^Details of the failures: .*batch-.*\\.log$")).size(), 1);

        // The folder is walked as Add Folder walks it: no links, no names without a dot.
        QVERIFY(QFile::link(good, tmp.filePath("batch/link.mkv")));
        QVERIFY(WriteBytes(tmp.filePath("batch/README"), "x"));
        QCOMPARE(RunCli({ "--json", "--effects", "-f", "mkv", "-o", "json", "batch" }, &out), 1);
        const QList<QJsonObject> events = Events(out);
        QStringList seen;
        for (const QJsonObject &e : events) {
            const QString kind = e.value("event").toString();
            if (kind == "progress")
                QVERIFY(e.value("source").toString().startsWith("batch/") && e.contains("percent"));
            else if (kind != "summary")
                seen << QStringList{ kind, e.value("source").toString(), e.value("result").toString(),
                                     e.value("target").toString(), e.value("reason").toString().isEmpty() ? "" : "why" }
                            .join(' ');
        }
        seen.sort();
        QCOMPARE(seen, QStringList({ "result batch/a.mkv Succeeded " + tmp.filePath("json/a.mkv") + " ",
                                     "result batch/b.avi Failed  why", "start batch/a.mkv   ", "start batch/b.avi   " }));
        QCOMPARE(out.last().remove(QRegularExpression(",\"log\":\"[^\"]+batch-[^\"]+\\.log\"")),
                 QString(R"({"canceled":0,"event":"summary","failed":1,"selected":2,"succeeded":1})"));
        QCOMPARE(QDir(tmp.filePath("json")).entryList(QDir::Files | QDir::Hidden), QStringList("a.mkv"));
        // Reading the window's effects writes nothing of the window's.
        QVERIFY(!QFileInfo::exists(tmp.filePath("home/config/Korvent/Reelway.conf")));
    }

    void signalCancels_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    void signalCancels()
    {
        QFETCH(int, signal);
        const QString source = tmp.filePath("long.mkv");
        QVERIFY(QFileInfo::exists(source) || MakeStalledSource(source));
        const QString out = tmp.filePath(QStringLiteral("cancel%1").arg(signal));
        QVERIFY(QDir().mkpath(out));
        QProcess p;
        p.start(QDir(AppDir()).absoluteFilePath("reelway-cli"), { "--json", "-o", out, source });
        // The transcoder is at work once its hidden output exists; the stalled source keeps it there.
        const auto working = [&]() {
            return !QDir(out).entryList({ ".reelway-*" }, QDir::Files | QDir::Hidden).isEmpty() && ProcessRunningIn(out);
        };
        QTRY_VERIFY_WITH_TIMEOUT(working(), 20000);
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 130);
        const QList<QJsonObject> events = Events(Lines(p.readAllStandardOutput()));
        QCOMPARE(events.at(events.size() - 2).value("result").toString(), QString("Canceled"));
        QCOMPARE(events.last().value("canceled").toInt(), 1);
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(!ProcessRunningIn(tmp.path()));
    }

    void listFormats()
    {
        QStringList expected;
        for (int id = 0; id < KRVAVCodecTableSize(); ++id) {
            for (const QString &extension : KRVAVCodec(KRVAVCodecID(id)).GetExtensions()) {
                if (KRVAVCodecTableRow(KRVAVCodecID(id)).writable)
                    expected << KRVAVCodecTableRow(KRVAVCodecID(id)).name + " (" + extension + ")";
            }
        }
        QCOMPARE(expected.size(), 62);
        QStringList out;
        QCOMPARE(RunCli({ "--list-formats" }, &out), 0);
        QCOMPARE(out, expected);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
