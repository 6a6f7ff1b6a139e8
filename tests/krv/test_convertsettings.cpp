#include "convert/convertsettings.h"
#include "krv/gen/plugins.h"
#include "testsupport.h"

#include <QFont>
#include <QGuiApplication>
#include <QtTest>

class TestConvertSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void firstRunDefaults();
    void constructedDiffersFromLoaded();
    void roundTrip();
    void shortKeys();
    void threeGPSizeIsNotPersisted();
    void setTgtFolder();
    void pluginRegistry();

private:
    QTemporaryDir home;
};

void TestConvertSettings::initTestCase()
{
    QVERIFY(home.isValid());
    TestSupport::IsolateUserDirs(home.path());
}

void TestConvertSettings::init()
{
    TestSupport::ClearSettings();
}

void TestConvertSettings::firstRunDefaults()
{
    ConvertSettings s;
    s.tgtFolder = "junk";
    s.wtFontName = "junk";
    s.Load();
    QCOMPARE(s.tgtFolder, QString("Same as source file"));
    QCOMPARE(s.tgtFormat, QString(".mp4"));
    QCOMPARE(s.tgtID, 61);
    QCOMPARE(s.exists, 0);
    QCOMPARE(s.scale, false);
    QCOMPARE(s.scaleW, 768);
    QCOMPARE(s.scaleH, 576);
    QCOMPARE(s.clrEnable, false);
    QCOMPARE(s.clrB, 0.0);
    QCOMPARE(s.clrC, 1.0);
    QCOMPARE(s.clrS, 1.0);
    QCOMPARE(s.clrG, 1.0);
    QCOMPARE(s.wtEnable, false);
    QCOMPARE(s.wtFontName, QGuiApplication::font().family());
    QCOMPARE(s.wtFontSize, 20.0);
    QCOMPARE(s.GetWTColor(), QColor(0, 0, 0, 255));
    QCOMPARE(s.wtOpc, 100);
    QCOMPARE(s.wtAlign, 0);
    QCOMPARE(s.wiEnable, false);
    QCOMPARE(s.wiScale, 100);
    QCOMPARE(s.transform, false);
    QCOMPARE(s.rotateDegree, 0);
    QCOMPARE(s.threeGPSize, 3);
    QCOMPARE(QString(ThreeGPSizes[s.threeGPSize]), QString("704x576"));
}

void TestConvertSettings::constructedDiffersFromLoaded()
{
    const ConvertSettings constructed;
    QVERIFY(constructed.tgtFolder.isEmpty());
    QCOMPARE(constructed.tgtID, 61);
    QCOMPARE(constructed.wtFontName, QGuiApplication::font().family());
}

void TestConvertSettings::roundTrip()
{
    ConvertSettings saved;
    saved.tgtFolder = home.path(); saved.tgtFormat = ".mka"; saved.tgtID = 57; saved.exists = 1;
    saved.scale = saved.scaleKA = true; saved.scaleA = 1; saved.scaleW = 1280; saved.scaleH = 720;
    saved.clrEnable = true; saved.clrB = -0.25; saved.clrC = 1.5; saved.clrS = 0.30000000000000004; saved.clrG = 4.3;
    saved.wtEnable = true; saved.wtContent = "\u00a9 \u00dcn\u00efcode, \"quoted\" #1"; saved.wtFontName = "DejaVu Serif";
    saved.wtFontSize = 13.5; saved.wtFontB = true; saved.wtCR = 10; saved.wtCG = 20; saved.wtCB = 30; saved.wtOpc = 55;
    saved.wtAlign = 4; saved.wtCAlignX = 12; saved.wtCAlignY = 34;
    saved.wiEnable = true; saved.wiFile = "/pictures/logo file.png"; saved.wiScale = 250; saved.wiCAlign = true;
    saved.wiAlign = 3; saved.wiCAlignX = 90; saved.wiCAlignY = 10;
    saved.transform = saved.rotate = saved.hFlip = saved.vFlip = true; saved.rotateDegree = 2;
    saved.Save();

    QSettings store("Korvent", "Reelway");
    store.beginGroup("CSettings");
    const QStringList keys = store.childKeys();
    QCOMPARE(keys.size(), 41);
    QVariantMap first;
    for (const QString &key : keys)
        first.insert(key, store.value(key));
    store.endGroup();

    // Whatever Load misses comes back as a default on the second save.
    ConvertSettings loaded;
    loaded.Load();
    QCOMPARE(loaded.clrB, -0.25);
    QCOMPARE(loaded.wtFontSize, 13.5);
    QCOMPARE(loaded.GetWTColor(), QColor(10, 20, 30));
    QCOMPARE(loaded.GetWIFile(), saved.wiFile);
    QCOMPARE(loaded.GetWTContent(), saved.wtContent);
    TestSupport::ClearSettings();
    loaded.Save();
    store.beginGroup("CSettings");
    for (const QString &key : keys)
        QVERIFY2(store.value(key) == first.value(key), qPrintable(key));
}

void TestConvertSettings::shortKeys()
{
    ConvertSettings saved;
    saved.wtFontI = true;
    saved.wtFontU = true;
    saved.wtCAlign = true;
    saved.Save();
    {
        QSettings store("Korvent", "Reelway");
        store.beginGroup("CSettings");
        QCOMPARE(store.value("WTI").toBool(), true);
        QCOMPARE(store.value("WTU").toBool(), true);
        QCOMPARE(store.value("WTCAlig").toBool(), true);
        QVERIFY(!store.contains("WTCAlign"));
        QVERIFY(!store.contains("WTFontI"));
    }
    ConvertSettings loaded;
    loaded.Load();
    QVERIFY(loaded.wtFontI);
    QVERIFY(loaded.wtFontU);
    QVERIFY(loaded.wtCAlign);

    // Values of another kind go through the store's ordinary conversion.
    {
        QSettings store("Korvent", "Reelway");
        store.beginGroup("CSettings");
        store.setValue("ScaleW", "wide");
        store.setValue("ClrB", "dark");
    }
    loaded.Load();
    QCOMPARE(loaded.scaleW, 0);
    QCOMPARE(loaded.clrB, 0.0);
}

void TestConvertSettings::threeGPSizeIsNotPersisted()
{
    ConvertSettings s;
    s.threeGPSize = 1;
    s.Save();
    ConvertSettings next;
    next.Load();
    QCOMPARE(next.threeGPSize, 3);
}

void TestConvertSettings::setTgtFolder()
{
    ConvertSettings s;
    QVERIFY(s.SetTgtFolder("Same as source file"));
    QCOMPARE(s.tgtFolder, QString("Same as source file"));
    QVERIFY(s.SetTgtFolder(home.path()));
    QCOMPARE(s.tgtFolder, home.path());
    QVERIFY(!s.SetTgtFolder(home.path() + "/missing"));
    QCOMPARE(s.tgtFolder, home.path());
    // The marker in another letter case is only a folder name.
    QVERIFY(!s.SetTgtFolder("same as source file"));
    QCOMPARE(s.tgtFolder, home.path());
}

void TestConvertSettings::pluginRegistry()
{
    {
        QSettings plugins("Korvent", "Plugins");
        plugins.setValue("FreeImage", false);
        plugins.setValue("FFMPEG", "nonsense");
    }
    creditsText = "stale";
    KRVInitPlugins();
    QSettings plugins("Korvent", "Plugins");
    QCOMPARE(plugins.value("FreeImage").toBool(), true);
    QCOMPARE(plugins.value("FFMPEG").toBool(), true);
    const QString separator = "<br><br/><br><br/>";
    QCOMPARE(creditsText, separator + freeImageNotice + separator + ffmpegNotice);
    QVERIFY(freeImageNotice.contains("FreeImage Public License Version 1.0"));
    QVERIFY(freeImageNotice.contains("(a) to use, reproduce"));
    QVERIFY(ffmpegNotice.contains("FFMPEG LGPL 2.1 or later"));
}

QTEST_MAIN(TestConvertSettings)
#include "test_convertsettings.moc"
