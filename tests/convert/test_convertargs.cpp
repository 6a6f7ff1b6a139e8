#include "testsupport.h"

#include "convert/avconverteffects.h"
#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "krv/av/avcodec.h"

#include <QColor>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <clocale>
#include <functional>

using Tweak = std::function<void(ConvertSettings &)>;
Q_DECLARE_METATYPE(Tweak)

namespace {

const QString Src = QStringLiteral("/home/u/talk.wav");
const QString Tgt = QStringLiteral("/out/target");

ConvertSettings BaseSettings()
{
    ConvertSettings s;
    s.tgtFolder = QLatin1String(SameAsSourceFile);
    s.wtFontName = QStringLiteral("DejaVu Sans");
    return s;
}

Tweak Target(int id, const QString &ext, const Tweak &more = Tweak())
{
    return [id, ext, more](ConvertSettings &s) {
        s.tgtID = id;
        s.tgtFormat = ext;
        if (more)
            more(s);
    };
}

void EveryEffect(ConvertSettings &s, const QString &imageFile)
{
    s.scale = true;
    s.clrEnable = true;
    s.wtEnable = true;
    s.wtContent = QStringLiteral("Reelway");
    s.wiEnable = true;
    s.wiFile = imageFile;
    s.transform = true;
    s.rotate = true;
    s.hFlip = true;
}

bool WriteImage(const QString &path, int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(QColor(200, 30, 30, 255));
    return image.save(path);
}

} // namespace

class TestConvertArgs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void argumentLists_data();
    void argumentLists();

    void filterText_data();
    void filterText();

    void positions_data();
    void positions();

    void numbers_data();
    void numbers();
    void numbersIgnoreGermanLocale();

    void overlayForms();
    void textWatermarkImage_data();
    void textWatermarkImage();
    void textWatermarkOnPoolThreads();
    void imageWatermarkScaling();

    void targetPaths_data();
    void targetPaths();
    void uniqueNameExhausted();

private:
    QTemporaryDir tmp;
    QString imageFile;
};

void TestConvertArgs::initTestCase()
{
    QVERIFY(tmp.isValid());
    TestSupport::IsolateUserDirs(tmp.path());
    imageFile = tmp.filePath(QStringLiteral("logo.png"));
    QVERIFY(WriteImage(imageFile, 200, 100));
}

void TestConvertArgs::argumentLists_data()
{
    QTest::addColumn<QString>("srcFile");
    QTest::addColumn<Tweak>("tweak");
    QTest::addColumn<QStringList>("middle");

    const QString vob = QStringLiteral("/v/movie.vob");
    const QString ts = QStringLiteral("/v/rec.ts");
    const auto copyAll = QStringList{ "-c:v", "copy", "-c:a", "copy", "-c:s", "copy" };
    const QString img = imageFile;

    QTest::newRow("amr example") << Src << Target(38, ".amr")
                                 << QStringList{ "-ac", "1", "-ar", "8k", "-b:a", "12.20k" };
    QTest::newRow("wmv") << Src << Target(70, ".wmv") << QStringList{ "-q:v", "0", "-q:a", "0", "-ac", "2" };
    QTest::newRow("wma") << Src << Target(69, ".wma") << QStringList{ "-q:v", "0", "-q:a", "0", "-ac", "2" };
    QTest::newRow("avi") << Src << Target(45, ".avi") << QStringList{ "-q:v", "0", "-q:a", "0" };
    QTest::newRow("asf") << Src << Target(42, ".asf") << QStringList{ "-q:v", "0", "-q:a", "0" };
    QTest::newRow("3gp size 0") << Src << Target(25, ".3gp", [](ConvertSettings &s) { s.threeGPSize = 0; })
                                << QStringList{ "-s", "128x96", "-ac", "1", "-ar", "8k", "-b:a", "12.20k", "-b:v", "2M" };
    QTest::newRow("3g2 default size") << Src << Target(24, ".3g2")
                                      << QStringList{ "-s", "704x576", "-ac", "1", "-ar", "8k", "-b:a", "12.20k",
                                                      "-b:v", "2M" };
    QTest::newRow("3gp size out of range") << Src << Target(25, ".3gp", [](ConvertSettings &s) { s.threeGPSize = 9; })
                                           << QStringList{ "-s", "704x576", "-ac", "1", "-ar", "8k", "-b:a", "12.20k",
                                                           "-b:v", "2M" };
    QTest::newRow("3gp size negative") << Src << Target(25, ".3gp", [](ConvertSettings &s) { s.threeGPSize = -1; })
                                       << QStringList{ "-s", "704x576", "-ac", "1", "-ar", "8k", "-b:a", "12.20k",
                                                       "-b:v", "2M" };
    QTest::newRow("dts") << Src << Target(51, ".dts") << QStringList{ "-strict", "-2" };
    QTest::newRow("flv") << Src << Target(53, ".flv") << QStringList{ "-ar", "22050", "-b:v", "2M" };
    QTest::newRow("swf") << Src << Target(65, ".swf") << QStringList{ "-ar", "22050", "-b:v", "2M" };
    QTest::newRow("m2ts") << Src << Target(56, ".mts") << QStringList{ "-b:v", "2M" };
    QTest::newRow("ts") << Src << Target(63, ".ts") << QStringList{ "-b:v", "2M" };
    QTest::newRow("ogg oga") << Src << Target(64, ".oga") << QStringList{ "-b:v", "2M" };
    QTest::newRow("dvd") << Src << Target(66, ".vob") << QStringList{ "-b:v", "2M" };
    QTest::newRow("webm") << Src << Target(68, ".webm") << QStringList{ "-b:v", "2M" };
    QTest::newRow("mpg") << Src << Target(62, ".mpg") << QStringList{ "-vcodec", "mpeg2video", "-b:v", "2M" };
    QTest::newRow("mp4 plain") << Src << Target(61, ".mp4") << QStringList{};
    QTest::newRow("device profile") << Src << Target(5, ".mp4") << QStringList{};
    QTest::newRow("flac") << Src << Target(52, ".flac") << QStringList{};

    QTest::newRow("vob to mp4 copies, effects ignored")
        << vob << Target(61, ".mp4", [img](ConvertSettings &s) { EveryEffect(s, img); }) << copyAll;
    QTest::newRow("vob in capitals to mp4") << QStringLiteral("/v/MOVIE.VOB") << Target(61, ".mp4") << copyAll;
    QTest::newRow("vob to mov") << vob << Target(58, ".mov") << copyAll;
    QTest::newRow("vob to m4a") << vob << Target(58, ".m4a") << QStringList{ "-c:a", "copy", "-c:s", "copy" };
    QTest::newRow("ts to mp4") << ts << Target(61, ".mp4") << QStringList{ "-vcodec", "copy", "-acodec", "copy" };
    QTest::newRow("ts to m4a") << ts << Target(58, ".m4a") << QStringList{ "-acodec", "copy" };
    QTest::newRow("ts to ts is no copy") << ts << Target(63, ".ts") << QStringList{ "-b:v", "2M" };
    QTest::newRow("mts to mp4 is no copy")
        << QStringLiteral("/v/cam.mts") << Target(61, ".mp4", [](ConvertSettings &s) { s.scale = true; })
        << QStringList{ "-filter_complex", "scale=768:576" };
    QTest::newRow("vob to device profile goes through effects")
        << vob << Target(0, ".mp4", [](ConvertSettings &s) {
               s.scale = true;
               s.transform = true;
               s.rotate = true;
           })
        << QStringList{ "-filter_complex", "transpose=1" };
    QTest::newRow("vob to avi gets per-format options")
        << vob << Target(45, ".avi", [](ConvertSettings &s) { s.scale = true; })
        << QStringList{ "-filter_complex", "scale=768:576", "-q:v", "0", "-q:a", "0" };

    QTest::newRow("mp3 with every effect") << Src << Target(60, ".mp3", [img](ConvertSettings &s) { EveryEffect(s, img); })
                                           << QStringList{};
    QTest::newRow("m4a with every effect") << Src << Target(58, ".m4a", [img](ConvertSettings &s) { EveryEffect(s, img); })
                                           << QStringList{};
    QTest::newRow("mka with every effect") << Src << Target(57, ".mka", [img](ConvertSettings &s) { EveryEffect(s, img); })
                                           << QStringList{};
    QTest::newRow("mkv with scale") << Src << Target(57, ".mkv", [](ConvertSettings &s) { s.scale = true; })
                                    << QStringList{ "-filter_complex", "scale=768:576" };
    QTest::newRow("oga with scale") << Src << Target(64, ".oga", [](ConvertSettings &s) { s.scale = true; })
                                    << QStringList{ "-b:v", "2M" };
    QTest::newRow("ogv with scale") << Src << Target(64, ".ogv", [](ConvertSettings &s) { s.scale = true; })
                                    << QStringList{ "-filter_complex", "scale=768:576", "-b:v", "2M" };
    QTest::newRow("all switches off") << Src << Target(61, ".mp4", [](ConvertSettings &s) {
        s.wtEnable = true;
        s.wiFile = QStringLiteral("/nowhere.png");
        s.transform = true;
        s.scaleW = 10;
    }) << QStringList{};
    QTest::newRow("every filter part with text watermark")
        << Src << Target(61, ".mp4", [](ConvertSettings &s) {
               s.scale = true;
               s.scaleW = 640;
               s.scaleH = 480;
               s.clrEnable = true;
               s.wtEnable = true;
               s.wtContent = QStringLiteral("Reelway");
               s.wtAlign = 1;
               s.transform = true;
               s.rotate = true;
               s.rotateDegree = 0;
               s.hFlip = true;
           })
        << QStringList{ "-i", "<tmp>/watermarktext.png", "-filter_complex",
                        "scale=640:480,eq=gamma=1:contrast=1:brightness=0:saturation=1,"
                        "overlay=main_w-overlay_w:0,transpose=1,hflip" };
    QTest::newRow("image only, deleted file, scale on")
        << Src << Target(61, ".mp4", [](ConvertSettings &s) {
               s.scale = true;
               s.wiEnable = true;
               s.wiFile = QStringLiteral("/no/such/logo.png");
           })
        << QStringList{ "-filter_complex", "scale=768:576" };
    QTest::newRow("image only at custom position")
        << Src << Target(70, ".wmv", [img](ConvertSettings &s) {
               s.wiEnable = true;
               s.wiFile = img;
               s.wiCAlign = true;
               s.wiCAlignX = 10;
               s.wiCAlignY = 90;
           })
        << QStringList{ "-i", img, "-filter_complex", "overlay=main_w*0.1:main_h*0.9", "-q:v", "0", "-q:a", "0",
                        "-ac", "2" };
    QTest::newRow("text enabled with empty content")
        << Src << Target(61, ".mp4", [](ConvertSettings &s) { s.wtEnable = true; }) << QStringList{};
}

void TestConvertArgs::argumentLists()
{
    QFETCH(QString, srcFile);
    QFETCH(Tweak, tweak);
    QFETCH(QStringList, middle);

    QTemporaryDir jobDir;
    QVERIFY(jobDir.isValid());
    ConvertSettings settings = BaseSettings();
    tweak(settings);

    QStringList expected{ "-i", srcFile };
    for (const QString &arg : middle)
        expected << QString(arg).replace(QLatin1String("<tmp>"), jobDir.path());
    expected << "-y" << Tgt;

    QCOMPARE(MakeConvertArguments(srcFile, settings, Tgt, jobDir.path()), expected);
}

void TestConvertArgs::filterText_data()
{
    QTest::addColumn<Tweak>("tweak");
    QTest::addColumn<QString>("filter");

    QTest::newRow("scale default size for mp4") << Target(61, ".mp4", [](ConvertSettings &s) { s.scale = true; })
                                                << "scale=768:576";
    QTest::newRow("scale ignored for device profile") << Target(3, ".mp4", [](ConvertSettings &s) { s.scale = true; })
                                                      << "";
    QTest::newRow("scale ignored for 3gp") << Target(25, ".3gp", [](ConvertSettings &s) { s.scale = true; }) << "";
    QTest::newRow("scale for gif") << Target(54, ".gif", [](ConvertSettings &s) {
        s.scale = true;
        s.scaleW = 320;
        s.scaleH = 200;
    }) << "scale=320:200";
    QTest::newRow("colour only") << Target(61, ".mp4", [](ConvertSettings &s) {
        s.clrEnable = true;
        s.clrB = 0.5;
        s.clrC = 1.5;
        s.clrS = 2;
        s.clrG = 0.8;
    }) << "eq=gamma=0.8:contrast=1.5:brightness=0.5:saturation=2";
    QTest::newRow("colour slider steps") << Target(61, ".mp4", [](ConvertSettings &s) {
        s.clrEnable = true;
        s.clrB = 0.1 + 0.1 + 0.1;
        s.clrC = 10.0;
        s.clrS = 0.0;
        s.clrG = -0.1;
    }) << "eq=gamma=-0.1:contrast=10:brightness=0.3:saturation=0";
    QTest::newRow("rotate 90") << Target(61, ".mp4", [](ConvertSettings &s) {
        s.transform = true;
        s.rotate = true;
    }) << "transpose=1";
    QTest::newRow("rotate 180") << Target(61, ".mp4", [](ConvertSettings &s) {
        s.transform = true;
        s.rotate = true;
        s.rotateDegree = 1;
    }) << "transpose=1,transpose=1";
    QTest::newRow("rotate 270 with vflip") << Target(61, ".mp4", [](ConvertSettings &s) {
        s.transform = true;
        s.rotate = true;
        s.rotateDegree = 2;
        s.vFlip = true;
    }) << "transpose=1,transpose=1,transpose=1,vflip";
    QTest::newRow("rotate index out of range") << Target(61, ".mp4", [](ConvertSettings &s) {
        s.transform = true;
        s.rotate = true;
        s.rotateDegree = 5;
    }) << "transpose=1";
    QTest::newRow("both flips") << Target(61, ".mp4", [](ConvertSettings &s) {
        s.transform = true;
        s.hFlip = true;
        s.vFlip = true;
    }) << "hflip,vflip";
    QTest::newRow("transform on, nothing asked") << Target(61, ".mp4", [](ConvertSettings &s) { s.transform = true; })
                                                 << "";
    QTest::newRow("flips without transform") << Target(61, ".mp4", [](ConvertSettings &s) {
        s.rotate = true;
        s.hFlip = true;
    }) << "";
    QTest::newRow("scale, colour, transform in order") << Target(70, ".wmv", [](ConvertSettings &s) {
        s.transform = true;
        s.vFlip = true;
        s.clrEnable = true;
        s.scale = true;
        s.scaleW = 640;
        s.scaleH = 360;
    }) << "scale=640:360,eq=gamma=1:contrast=1:brightness=0:saturation=1,vflip";
}

void TestConvertArgs::filterText()
{
    QFETCH(Tweak, tweak);
    QFETCH(QString, filter);

    ConvertSettings settings = BaseSettings();
    tweak(settings);
    QStringList args;
    AppendEffectsArguments(settings, KRVAVCodecID(settings.tgtID), tmp.path(), args);
    if (filter.isEmpty())
        QCOMPARE(args, QStringList());
    else
        QCOMPARE(args, (QStringList{ "-filter_complex", filter }));
}

void TestConvertArgs::positions_data()
{
    QTest::addColumn<bool>("custom");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QString>("text");

    QTest::newRow("top left") << false << 0 << 0 << 0 << "0:0";
    QTest::newRow("top right") << false << 1 << 0 << 0 << "main_w-overlay_w:0";
    QTest::newRow("bottom left") << false << 2 << 0 << 0 << "0:main_h-overlay_h";
    QTest::newRow("bottom right") << false << 3 << 0 << 0 << "main_w-overlay_w:main_h-overlay_h";
    QTest::newRow("center") << false << 4 << 0 << 0 << "main_w/2-overlay_w/2:main_h/2-overlay_h/2";
    QTest::newRow("index 7 is center") << false << 7 << 0 << 0 << "main_w/2-overlay_w/2:main_h/2-overlay_h/2";
    QTest::newRow("index -1 is center") << false << -1 << 0 << 0 << "main_w/2-overlay_w/2:main_h/2-overlay_h/2";
    QTest::newRow("custom half quarter") << true << 3 << 50 << 25 << "main_w*0.5:main_h*0.25";
    QTest::newRow("custom zero") << true << 0 << 0 << 0 << "main_w*0:main_h*0";
    QTest::newRow("custom 10 90") << true << 1 << 10 << 90 << "main_w*0.1:main_h*0.9";
    QTest::newRow("custom 100 33") << true << 1 << 100 << 33 << "main_w*1:main_h*0.33";
}

void TestConvertArgs::positions()
{
    QFETCH(bool, custom);
    QFETCH(int, alignment);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QString, text);
    QCOMPARE(OverlayPositionText(custom, alignment, x, y), text);
}

void TestConvertArgs::numbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("one") << 1.0 << "1";
    QTest::newRow("one and a quarter") << 1.25 << "1.25";
    QTest::newRow("negative tenth") << -0.1 << "-0.1";
    QTest::newRow("three slider steps") << 0.1 + 0.1 + 0.1 << "0.3";
    QTest::newRow("ten") << 10.0 << "10";
    QTest::newRow("six significant digits") << 3.14159265 << "3.14159";
}

void TestConvertArgs::numbers()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(EffectsNumberText(value), text);
}

void TestConvertArgs::numbersIgnoreGermanLocale()
{
    const QLocale previous;
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(QLocale().toString(0.5), QStringLiteral("0,5"));

    ConvertSettings settings = BaseSettings();
    settings.tgtID = 61;
    settings.clrEnable = true;
    settings.clrB = 0.5;
    settings.clrC = 1.25;
    settings.wiEnable = true;
    settings.wiFile = imageFile;
    settings.wiCAlign = true;
    settings.wiCAlignX = 50;
    settings.wiCAlignY = 25;
    QStringList args;
    AppendEffectsArguments(settings, KRVAVCodecID_MP4, tmp.path(), args);

    QLocale::setDefault(previous);
    std::setlocale(LC_ALL, "C");
    QCOMPARE(args, (QStringList{ "-i", imageFile, "-filter_complex",
                                 "eq=gamma=1:contrast=1.25:brightness=0.5:saturation=1,"
                                 "overlay=main_w*0.5:main_h*0.25" }));
}

void TestConvertArgs::overlayForms()
{
    QTemporaryDir jobDir;
    QVERIFY(jobDir.isValid());
    ConvertSettings settings = BaseSettings();
    settings.wtEnable = true;
    settings.wtContent = QStringLiteral("Reelway");
    settings.wiEnable = true;
    settings.wiFile = imageFile;
    settings.wiAlign = 3;

    QStringList args;
    AppendEffectsArguments(settings, KRVAVCodecID_MP4, jobDir.path(), args);
    const QString textImage = jobDir.filePath(QStringLiteral("watermarktext.png"));
    QCOMPARE(args, (QStringList{ "-i", textImage, "-i", imageFile, "-filter_complex",
                                 "overlay=0:0 [temp]; [temp] overlay=main_w-overlay_w:main_h-overlay_h" }));
    QVERIFY(QFileInfo::exists(textImage));

    // With both overlays neither file is tested: a missing image is still passed on.
    settings.wiFile = tmp.filePath(QStringLiteral("gone.png"));
    args.clear();
    AppendEffectsArguments(settings, KRVAVCodecID_MP4, jobDir.path(), args);
    QCOMPARE(args.mid(0, 4), (QStringList{ "-i", textImage, "-i", settings.wiFile }));

    // Without a temporary directory the text image cannot be made, so the text-only overlay drops out.
    settings.wiEnable = false;
    args.clear();
    AppendEffectsArguments(settings, KRVAVCodecID_MP4, QString(), args);
    QCOMPARE(args, QStringList());
    QVERIFY(!QFileInfo::exists(QStringLiteral("/watermarktext.png")));
}

void TestConvertArgs::textWatermarkImage_data()
{
    QTest::addColumn<double>("pointSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<int>("opacity");
    QTest::addColumn<QString>("text");

    QTest::newRow("plain 20") << 20.0 << false << false << 100 << "Reelway";
    QTest::newRow("bold italic 13.9 truncated to 13") << 13.9 << true << true << 100 << "Watermark text";
    QTest::newRow("half opaque 30") << 30.0 << false << false << 50 << "Hg";
}

void TestConvertArgs::textWatermarkImage()
{
    QFETCH(double, pointSize);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(int, opacity);
    QFETCH(QString, text);

    ConvertSettings settings = BaseSettings();
    settings.wtContent = text;
    settings.wtFontSize = pointSize;
    settings.wtFontB = bold;
    settings.wtFontI = italic;
    settings.wtOpc = opacity;
    settings.wtCR = 0;
    settings.wtCG = 0;
    settings.wtCB = 255;

    QFont font(settings.wtFontName);
    font.setPointSize(int(pointSize));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    const QFontMetrics metrics(font);

    const QString path = tmp.filePath(QStringLiteral("text-%1.png").arg(QTest::currentDataTag()));
    QVERIFY(RenderWatermarkText(settings, path));
    const QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(metrics.horizontalAdvance(text), metrics.ascent() + metrics.descent()));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(image.width() - 1, 0)), 0);

    int maxAlpha = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            if (qAlpha(px) > maxAlpha)
                maxAlpha = qAlpha(px);
            if (qAlpha(px) > 200)
                QVERIFY2(qBlue(px) > 200 && qRed(px) < 50, "opaque pixels carry the text colour");
        }
    }
    QVERIFY(qAbs(maxAlpha - 255 * opacity / 100) <= 3);
}

void TestConvertArgs::textWatermarkOnPoolThreads()
{
    ConvertSettings settings = BaseSettings();
    settings.wtContent = QStringLiteral("Reelway 1.0.4");
    settings.wtFontSize = 24;
    settings.wtFontU = true;
    settings.wtCR = 250;
    const QString reference = tmp.filePath(QStringLiteral("pool-reference.png"));
    QVERIFY(RenderWatermarkText(settings, reference));

    QStringList paths;
    for (int i = 0; i < 8; ++i)
        paths << tmp.filePath(QStringLiteral("pool-%1.png").arg(i));
    const std::function<bool(const QString &)> render = [&settings](const QString &path) {
        return RenderWatermarkText(settings, path);
    };
    const QList<bool> rendered = QtConcurrent::blockingMapped<QList<bool>>(paths, render);
    QVERIFY(!rendered.contains(false));
    const QImage expected(reference);
    for (const QString &path : paths)
        QCOMPARE(QImage(path), expected);
}

void TestConvertArgs::imageWatermarkScaling()
{
    QTemporaryDir jobDir;
    QVERIFY(jobDir.isValid());
    ConvertSettings settings = BaseSettings();
    settings.wiFile = imageFile;

    settings.wiScale = 100;
    QCOMPARE(PrepareWatermarkImage(settings, jobDir.path()), imageFile);
    QVERIFY(!QFileInfo::exists(jobDir.filePath(QStringLiteral("watermarkimage.png"))));

    settings.wiScale = 50;
    const QString scaled = PrepareWatermarkImage(settings, jobDir.path());
    QCOMPARE(scaled, jobDir.filePath(QStringLiteral("watermarkimage.png")));
    QCOMPARE(QImage(scaled).size(), QSize(100, 50));

    settings.wiScale = 33;
    QCOMPARE(QImage(PrepareWatermarkImage(settings, jobDir.path())).size(), QSize(66, 33));

    // The format is taken from the content, not from a misleading suffix.
    const QString disguised = tmp.filePath(QStringLiteral("logo.jpg"));
    QFile::remove(disguised);
    QVERIFY(QFile::copy(imageFile, disguised));
    settings.wiFile = disguised;
    settings.wiScale = 50;
    QCOMPARE(QImage(PrepareWatermarkImage(settings, jobDir.path())).size(), QSize(100, 50));

    const QString garbage = tmp.filePath(QStringLiteral("garbage.png"));
    QVERIFY(TestSupport::WriteBytes(garbage, QByteArray(64, 'x')));
    settings.wiFile = garbage;
    QCOMPARE(PrepareWatermarkImage(settings, jobDir.path()), garbage);

    settings.wiFile = imageFile;
    settings.wiScale = 0;
    QCOMPARE(PrepareWatermarkImage(settings, jobDir.path()), imageFile);
}

void TestConvertArgs::targetPaths_data()
{
    QTest::addColumn<QString>("srcName");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<bool>("sameAsSource");
    QTest::addColumn<int>("exists");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("expected");

    QTest::newRow("free name") << "movie.avi" << QStringList{} << true << 0 << ".mp4" << "movie.mp4";
    QTest::newRow("first number") << "movie.avi" << QStringList{ "movie.mp4" } << true << 0 << ".mp4"
                                   << "movie-1.mp4";
    QTest::newRow("second number") << "movie.avi" << QStringList{ "movie.mp4", "movie-1.mp4" } << true << 0
                                   << ".mp4" << "movie-2.mp4";
    QTest::newRow("gap is reused") << "movie.avi" << QStringList{ "movie.mp4", "movie-2.mp4" } << true << 0
                                   << ".mp4" << "movie-1.mp4";
    QTest::newRow("overwrite keeps name") << "movie.avi" << QStringList{ "movie.mp4" } << true << 1 << ".mp4"
                                          << "movie.mp4";
    QTest::newRow("only last suffix dropped") << "clip.final.avi" << QStringList{} << true << 0 << ".mp4"
                                              << "clip.final.mp4";
    QTest::newRow("explicit folder") << "movie.avi" << QStringList{} << false << 0 << ".webm" << "movie.webm";
    QTest::newRow("bad save mode") << "movie.avi" << QStringList{} << true << 2 << ".mp4" << "";
    QTest::newRow("negative save mode") << "movie.avi" << QStringList{} << true << -1 << ".mp4" << "";
}

void TestConvertArgs::targetPaths()
{
    QFETCH(QString, srcName);
    QFETCH(QStringList, present);
    QFETCH(bool, sameAsSource);
    QFETCH(int, exists);
    QFETCH(QString, ext);
    QFETCH(QString, expected);

    QTemporaryDir srcDir;
    QTemporaryDir tgtDir;
    QVERIFY(srcDir.isValid() && tgtDir.isValid());
    const QString folder = sameAsSource ? srcDir.path() : tgtDir.path();
    for (const QString &name : present)
        QVERIFY(TestSupport::WriteBytes(QDir(folder).filePath(name), "x"));

    ConvertSettings settings = BaseSettings();
    settings.tgtFolder = sameAsSource ? QString::fromLatin1(SameAsSourceFile) : tgtDir.path();
    settings.exists = exists;
    settings.tgtFormat = ext;

    QString out = QStringLiteral("stale");
    const bool ok = MakeTgtFilePath(out, srcDir.filePath(srcName), settings);
    QCOMPARE(ok, !expected.isEmpty());
    QCOMPARE(out, expected.isEmpty() ? QString() : QDir(folder).filePath(expected));
}

void TestConvertArgs::uniqueNameExhausted()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(TestSupport::WriteBytes(dir.filePath(QStringLiteral("movie.mp4")), "x"));
    for (int i = 1; i <= 9999; ++i)
        QVERIFY(TestSupport::WriteBytes(dir.filePath(QStringLiteral("movie-%1.mp4").arg(i)), QByteArray()));

    QString out = QStringLiteral("stale");
    QVERIFY(!MakeUniqueFilePath(out, dir.path(), QStringLiteral("movie"), QStringLiteral(".mp4")));
    QVERIFY(out.isEmpty());

    ConvertSettings settings = BaseSettings();
    settings.tgtFolder = dir.path();
    QVERIFY(!MakeTgtFilePath(out, QStringLiteral("/v/movie.avi"), settings));

    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("movie-9999.mp4"))));
    QVERIFY(MakeUniqueFilePath(out, dir.path(), QStringLiteral("movie"), QStringLiteral(".mp4")));
    QCOMPARE(out, dir.filePath(QStringLiteral("movie-9999.mp4")));
}

QTEST_MAIN(TestConvertArgs)
#include "test_convertargs.moc"
