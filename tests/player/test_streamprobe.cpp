#include "player/streamprobe.h"
#include "testsupport.h"

#include <QtTest>

class TestStreamProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void resolutionOfFiles_data();
    void resolutionOfFiles();
    void valueRules_data();
    void valueRules();
    void sizeRules_data();
    void sizeRules();

private:
    QTemporaryDir tmp;
};

void TestStreamProbe::initTestCase()
{
    QVERIFY(tmp.isValid());
    TestSupport::IsolateUserDirs(tmp.path());
    QVERIFY(TestSupport::MakeClip(tmp.filePath("video.mp4"), 0.2, "1280x720", false));
    QVERIFY(TestSupport::MakeTone(tmp.filePath("tone.wav"), 0.2));
    QVERIFY(TestSupport::WriteBytes(tmp.filePath("garbage.mp4"), QByteArray(4096, '\x5a')));

    // A report larger than a pipe's buffer: the probe can only finish while the
    // filter is already reading.
    QStringList args = { "-f", "lavfi", "-i", "testsrc=duration=0.2:size=320x240", "-f", "lavfi", "-i",
                         "sine=duration=0.2", "-map", "0:v" };
    for (int i = 0; i < 100; ++i)
        args << "-map" << "1:a";
    args << "-c:v" << "mpeg4" << "-c:a" << "pcm_s16le" << tmp.filePath("many-streams.mkv");
    QVERIFY(TestSupport::RunFfmpeg(args));
    QVERIFY(TestSupport::ProbeStreams(tmp.filePath("many-streams.mkv")).size() > 65536);
}

void TestStreamProbe::resolutionOfFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("noFilter");
    QTest::addColumn<QString>("expected");
    QTest::newRow("video 1280x720") << "video.mp4" << false << "1280x720";
    QTest::newRow("101 streams") << "many-streams.mkv" << false << "320x240";
    QTest::newRow("audio only") << "tone.wav" << false << "untouched";
    QTest::newRow("garbage") << "garbage.mp4" << false << "untouched";
    QTest::newRow("missing file") << "nowhere.mp4" << false << "untouched";
    QTest::newRow("no grep on the search path") << "video.mp4" << true << "untouched";
}

void TestStreamProbe::resolutionOfFiles()
{
    QFETCH(QString, name);
    QFETCH(bool, noFilter);
    QFETCH(QString, expected);
    const QByteArray path = qgetenv("PATH");
    if (noFilter)
        qputenv("PATH", QFile::encodeName(tmp.path()));
    QString resolution = QStringLiteral("untouched");
    GetResolution(tmp.filePath(name), resolution);
    qputenv("PATH", path);
    QCOMPARE(resolution, expected);
}

void TestStreamProbe::valueRules_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain line") << QByteArray("width=1280\n") << "width" << true << "1280";
    QTest::newRow("first of several streams") << QByteArray("width=640\nwidth=1920\n") << "width" << true << "640";
    QTest::newRow("inside a longer key") << QByteArray("coded_width=1296\nwidth=1280\n") << "width" << true << "1296";
    QTest::newRow("key at the very end") << QByteArray("width=1280\nheight=") << "height" << false << "";
    QTest::newRow("value without line feed") << QByteArray("height=720") << "height" << false << "";
    QTest::newRow("empty value") << QByteArray("height=\nheight=720\n") << "height" << false << "";
    QTest::newRow("not available") << QByteArray("width=N/A\n") << "width" << true << "N/A";
    QTest::newRow("case matters") << QByteArray("WIDTH=1280\n") << "width" << false << "";
    QTest::newRow("no trimming") << QByteArray("width= 1280\r\n") << "width" << true << " 1280\r";
    QTest::newRow("text ends at NUL") << QByteArray("codec=x\0width=1280\n", 19) << "width" << false << "";
    QTest::newRow("UTF-8 value") << QByteArray("title=caf\xc3\xa9\n") << "title" << true << QString::fromUtf8("caf\xc3\xa9");
    QTest::newRow("no output") << QByteArray() << "width" << false << "";
}

void TestStreamProbe::valueRules()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, key);
    QFETCH(bool, found);
    QFETCH(QString, value);
    QString out = QStringLiteral("before");
    QCOMPARE(ParseFFPROBEOutput(output, key, out), found);
    QCOMPARE(out, found ? value : QStringLiteral("before"));
}

void TestStreamProbe::sizeRules_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both known") << "1280" << "720" << "1280x720";
    QTest::newRow("width N/A") << "N/A" << "720" << "before";
    QTest::newRow("height N/A") << "1280" << "N/A" << "before";
    QTest::newRow("width missing") << "" << "720" << "before";
    QTest::newRow("height missing") << "1280" << "" << "before";
}

void TestStreamProbe::sizeRules()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, expected);
    QString resolution = QStringLiteral("before");
    QCOMPARE(MakeResolution(width, height, resolution), expected != QLatin1String("before"));
    QCOMPARE(resolution, expected);
}

QTEST_GUILESS_MAIN(TestStreamProbe)
#include "test_streamprobe.moc"
