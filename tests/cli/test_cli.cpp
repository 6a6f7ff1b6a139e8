#include "testsupport.h"

#include "cli/targetformats.h"
#include "krv/av/avcodec.h"

#include <csignal>

using namespace TestSupport;

class TestCli : public QObject
{
    Q_OBJECT
    Fixture fixture;
    QTemporaryDir tmp;

    static QStringList Entries(const QString &folder) { return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }
    static QStringList Lines(const QByteArray &text) { return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts); }
    // The exit code, or -1 when it did not end normally within a minute; out and err get the lines.
    int RunCli(const QStringList &args, QStringList &out, QStringList &err)
    {
        QProcess p;
        p.setWorkingDirectory(tmp.path());
        p.start(QDir(AppDir()).absoluteFilePath("reelway-cli"), args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return -1;
        out = Lines(p.readAllStandardOutput()), err = Lines(p.readAllStandardError());
        return p.exitCode();
    }

private slots:
    void formatMatching_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<int>("id"); QTest::addColumn<QString>("extension");
        QTest::newRow("extension names the format, not a device") << "mp4" << int(KRVAVCodecID_MP4) << ".mp4";
        QTest::newRow("second extension") << ".m4a" << int(KRVAVCodecID_MOV) << ".m4a";
        QTest::newRow("device by name, any case") << "iphone 4s" << int(KRVAVCodecID_iPhone4S) << ".mp4";
        QTest::newRow("name other than extension") << "3gp2" << int(KRVAVCodecID_3GP2) << ".3g2";
    }

    void formatMatching()
    {
        QFETCH(QString, text); QFETCH(int, id); QFETCH(QString, extension);
        TargetFormat format;
        QVERIFY2(FindTargetFormat(text, format) && int(format.id) == id && format.extension == extension, qPrintable(format.extension));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args"); QTest::addColumn<QString>("message");
        QTest::newRow("no files") << QStringList{ "-f", "mp4" } << "no files given";
        QTest::newRow("format that is only read") << QStringList{ "-f", "4xm", "clip.mkv" } << "unknown format '4xm'";
        QTest::newRow("missing output folder") << QStringList{ "-o", "nowhere", "clip.mkv" } << "output folder 'nowhere'";
        QTest::newRow("output is a file") << QStringList{ "-o", "clip.mkv", "clip.mkv" } << "output folder 'clip.mkv'";
        QTest::newRow("missing file") << QStringList{ "clip.mkv", "gone.avi" } << "no such file or folder 'gone.avi'";
        QTest::newRow("no jobs") << QStringList{ "-j", "0", "clip.mkv" } << "number of jobs '0'";
        QTest::newRow("too many jobs") << QStringList{ "-j", "100000", "clip.mkv" } << "number of jobs '100000' is above 64";
        QTest::newRow("unknown option") << QStringList{ "--speed", "clip.mkv" } << "Unknown option 'speed'";
        QTest::newRow("empty folder") << QStringList{ "empty" } << "hold no files";
    }

    // Nothing is converted or written before the usage is checked.
    void usageErrors()
    {
        QFETCH(QStringList, args); QFETCH(QString, message);
        QVERIFY(WriteBytes(tmp.filePath("clip.mkv"), "not a clip") && QDir().mkpath(tmp.filePath("empty")));
        const QStringList before = Entries(tmp.path());
        QStringList out, err;
        QCOMPARE(RunCli(args, out, err), 2);
        QVERIFY2(out.isEmpty() && err.size() == 1 && err.first().startsWith("reelway-cli: ") && err.first().contains(message), qPrintable(err.join('\n')));
        QCOMPARE(Entries(tmp.path()), before);
    }

    // One good file and one that is not media, plain and as JSON; reasons and the log's
    // name are the program's own, so only their presence and form are checked.
    void batchWithGarbage()
    {
        const QString good = tmp.filePath("batch/a.mkv");
        QVERIFY(QDir(tmp.path()).mkpath("batch/sub") && QDir(tmp.path()).mkpath("plain") && QDir(tmp.path()).mkpath("json"));
        QVERIFY(QFile::copy(Clip(), good) && WriteBytes(tmp.filePath("batch/sub/b.avi"), QByteArray(4096, 'x')));
        // JSON in single quotes, the reasons and the log's name masked, in a fixed order.
        const auto outcome = [](QStringList lines) {
            lines = lines.filter(QRegularExpression("^(Succeeded|Failed|Selected|Details)|\"event\":\"(start|result|summary)"));
            lines.replaceInStrings("\"", "'").replaceInStrings(QRegularExpression("[^ ']*batch-[^ ']*\\.log"), "batch.log");
            lines.replaceInStrings(QRegularExpression("^(Failed  \\S+: )\\S.*|('reason':')(\\\\.|[^'\\\\])+"), "\\1\\2why");
            lines.sort();
            return lines;
        };
        QStringList out, err;
        QCOMPARE(RunCli({ "-f", ".MP4", "-o", "plain", "-j", "2", "batch/a.mkv", "batch/sub/b.avi" }, out, err), 1);
        QCOMPARE(outcome(out), QStringList({ "Details of the failures: batch.log", "Failed  batch/sub/b.avi: why",
                                             "Selected Files: 2  Succeeded Files: 1  Failed Files: 1  Canceled Files: 0",
                                             "Succeeded  batch/a.mkv -> " + tmp.filePath("plain/a.mp4") }));
        QCOMPARE(ProbeSize(tmp.filePath("plain/a.mp4")), QString("160x120"));

        // The folder is walked as Add Folder walks it: through sub-folders, but no links, no linked
        // folders (this one holds plain/a.mp4), no names without a dot.
        QVERIFY(QFile::link(good, tmp.filePath("batch/link.mkv")) && WriteBytes(tmp.filePath("batch/README"), "x") && QFile::link(tmp.filePath("plain"), tmp.filePath("batch/x.d")));
        QCOMPARE(RunCli({ "--json", "--effects", "-f", "mkv", "-o", "json", "batch" }, out, err), 1);
        QVERIFY2(out.last().contains("\"event\":\"summary\""), qPrintable(out.last()));
        for (const QString &line : out.filter("\"event\":\"progress\""))
            QVERIFY2(line.contains("\"percent\":") && line.contains("\"source\":\"batch/"), qPrintable(line));
        QCOMPARE(outcome(out), QStringList({ "{'canceled':0,'event':'summary','failed':1,'log':'batch.log','selected':2,'succeeded':1}",
                               "{'event':'result','reason':'why','result':'Failed','source':'batch/sub/b.avi'}",
                               "{'event':'result','result':'Succeeded','source':'batch/a.mkv','target':'" + tmp.filePath("json/a.mkv") + "'}",
                               "{'event':'start','source':'batch/a.mkv'}", "{'event':'start','source':'batch/sub/b.avi'}" }));
        QCOMPARE(QDir(tmp.filePath("json")).entryList(QDir::Files | QDir::Hidden), QStringList("a.mkv"));
        // Reading the window's effects writes nothing of the window's.
        QVERIFY(!QFileInfo::exists(fixture.path("config/Korvent/Reelway.conf")));
    }

    // Either signal cancels the running job: its file goes, the result and summary say so.
    void signalCancels()
    {
        const QString source = tmp.filePath("long.mkv");
        QVERIFY(MakeStalledSource(source));
        for (int signal : { SIGINT, SIGTERM }) {
            const QString out = tmp.filePath(QStringLiteral("cancel%1").arg(signal));
            QVERIFY(QDir().mkpath(out));
            QProcess p;
            p.start(QDir(AppDir()).absoluteFilePath("reelway-cli"), { "--json", "-o", out, source });
            // The transcoder is at work once its hidden output exists; the stalled source keeps it there.
            QTRY_VERIFY_WITH_TIMEOUT(!QDir(out).entryList({ ".reelway-*" }, QDir::Files | QDir::Hidden).isEmpty()
                                         && QProcess::execute("pgrep", { "-f", out }) == 0, 20000);
            ::kill(pid_t(p.processId()), signal);
            QVERIFY(p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 130);
            const QStringList events = Lines(p.readAllStandardOutput());
            QVERIFY2(events.size() >= 2 && events.at(events.size() - 2).contains("\"result\":\"Canceled\"")
                         && events.last().contains("\"canceled\":1,\"event\":\"summary\""), qPrintable(events.join('\n')));
            QVERIFY(Entries(out).isEmpty() && QProcess::execute("pgrep", { "-f", out }) != 0);
        }
    }

    void listFormats()
    {
        QStringList expected, out, err;
        for (int id = 0; id < KRVAVCodecTableSize(); ++id) {
            const KRVAVCodecEntry &row = KRVAVCodecTableRow(KRVAVCodecID(id));
            for (const QString &extension : row.writable ? KRVAVCodec(KRVAVCodecID(id)).GetExtensions() : QStringList())
                expected << row.name + " (" + extension + ")";
        }
        QCOMPARE(expected.size(), 62);
        QCOMPARE(RunCli({ "--list-formats" }, out, err), 0);
        QCOMPARE(out, expected);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
