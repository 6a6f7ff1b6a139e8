#include "krv/av/avcodec.h"

#include <QtTest>

// A vetoer that offers nothing, to see the filter builder's empty case.
class NothingVetoer final : public KRVAVCodecVetoer
{
public:
    bool IsEnabled(KRVAVCodecID, KRVAVIOType) const override { return false; }
};

// Counts warnings while alive, for checks that a call writes none.
class WarningCounter
{
public:
    WarningCounter() { count = 0; previous = qInstallMessageHandler(&WarningCounter::handler); }
    ~WarningCounter() { qInstallMessageHandler(previous); }
    static int count;

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &)
    {
        if (type == QtWarningMsg)
            ++count;
    }
    QtMessageHandler previous;
};
int WarningCounter::count = 0;

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void lookupByExtension_data();
    void lookupByExtension();
    void lookupFailuresWarn();
    void fromFilePath_data();
    void fromFilePath();
    void extensionsByIndex();
    void invalidIdentifierWarns();
    void tablesAreConsistent();
    void predicates_data();
    void predicates();
    void vetoer();
    void mediaFileFilter();
};

void TestCatalogue::lookupByExtension_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("id");
    QTest::newRow("mp4 is the first device profile") << ".mp4" << 0;
    QTest::newRow("capital MP4 too") << ".MP4" << 0;
    QTest::newRow("second extension of m2ts") << ".mts" << 56;
    QTest::newRow("second extension of mkv") << ".mka" << 57;
    QTest::newRow("m4a is QuickTime") << ".m4a" << 58;
    QTest::newRow("oga") << ".oga" << 64;
    QTest::newRow("ogv") << ".ogv" << 64;
    QTest::newRow("vob is DVD") << ".vob" << 66;
    QTest::newRow("ts") << ".ts" << 63;
    QTest::newRow("last row") << ".wmv" << 70;
    QTest::newRow("3gp2") << ".3g2" << 24;
}

void TestCatalogue::lookupByExtension()
{
    QFETCH(QString, extension);
    QFETCH(int, id);
    QCOMPARE(int(KRVAVCodec::GetID(extension)), id);
}

void TestCatalogue::lookupFailuresWarn()
{
    QTest::ignoreMessage(QtWarningMsg, "KRVAVCodec::KRVAVCodec   CodecID matching mp4 can not be found");
    QCOMPARE(int(KRVAVCodec::GetID("mp4")), -1);

    // A file without a suffix warns twice: once for "." and once for the path.
    QTest::ignoreMessage(QtWarningMsg, "KRVAVCodec::KRVAVCodec   CodecID matching . can not be found");
    QTest::ignoreMessage(QtWarningMsg, "KRVAVCodec::KRVAVCodec   CodecID matching /tmp/README can not be found");
    QCOMPARE(int(KRVAVCodec(QStringLiteral("/tmp/README")).id), -1);
}

void TestCatalogue::fromFilePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("id");
    QTest::newRow("MKA in capitals") << "/v/clip.MKA" << 57;
    QTest::newRow("m4a") << "/v/song.m4a" << 58;
    QTest::newRow("mts") << "/v/cam.mts" << 56;
    QTest::newRow("last suffix only") << "/v/clip.final.avi" << 45;
    QTest::newRow("gif") << "/v/anim.gif" << 54;
}

void TestCatalogue::fromFilePath()
{
    QFETCH(QString, path);
    QFETCH(int, id);
    QCOMPARE(int(KRVAVCodec(path).id), id);
}

void TestCatalogue::extensionsByIndex()
{
    const KRVAVCodec ogg(KRVAVCodecID_OGG);
    QCOMPARE(ogg.GetExtensions(), QStringList({ ".oga", ".ogg", ".ogv" }));
    QCOMPARE(ogg.GetExtension(2), QString(".ogv"));
    QVERIFY(ogg.GetExtension(3).isEmpty());
    QCOMPARE(KRVAVCodec(KRVAVCodecID_MP4).GetExtension(0), QString(".mp4"));
    QCOMPARE(KRVAVCodec(KRVAVCodecID_MOV).GetName(), QString("QUICKTIME/MOV"));
    QCOMPARE(KRVAVCodec(KRVAVCodecID_MOV).GetExtensions(), QStringList({ ".mov", ".m4a" }));

    QTest::ignoreMessage(QtWarningMsg, "KRVAVCodec::KRVAVCodec  Invalid KRVAVCodecID: -1");
    const KRVAVCodec none(KRVAVCodecID_None);
    QVERIFY(none.GetExtensions().isEmpty());
    QVERIFY(none.GetExtension(0).isEmpty());
    QVERIFY(none.GetName().isEmpty());
}

void TestCatalogue::invalidIdentifierWarns()
{
    QTest::ignoreMessage(QtWarningMsg, "KRVAVCodec::KRVAVCodec  Invalid KRVAVCodecID: 71");
    QCOMPARE(int(KRVAVCodec(KRVAVCodecID(71)).id), 71);
    WarningCounter warnings;
    KRVAVCodec last(KRVAVCodecID_WMV);
    QCOMPARE(last.GetName(), QString("WMV"));
    QCOMPARE(WarningCounter::count, 0);
}

void TestCatalogue::tablesAreConsistent()
{
    QCOMPARE(KRVAVCodecTableSize(), 71);
    QCOMPARE(KRVAVExtensionTableSize(), 76);
    int mp4Rows = 0;
    int previous = -1;
    for (int row = 0; row < KRVAVExtensionTableSize(); ++row) {
        const KRVAVCodecExtension &ext = KRVAVExtensionTableRow(row);
        QVERIFY2(ext.id >= previous, "extension rows run in identifier order");
        previous = ext.id;
        QCOMPARE(ext.extension, ext.extension.toLower());
        QVERIFY(ext.extension.startsWith('.'));
        mp4Rows += ext.extension == ".mp4";
    }
    QCOMPARE(mp4Rows, 25);

    int readOnly = 0, writeOnly = 0, both = 0;
    for (int id = 0; id < KRVAVCodecTableSize(); ++id) {
        const KRVAVCodecEntry &entry = KRVAVCodecTableRow(KRVAVCodecID(id));
        QVERIFY(!KRVAVCodec(KRVAVCodecID(id)).GetExtensions().isEmpty());
        readOnly += entry.readable && !entry.writable;
        writeOnly += !entry.readable && entry.writable;
        both += entry.readable && entry.writable;
    }
    QCOMPARE(readOnly, 14);
    QCOMPARE(writeOnly, 29);
    QCOMPARE(both, 28);
}

void TestCatalogue::predicates_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("scalable");
    QTest::addColumn<bool>("video");
    QTest::newRow("3GP2") << 24 << ".3g2" << false << true;
    QTest::newRow("3GP") << 25 << ".3gp" << false << true;
    QTest::newRow("MP3") << 60 << ".mp3" << false << false;
    QTest::newRow("iPhone") << 0 << ".mp4" << false << true;
    QTest::newRow("iPhone 5S") << 5 << ".mp4" << false << true;
    QTest::newRow("MP4") << 61 << ".mp4" << true << true;
    QTest::newRow("WMV") << 70 << ".wmv" << true << true;
    QTest::newRow("A64") << 27 << ".a64" << true << true;
    QTest::newRow("MOV as m4a") << 58 << ".m4a" << true << false;
    QTest::newRow("MOV as mov") << 58 << ".mov" << true << true;
    QTest::newRow("OGG as oga") << 64 << ".oga" << true << false;
    QTest::newRow("OGG as ogv") << 64 << ".ogv" << true << true;
    QTest::newRow("OGG as ogg") << 64 << ".ogg" << true << true;
    QTest::newRow("WAV") << 67 << ".wav" << false << false;
    QTest::newRow("AMR") << 38 << ".amr" << false << false;
}

void TestCatalogue::predicates()
{
    QFETCH(int, id);
    QFETCH(QString, extension);
    QFETCH(bool, scalable);
    QFETCH(bool, video);
    QCOMPARE(IsScalableFormat(KRVAVCodecID(id)), scalable);
    QCOMPARE(IsVideoFormat(KRVAVCodecID(id), extension), video);
}

void TestCatalogue::vetoer()
{
    AVCodecVetoer vetoer;
    QVERIFY(!vetoer.IsEnabled(KRVAVCodecID_MP4, KRVAVIOType_Input));
    QVERIFY(vetoer.IsEnabled(KRVAVCodecID_MP4, KRVAVIOType_Output));
    QVERIFY(!vetoer.IsEnabled(KRVAVCodecID_4X, KRVAVIOType_Output));
    QVERIFY(vetoer.IsEnabled(KRVAVCodecID_MKV, KRVAVIOType_Input));

    QTest::ignoreMessage(QtWarningMsg, "KRVAVCodecVetoer::IsEnabled   Invalid KRVAVIOType: 3");
    QVERIFY(!vetoer.IsEnabled(KRVAVCodecID_iPhone5S, KRVAVIOType(3)));
    QTest::ignoreMessage(QtWarningMsg, "KRVAVCodecVetoer::IsEnabled   Invalid KRVAVCodec: 71");
    QVERIFY(!vetoer.IsEnabled(KRVAVCodecID(71), KRVAVIOType_Output));
    QTest::ignoreMessage(QtWarningMsg, "KRVAVCodecVetoer::IsEnabled   Invalid KRVAVCodec: -1");
    QVERIFY(!vetoer.IsEnabled(KRVAVCodecID_None, KRVAVIOType_Output));

    {
        WarningCounter warnings;
        QVERIFY(!vetoer.IsEnabled(KRVAVCodecID_iPhone5S, KRVAVIOType_Count));
        QCOMPARE(WarningCounter::count, 0);
    }

    int writable = 0;
    for (int id = 0; id < KRVAVCodecID_Count; ++id)
        writable += vetoer.IsEnabled(KRVAVCodecID(id), KRVAVIOType_Output);
    QCOMPARE(writable, 57);
}

void TestCatalogue::mediaFileFilter()
{
    QString filter = "left over";
    BuildMediaFileFilter(filter, AVCodecVetoer());
    QCOMPARE(filter,
             QString("All Files (*.*);; Media Files (*.4xm;*.aac;*.ac3;*.act;*.adf;*.adp;*.adx;*.aea;*.afc;*.aiff;"
                     "*.amr;*.anm;*.apc;*.ape;*.asf;*.ast;*.au;*.avi;*.avr;*.avs;*.bfi;*.bin;*.bink;*.dts;*.flac;"
                     "*.flv;*.gif;*.h264;*.m2ts;*.mts;*.mkv;*.mka;*.mov;*.m4a;*.mp2;*.mp3;*.mpg;*.oga;*.ogg;*.ogv;"
                     "*.swf;*.ts;*.vob;*.wav;*.webm;*.wma;*.wmv)"));

    BuildMediaFileFilter(filter, NothingVetoer());
    QCOMPARE(filter, QString("All Files (*.*);; Media Files ()"));
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "test_catalogue.moc"
