#include "testsupport.h"

#include "convert/convertsettings.h"
#include "krv/av/avcodec.h"
#include "krv/gen/plugins.h"

// A vetoer that offers nothing, for the filter builder's empty case.
class NothingVetoer final : public KRVAVCodecVetoer
{
public:
    bool IsEnabled(KRVAVCodecID, KRVAVIOType) const override { return false; }
};

static int warnings = 0;
static void CountWarnings(QtMsgType type, const QMessageLogContext &, const QString &)
{
    warnings += type == QtWarningMsg;
}

// The catalogue of formats, the settings record and the plug-in registry.
class TestBase : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;

private slots:
    void init() { TestSupport::ClearSettings(); }

    void lookups_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<int>("byExtension"); QTest::addColumn<int>("byPath");
        QTest::newRow("first of the rows sharing .mp4, any case") << ".MP4" << 0 << -1;
        QTest::newRow("second extension of an entry") << ".mka" << 57 << -1;
        QTest::newRow("third extension of an entry") << ".ogv" << 64 << -1;
        QTest::newRow("m4a is QuickTime") << ".m4a" << 58 << -1;
        QTest::newRow("last row") << ".wmv" << 70 << -1;
        QTest::newRow("no dot") << "mp4" << -1 << -1;
        QTest::newRow("path, last suffix in capitals") << "/v/clip.final.MKA" << -1 << 57;
        QTest::newRow("path without suffix") << "/tmp/README" << -1 << -1;
    }

    void lookups()
    {
        QFETCH(QString, text); QFETCH(int, byExtension); QFETCH(int, byPath);
        const QString warning = QStringLiteral("KRVAVCodec::KRVAVCodec   CodecID matching %1 can not be found");
        if (text.startsWith('/')) {
            // A path without a suffix warns twice: for "." and for the path.
            if (byPath < 0) {
                QTest::ignoreMessage(QtWarningMsg, qPrintable(warning.arg(".")));
                QTest::ignoreMessage(QtWarningMsg, qPrintable(warning.arg(text)));
            }
            QCOMPARE(int(KRVAVCodec(text).id), byPath);
        } else {
            if (byExtension < 0)
                QTest::ignoreMessage(QtWarningMsg, qPrintable(warning.arg(text)));
            QCOMPARE(int(KRVAVCodec::GetID(text)), byExtension);
        }
    }

    void entries()
    {
        const KRVAVCodec ogg(KRVAVCodecID_OGG);
        QCOMPARE(ogg.GetExtensions(), QStringList({ ".oga", ".ogg", ".ogv" }));
        QCOMPARE(ogg.GetExtension(2), QString(".ogv"));
        QVERIFY(ogg.GetExtension(3).isEmpty());
        QCOMPARE(KRVAVCodec(KRVAVCodecID_MOV).GetName(), QString("QUICKTIME/MOV"));

        QTest::ignoreMessage(QtWarningMsg, "KRVAVCodec::KRVAVCodec  Invalid KRVAVCodecID: -1");
        const KRVAVCodec none(KRVAVCodecID_None);
        QVERIFY(none.GetExtensions().isEmpty() && none.GetExtension(0).isEmpty() && none.GetName().isEmpty());
        QTest::ignoreMessage(QtWarningMsg, "KRVAVCodec::KRVAVCodec  Invalid KRVAVCodecID: 71");
        QCOMPARE(int(KRVAVCodec(KRVAVCodecID(71)).id), 71);

        // The last identifier is valid: it warns of nothing.
        warnings = 0;
        const QtMessageHandler previous = qInstallMessageHandler(CountWarnings);
        const QString wmv = KRVAVCodec(KRVAVCodecID_WMV).GetName();
        AVCodecVetoer().IsEnabled(KRVAVCodecID_iPhone5S, KRVAVIOType_Count);
        qInstallMessageHandler(previous);
        QCOMPARE(wmv, QString("WMV"));
        QCOMPARE(warnings, 0);
    }

    void predicates_data()
    {
        QTest::addColumn<int>("id"); QTest::addColumn<QString>("extension"); QTest::addColumn<bool>("scalable"); QTest::addColumn<bool>("video");
        QTest::newRow("device profile") << 0 << ".mp4" << false << true;
        QTest::newRow("3GP") << 25 << ".3gp" << false << true;
        QTest::newRow("A64, end of the video range") << 27 << ".a64" << true << true;
        QTest::newRow("MOV as m4a") << 58 << ".m4a" << true << false;
        QTest::newRow("MOV as mov") << 58 << ".mov" << true << true;
        QTest::newRow("OGG as oga") << 64 << ".oga" << true << false;
        QTest::newRow("OGG as ogg") << 64 << ".ogg" << true << true;
        QTest::newRow("WMV") << 70 << ".wmv" << true << true;
        QTest::newRow("MP3") << 60 << ".mp3" << false << false;
    }

    void predicates()
    {
        QFETCH(int, id); QFETCH(QString, extension); QFETCH(bool, scalable); QFETCH(bool, video);
        QCOMPARE(IsScalableFormat(KRVAVCodecID(id)), scalable);
        QCOMPARE(IsVideoFormat(KRVAVCodecID(id), extension), video);
    }

    void vetoer()
    {
        const AVCodecVetoer vetoer;
        QVERIFY(!vetoer.IsEnabled(KRVAVCodecID_MP4, KRVAVIOType_Input));
        QVERIFY(vetoer.IsEnabled(KRVAVCodecID_MP4, KRVAVIOType_Output));
        QVERIFY(!vetoer.IsEnabled(KRVAVCodecID_4X, KRVAVIOType_Output));
        QVERIFY(vetoer.IsEnabled(KRVAVCodecID_MKV, KRVAVIOType_Input));
        QTest::ignoreMessage(QtWarningMsg, "KRVAVCodecVetoer::IsEnabled   Invalid KRVAVIOType: 3");
        QVERIFY(!vetoer.IsEnabled(KRVAVCodecID_iPhone5S, KRVAVIOType(3)));
        QTest::ignoreMessage(QtWarningMsg, "KRVAVCodecVetoer::IsEnabled   Invalid KRVAVCodec: 71");
        QVERIFY(!vetoer.IsEnabled(KRVAVCodecID(71), KRVAVIOType_Output));

        QString filter = "left over";
        BuildMediaFileFilter(filter, vetoer);
        QCOMPARE(filter,
                 QString("All Files (*.*);; Media Files (*.4xm;*.aac;*.ac3;*.act;*.adf;*.adp;*.adx;*.aea;*.afc;*.aiff;"
                         "*.amr;*.anm;*.apc;*.ape;*.asf;*.ast;*.au;*.avi;*.avr;*.avs;*.bfi;*.bin;*.bink;*.dts;*.flac;"
                         "*.flv;*.gif;*.h264;*.m2ts;*.mts;*.mkv;*.mka;*.mov;*.m4a;*.mp2;*.mp3;*.mpg;*.oga;*.ogg;*.ogv;"
                         "*.swf;*.ts;*.vob;*.wav;*.webm;*.wma;*.wmv)"));
        BuildMediaFileFilter(filter, NothingVetoer());
        QCOMPARE(filter, QString("All Files (*.*);; Media Files ()"));
    }

    void settingsFirstRun()
    {
        ConvertSettings loaded;
        loaded.tgtFolder = loaded.wtFontName = "junk";
        loaded.Load();
        ConvertSettings expected;
        expected.tgtFolder = "Same as source file";
        QCOMPARE(TestSupport::Fields(loaded), TestSupport::Fields(expected));
        QCOMPARE((QVariantList{ loaded.tgtFormat, loaded.tgtID, loaded.scaleW, loaded.scaleH, loaded.clrB, loaded.clrC,
                                loaded.wtFontName, loaded.wtFontSize, loaded.wtOpc, loaded.wiScale, loaded.threeGPSize }),
                 (QVariantList{ ".mp4", 61, 768, 576, 0.0, 1.0, QGuiApplication::font().family(), 20.0, 100, 100, 3 }));
    }

    void settingsRoundTrip()
    {
        ConvertSettings saved;
        saved.tgtFolder = fixture.path("out"); saved.tgtFormat = ".mka"; saved.tgtID = 57; saved.exists = 1;
        saved.threeGPSize = 1;
        saved.scale = saved.scaleKA = true; saved.scaleA = 1; saved.scaleW = 1280; saved.scaleH = 720;
        saved.clrEnable = true; saved.clrB = -0.25; saved.clrC = 1.5; saved.clrS = 0.30000000000000004; saved.clrG = 4.3;
        saved.wtEnable = true; saved.wtContent = "\u00a9 \u00dcn\u00efcode, \"quoted\" #1"; saved.wtFontName = "DejaVu Serif";
        saved.wtFontSize = 13.5; saved.wtFontB = saved.wtFontI = saved.wtFontU = true;
        saved.wtCR = 10; saved.wtCG = 20; saved.wtCB = 30; saved.wtOpc = 55;
        saved.wtCAlign = true; saved.wtAlign = 4; saved.wtCAlignX = 12; saved.wtCAlignY = 34;
        saved.wiEnable = true; saved.wiFile = "/pictures/logo file.png"; saved.wiScale = 250; saved.wiCAlign = true;
        saved.wiAlign = 3; saved.wiCAlignX = 90; saved.wiCAlignY = 10;
        saved.transform = saved.rotate = saved.hFlip = saved.vFlip = true; saved.rotateDegree = 2;
        saved.Save();

        // The store's key names are what earlier versions wrote, spelling included.
        QSettings store("Korvent", "Reelway");
        store.beginGroup("CSettings");
        QStringList keys = store.childKeys();
        keys.sort();
        QCOMPARE(keys.join(' '), QString("ClrB ClrC ClrEnable ClrG ClrS Exists HFlip Rotate RotateDegree Scale ScaleA "
                                         "ScaleH ScaleKA ScaleW TgtFolder TgtFormat TgtID Transform VFlip WIAlign "
                                         "WICAlign WICAlignX WICAlignY WIEnable WIFile WIScale WTAlign WTCAlig "
                                         "WTCAlignX WTCAlignY WTCB WTCG WTCR WTContent WTEnable WTFontB WTFontName "
                                         "WTFontSize WTI WTOpc WTU"));
        ConvertSettings loaded;
        loaded.Load();
        saved.threeGPSize = 3; // the 3GP size is not kept across a restart
        QCOMPARE(TestSupport::Fields(loaded), TestSupport::Fields(saved));

        // Values of another kind go through the store's ordinary conversion.
        store.setValue("ScaleW", "wide");
        store.sync();
        loaded.Load();
        QCOMPARE(loaded.scaleW, 0);
    }

    void settingsTargetFolder()
    {
        ConvertSettings s;
        QVERIFY(s.SetTgtFolder("Same as source file"));
        QCOMPARE(s.tgtFolder, QString("Same as source file"));
        const QString folder = fixture.path("config");
        QVERIFY(s.SetTgtFolder(folder));
        // A missing folder, and the marker in another letter case, leave the choice alone.
        QVERIFY(!s.SetTgtFolder(folder + "/missing"));
        QVERIFY(!s.SetTgtFolder("same as source file"));
        QCOMPARE(s.tgtFolder, folder);
    }

    void pluginRegistry()
    {
        {
            QSettings plugins("Korvent", "Plugins");
            plugins.setValue("FreeImage", false);
            plugins.setValue("FFMPEG", "no");
        }
        creditsText = "left over";
        KRVInitPlugins();
        KRVInitPlugins();
        QSettings plugins("Korvent", "Plugins");
        QCOMPARE(plugins.childKeys().size(), 2);
        QCOMPARE(plugins.value("FreeImage").toString(), QString("true"));
        QCOMPARE(plugins.value("FFMPEG").toString(), QString("true"));
        // The registry has a store of its own; the program's stays untouched.
        QVERIFY(QSettings("Korvent", "Reelway").allKeys().isEmpty());
        const QString separator = "<br><br/><br><br/>";
        QCOMPARE(creditsText, separator + freeImageNotice + separator + ffmpegNotice);
    }
};

QTEST_MAIN(TestBase)
#include "test_base.moc"
