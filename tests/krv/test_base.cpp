#include "testsupport.h"

#include "convert/convertsettings.h"
#include "krv/av/avcodec.h"
#include "krv/gen/plugins.h"

// The catalogue of formats, the settings record and the plug-in registry.
class TestBase : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;

private slots:
    void init() { TestSupport::ClearSettings(); }

    // A catalogue row found by extension (any case, with its dot) or by a path's last suffix, and what it
    // converts to; an unknown one warns.
    void formats_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<int>("id"); QTest::addColumn<bool>("scalable"); QTest::addColumn<bool>("video");
        QTest::newRow("MP4: the first of the rows sharing it, a device profile") << ".MP4" << 0 << false << true;
        QTest::newRow("A64, end of the video range") << ".a64" << 27 << true << true;
        QTest::newRow("mka: second extension of an entry") << ".mka" << 57 << true << true;
        QTest::newRow("m4a: QuickTime without video") << ".m4a" << 58 << true << false;
        QTest::newRow("MP3") << ".mp3" << 60 << false << false;
        QTest::newRow("ogv: third extension of an entry") << ".ogv" << 64 << true << true;
        QTest::newRow("WMV, the last row") << ".wmv" << 70 << true << true;
        QTest::newRow("no dot") << "mp4" << -1 << false << false;
        QTest::newRow("path, last suffix in capitals") << "/v/clip.final.MKA" << 57 << true << true;
        QTest::newRow("path without suffix") << "/tmp/README" << -1 << false << false;
    }

    void formats()
    {
        QFETCH(QString, text); QFETCH(int, id); QFETCH(bool, scalable); QFETCH(bool, video);
        const bool path = text.startsWith('/');
        if (id < 0) // a path without a suffix warns for "." as well
            QTest::ignoreMessage(QtWarningMsg, qPrintable("KRVAVCodec::KRVAVCodec   CodecID matching " + text + " can not be found"));
        QCOMPARE(int(path ? KRVAVCodec(text).id : KRVAVCodec::GetID(text)), id);
        if (id >= 0 && !path)
            QCOMPARE(QPoint(IsScalableFormat(KRVAVCodecID(id)), IsVideoFormat(KRVAVCodecID(id), text.toLower())), QPoint(scalable, video));
    }

    // Out-of-range identifiers, kinds and indexes answer nothing; the open dialog's filter lists what can be read.
    void entriesAndVetoer()
    {
        QVERIFY(KRVAVCodec(KRVAVCodecID_OGG).GetExtension(2) == ".ogv" && KRVAVCodec(KRVAVCodecID_OGG).GetExtension(3).isEmpty());
        QTest::ignoreMessage(QtWarningMsg, "KRVAVCodec::KRVAVCodec  Invalid KRVAVCodecID: -1");
        QTest::ignoreMessage(QtWarningMsg, "KRVAVCodec::KRVAVCodec  Invalid KRVAVCodecID: 71");
        const KRVAVCodec none(KRVAVCodecID_None), past(KRVAVCodecID(71));
        QVERIFY(none.GetExtensions().isEmpty() && none.GetExtension(0).isEmpty() && none.GetName().isEmpty() && past.GetName().isEmpty());
        const AVCodecVetoer vetoer;
        QTest::ignoreMessage(QtWarningMsg, "KRVAVCodecVetoer::IsEnabled   Invalid KRVAVIOType: 3");
        QTest::ignoreMessage(QtWarningMsg, "KRVAVCodecVetoer::IsEnabled   Invalid KRVAVCodec: 71");
        QVERIFY(!vetoer.IsEnabled(KRVAVCodecID_iPhone5S, KRVAVIOType(3)) && !vetoer.IsEnabled(KRVAVCodecID(71), KRVAVIOType_Output));
        QString filter = "left over";
        BuildMediaFileFilter(filter, vetoer);
        QCOMPARE(filter, QString("All Files (*.*);; Media Files (*.3g2;*.3gp;*.4xm;*.aac;*.ac3;*.act;*.adf;*.adp;*.adx;*.aea;*.afc;*.aiff;*.amr;*.anm;*.apc;*.ape;"
                                 "*.asf;*.ast;*.au;*.avi;*.avr;*.avs;*.bfi;*.bin;*.bink;*.dts;*.flac;*.flv;*.gif;*.h264;*.m2ts;*.mts;*.mkv;*.mka;*.mov;*.m4a;"
                                 "*.mp2;*.mp3;*.mp4;*.mpg;*.oga;*.ogg;*.ogv;*.swf;*.ts;*.vob;*.wav;*.webm;*.wma;*.wmv)"));
    }

    // What a stored file (possibly edited by hand) loads as; `changed` lists the fields that differ from a first run.
    void settingsLoad_data()
    {
        QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<QVariantMap>("changed");
        QTest::newRow("first run") << QVariantMap() << QVariantMap();
        QTest::newRow("text where a number belongs") << QVariantMap{ { "ScaleW", "wide" } } << QVariantMap{ { "scaleW", 0 } };
        for (const char *size : { "1e9", "-5", "huge", "nan" }) // refused, the default kept
            QTest::addRow("font size %s", size) << QVariantMap{ { "WTFontSize", size } } << QVariantMap();
        QTest::newRow("font size 1 kept") << QVariantMap{ { "WTFontSize", "1" } } << QVariantMap{ { "wtFontSize", 1.0 } };
        QTest::newRow("font size 100 kept") << QVariantMap{ { "WTFontSize", "100" } } << QVariantMap{ { "wtFontSize", 100.0 } };
        QTest::newRow("image scale 100000") << QVariantMap{ { "WIScale", "100000" } } << QVariantMap{ { "wiScale", 500 } };
        QTest::newRow("image scale 0") << QVariantMap{ { "WIScale", "0" } } << QVariantMap{ { "wiScale", 10 } };
    }

    void settingsLoad()
    {
        QFETCH(QVariantMap, stored); QFETCH(QVariantMap, changed);
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            QSettings("Korvent", "Reelway").setValue("CSettings/" + it.key(), *it);
        ConvertSettings loaded;
        loaded.tgtFolder = loaded.wtFontName = "junk";
        loaded.Load();
        QVariantMap expected = TestSupport::Fields(ConvertSettings());
        expected.insert(QVariantMap{ { "tgtFolder", "Same as source file" }, { "tgtFormat", ".mp4" }, { "tgtID", 61 }, { "scaleW", 768 }, { "scaleH", 576 }, { "clrB", 0.0 },
                                     { "clrC", 1.0 }, { "wtFontName", QGuiApplication::font().family() }, { "wtFontSize", 20.0 }, { "wtOpc", 100 }, { "wiScale", 100 },
                                     { "threeGPSize", 3 } });
        expected.insert(changed);
        QCOMPARE(TestSupport::Fields(loaded), expected);
    }

    void settingsRoundTrip()
    {
        ConvertSettings saved;
        saved.tgtFolder = fixture.path("out"); saved.tgtFormat = ".mka"; saved.tgtID = 57; saved.exists = 1; saved.threeGPSize = 1;
        saved.scale = saved.scaleKA = true; saved.scaleA = 1; saved.scaleW = 1280; saved.scaleH = 720; saved.clrEnable = true;
        saved.clrB = -0.25; saved.clrC = 1.5; saved.clrS = 0.30000000000000004; saved.clrG = 4.3; saved.wtEnable = true; saved.wtFontSize = 13.5;
        saved.wtContent = "\u00a9 \u00dcn\u00efcode, \"quoted\" #1"; saved.wtFontName = "DejaVu Serif"; saved.wtFontB = saved.wtFontI = saved.wtFontU = true;
        saved.wtCR = 10; saved.wtCG = 20; saved.wtCB = 30; saved.wtOpc = 55; saved.wtCAlign = true; saved.wtAlign = 4; saved.wtCAlignX = 12; saved.wtCAlignY = 34;
        saved.wiEnable = saved.wiCAlign = true; saved.wiFile = "/pictures/logo file.png"; saved.wiScale = 250; saved.wiAlign = 3; saved.wiCAlignX = 90; saved.wiCAlignY = 10;
        saved.transform = saved.rotate = saved.hFlip = saved.vFlip = true; saved.rotateDegree = 2;
        saved.copyStreams = false;
        saved.Save();
        // The store's key names are what earlier versions wrote, spelling included.
        QCOMPARE(QSettings("Korvent", "Reelway").allKeys().join(' ').remove("CSettings/"), QString("ClrB ClrC ClrEnable ClrG ClrS CopyStreams Exists HFlip Rotate RotateDegree Scale ScaleA ScaleH ScaleKA ScaleW TgtFolder "
                                                              "TgtFormat TgtID Transform VFlip WIAlign WICAlign WICAlignX WICAlignY WIEnable WIFile WIScale WTAlign WTCAlig "
                                                              "WTCAlignX WTCAlignY WTCB WTCG WTCR WTContent WTEnable WTFontB WTFontName WTFontSize WTI WTOpc WTU"));
        ConvertSettings loaded;
        loaded.Load();
        saved.threeGPSize = 3; // the 3GP size is not kept across a restart
        QCOMPARE(TestSupport::Fields(loaded), TestSupport::Fields(saved));
    }

    // A missing folder, and the marker in another letter case, leave the choice alone.
    void settingsTargetFolder()
    {
        ConvertSettings s;
        const QString folder = fixture.path("config");
        QVERIFY(s.SetTgtFolder("Same as source file") && s.tgtFolder == "Same as source file" && s.SetTgtFolder(folder));
        QVERIFY(!s.SetTgtFolder(folder + "/missing") && !s.SetTgtFolder("same as source file") && s.tgtFolder == folder);
    }

    void pluginRegistry()
    {
        QSettings("Korvent", "Plugins").setValue("FreeImage", false);
        QSettings("Korvent", "Plugins").setValue("FFMPEG", "no");
        creditsText = "left over";
        KRVInitPlugins();
        KRVInitPlugins();
        QSettings plugins("Korvent", "Plugins");
        QCOMPARE(plugins.allKeys().join(' ') + ' ' + plugins.value("FreeImage").toString() + ' ' + plugins.value("FFMPEG").toString(),
                 QString("FFMPEG FreeImage true true"));
        QCOMPARE(creditsText.split("<br><br/><br><br/>"), QStringList({ "", freeImageNotice, ffmpegNotice, systemFfmpegNotice, qtNotice, mpvNotice, ytdlpNotice }));
    }
};

QTEST_MAIN(TestBase)
#include "test_base.moc"
