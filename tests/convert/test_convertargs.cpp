#include "testsupport.h"

#include "convert/avconverteffects.h"
#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "convert/transcoderoutput.h"

#include <QtConcurrent>

#include <clocale>
#include <functional>

using S = ConvertSettings &;
using Tweak = std::function<void(S)>;
Q_DECLARE_METATYPE(Tweak)

namespace {

const QString Src = QStringLiteral("/home/u/talk.wav");
const QString Vob = QStringLiteral("/v/movie.vob");
const QString Ts = QStringLiteral("/v/rec.ts");
const QString Device = QStringLiteral("-c:v libx264 -profile:v ");
const QString Yuv420 = QStringLiteral("-pix_fmt yuv420p -maxrate ");
const QString ThreeGP = QStringLiteral("-ac 1 -ar 8k -b:a 12.20k -b:v 2M");

void EveryEffect(S s)
{
    s.scale = s.clrEnable = s.wtEnable = s.wiEnable = s.transform = s.rotate = s.hFlip = true;
    s.wtContent = QStringLiteral("Reelway");
    s.wiFile = QStringLiteral("<img>");
}

// An image watermark at one of the fixed places, or at x, y percent when x is given.
Tweak Image(int alignment, int x = -1, int y = 0)
{
    return [=](S s) { s.wiEnable = true, s.wiFile = QStringLiteral("<img>"), s.wiAlign = alignment, s.wiCAlign = x >= 0, s.wiCAlignX = x, s.wiCAlignY = y; };
}

void Row(const char *name, int id, const char *ext, const QString &args, const Tweak &tweak = {},
         const QString &src = Src, bool evenFrame = false)
{
    QTest::newRow(name) << src << id << QString(ext) << tweak << args << evenFrame;
}

// Transcoder output recorded from FFmpeg 5.1 with "-nostats -progress pipe:1 -loglevel level+info".
const QByteArray Header = "[info] ffmpeg version 5.1.9-0+deb12u1 Copyright (c) 2000-2026 the FFmpeg developers\n"
                          "[info] Input #0, avi, from '/home/u/\xd0\x92\xd0\xb8\xd0\xb4\xd0\xb5\xd0\xbe/odd \xc3\xa9.avi':\n"
                          "[info]   Duration: 00:01:01.04, start: 0.000000, bitrate: 679 kb/s\n"
                          "[info]   Stream #0:0: Video: mpeg4 (Simple Profile) (FMP4 / 0x34504D46), yuv420p, 321x241 "
                          "[SAR 1:1 DAR 321:241], 25 fps, 25 tbr, 25 tbn\n"
                          "[info] Input #1, png_pipe, from '/tmp/reelway-job-x/watermarktext.png':\n"
                          "[info]   Duration: 00:00:00.04, start: 0.000000, bitrate: N/A\n"
                          "[info] Stream mapping:\n";
const QByteArray OddFailure = "[libx264 @ 0x55c93609ffc0] [error] width not divisible by 2 (321x241)\n"
                              "[error] Error initializing output stream 0:0 -- Error while opening encoder\n"
                              "[aac @ 0x55c9360a2140] [warning] 2 frames left in the queue on closing\n"
                              "[info] Conversion failed!\n";
const QByteArray Progress = "frame=1\nout_time_us=69660\nout_time_ms=69660\nprogress=continue\n"
                            "frame=26\ntotal_size=20449\nout_time_us=30544898\nout_time_ms=30544898\nprogress=continue\n";

} // namespace

class TestConvertArgs : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    QString imageFile = fixture.path("logo.png");

private slots:
    void initTestCase()
    {
        QImage image(200, 100, QImage::Format_ARGB32);
        image.fill(QColor(200, 30, 30));
        QVERIFY(image.save(imageFile));
        // Every number in a filter must keep its "." whatever the user's locale.
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(QLocale().toString(0.5), QStringLiteral("0,5"));
    }

    // One row per branch of the command line.
    void argumentLists_data()
    {
        QTest::addColumn<QString>("src"); QTest::addColumn<int>("id"); QTest::addColumn<QString>("ext"); QTest::addColumn<Tweak>("tweak"); QTest::addColumn<QString>("middle"); QTest::addColumn<bool>("evenFrame");

        Row("amr", 38, ".amr", "-ac 1 -ar 8k -b:a 12.20k");
        Row("avi", 45, ".avi", "-q:v 0 -q:a 0");
        Row("wmv", 70, ".wmv", "-q:v 0 -q:a 0 -ac 2");
        Row("3gp size 0", 25, ".3gp", "-s 128x96 " + ThreeGP, [](S s) { s.threeGPSize = 0; });
        Row("3g2 size negative, scale ignored", 24, ".3g2", "-s 704x576 " + ThreeGP, [](S s) { s.threeGPSize = -1; s.scale = true; });
        Row("dts", 51, ".dts", "-strict -2");
        Row("flv", 53, ".flv", "-ar 22050 -b:v 2M");
        Row("webm", 68, ".webm", "-b:v 2M");
        Row("mpg", 62, ".mpg", "-vcodec mpeg2video -b:v 2M");
        Row("mp4, no effects", 61, ".mp4", "", [](S s) { s.wtEnable = s.transform = true; s.wiFile = QStringLiteral("/nowhere.png"); s.scaleW = 10; });
        Row("device profile ignores scale, keeps to its limits", 3, ".mp4", Device + "high -level:v 4.1 " + Yuv420 + "62500k -bufsize 78125k", [](S s) { s.scale = true; });

        // Nothing is copied from a source the prober could not read, whatever its name.
        Row("ts to mp4 without facts is encoded", 61, ".mp4", "-filter_complex scale=768:576", [](S s) { s.scale = true; }, Ts);
        Row("vob to device profile goes through effects", 0, ".mp4", "-filter_complex transpose=1 " + Device + "baseline -level:v 3.0 " + Yuv420 + "10000k -bufsize 10000k", [](S s) { s.scale = s.transform = s.rotate = true; }, Vob);

        Row("mp3 takes no effects", 60, ".mp3", "", EveryEffect);
        Row("m4a takes no effects", 58, ".m4a", "", EveryEffect);
        Row("mka takes no effects", 57, ".mka", "", EveryEffect);
        Row("oga takes no effects", 64, ".oga", "-b:v 2M", [](S s) { s.scale = true; });
        Row("ogv with scale", 64, ".ogv", "-filter_complex scale=768:576 -b:v 2M", [](S s) { s.scale = true; });
        Row("gif with scale", 54, ".gif", "-filter_complex scale=320:200", [](S s) { s.scale = true; s.scaleW = 320; s.scaleH = 200; });
        Row("every effect", 61, ".mp4", "-i <tmp>/watermarktext.png -filter_complex scale=640:480,eq=gamma=1:contrast=1:brightness=0:saturation=1,transpose=1,hflip,overlay=main_w-overlay_w:0", [](S s) { EveryEffect(s); s.wiEnable = false; s.scaleW = 640; s.scaleH = 480; s.wtAlign = 1; });
        Row("image only, deleted file, scale on", 61, ".mp4", "-filter_complex scale=768:576", [](S s) { s.scale = s.wiEnable = true; s.wiFile = QStringLiteral("/no/such/logo.png"); });
        const QString overlay = QStringLiteral("-i <img> -filter_complex overlay=");
        Row("image at top left", 61, ".mp4", overlay + "0:0", Image(0));
        Row("image at top right", 61, ".mp4", overlay + "main_w-overlay_w:0", Image(1));
        Row("image at bottom left", 61, ".mp4", overlay + "0:main_h-overlay_h", Image(2));
        Row("image at bottom right", 61, ".mp4", overlay + "main_w-overlay_w:main_h-overlay_h", Image(3));
        Row("image at center", 61, ".mp4", overlay + "main_w/2-overlay_w/2:main_h/2-overlay_h/2", Image(4));
        Row("image at custom position with colour", 61, ".mp4", "-i <img> -filter_complex eq=gamma=3.14159:contrast=1.25:brightness=0.5:saturation=1,overlay=main_w*1:main_h*0.33", [](S s) { Image(3, 100, 33)(s); s.clrEnable = true; s.clrB = 0.5; s.clrC = 1.25; s.clrG = 3.14159265; });
        Row("colour in slider steps", 61, ".mp4", "-filter_complex eq=gamma=-0.1:contrast=10:brightness=0.3:saturation=0", [](S s) { s.clrEnable = true; s.clrB = 0.1 + 0.1 + 0.1; s.clrC = 10.0; s.clrS = 0.0; s.clrG = -0.1; });
        // Turned before the watermark goes on, so it sits upright in the chosen corner.
        Row("rotate 180, then image at bottom right", 61, ".mp4", "-i <img> -filter_complex transpose=1,transpose=1,overlay=main_w-overlay_w:main_h-overlay_h", [](S s) { Image(3)(s); s.transform = s.rotate = true; s.rotateDegree = 1; });
        Row("rotate 270 with vflip", 61, ".mp4", "-filter_complex transpose=1,transpose=1,transpose=1,vflip", [](S s) { s.transform = s.rotate = s.vFlip = true; s.rotateDegree = 2; });
        Row("rotate index out of range", 61, ".mp4", "-filter_complex transpose=1", [](S s) { s.transform = s.rotate = true; s.rotateDegree = 5; });
        Row("both flips", 61, ".mp4", "-filter_complex hflip,vflip", [](S s) { s.transform = s.hFlip = s.vFlip = true; });
        Row("flips without transform", 61, ".mp4", "", [](S s) { s.rotate = s.hFlip = true; });
        Row("odd frame cut to even", 61, ".mp4", "-vf scale=trunc(iw/2)*2:trunc(ih/2)*2", {}, Src, true);
        Row("odd frame cut to even after the effects", 70, ".wmv", "-filter_complex vflip,scale=trunc(iw/2)*2:trunc(ih/2)*2 -q:v 0 -q:a 0 -ac 2", [](S s) { s.transform = s.vFlip = true; }, Src, true);
        Row("scale, colour, transform, then format options", 70, ".wmv", "-filter_complex scale=640:360,eq=gamma=1:contrast=1:brightness=0:saturation=1,vflip -q:v 0 -q:a 0 -ac 2", [](S s) { s.transform = s.vFlip = s.clrEnable = s.scale = true; s.scaleW = 640; s.scaleH = 360; });
    }

    void argumentLists()
    {
        QFETCH(QString, src); QFETCH(int, id); QFETCH(QString, ext); QFETCH(Tweak, tweak); QFETCH(QString, middle); QFETCH(bool, evenFrame);

        QTemporaryDir jobDir;
        ConvertSettings settings = TestSupport::TargetSettings();
        settings.tgtID = id, settings.tgtFormat = ext;
        if (tweak)
            tweak(settings);
        if (settings.wiFile == QLatin1String("<img>"))
            settings.wiFile = imageFile;
        middle.replace(QLatin1String("<tmp>"), jobDir.path()).replace(QLatin1String("<img>"), imageFile);
        const QStringList expected = QStringList{ "-i", src } + middle.split(' ', Qt::SkipEmptyParts)
                                     + QStringList{ "-y", "/out/target" };
        QCOMPARE(MakeConvertArguments(src, settings, QStringLiteral("/out/target"), jobDir.path(), evenFrame), expected);
    }

    // Source facts, as the prober reports them, against what each kind of target gets.
    void fittedArguments_data()
    {
        QTest::addColumn<QString>("streams"); QTest::addColumn<int>("id"); QTest::addColumn<QString>("ext"); QTest::addColumn<QString>("middle");
        const QString phone = R"({"index":0,"codec_type":"video","width":1440,"height":2560,"pix_fmt":"yuv420p10le","avg_frame_rate":"60/1"},{"index":1,"codec_type":"audio","channels":6,"sample_rate":"48000"})";
        QTest::newRow("10-bit portrait 60 fps phone clip to iPhone 4") << phone << 1 << ".mp4" << "-map 0:0 -map 0:1 -vf scale=720:1280,setsar=1,fps=30 " + Device + "main -level:v 3.1 " + Yuv420 + "14000k -bufsize 14000k -ac 2";
        QTest::newRow("phone clip stored landscape, shown portrait, to iPhone 4") << R"({"index":0,"codec_type":"video","width":1920,"height":1080,"pix_fmt":"yuv420p","side_data_list":[{"side_data_type":"Display Matrix","rotation":-90}]})" << 1 << ".mp4" << "-map 0:0 -vf scale=720:1280,setsar=1 " + Device + "main -level:v 3.1 " + Yuv420 + "14000k -bufsize 14000k";
        QTest::newRow("10-bit clip to mp4") << phone << 61 << ".mp4" << "-map 0:0 -map 0:1 -pix_fmt yuv420p";
        QTest::newRow("inside the PSP's limits: size kept") << R"({"index":0,"codec_type":"video","width":480,"height":272,"pix_fmt":"yuv420p","avg_frame_rate":"25/1","sample_aspect_ratio":"1:1"})" << 21 << ".mp4" << "-map 0:0 " + Device + "main -level:v 2.1 " + Yuv420 + "4000k -bufsize 4000k";
        QTest::newRow("silent clip to m4a") << R"({"index":0,"codec_type":"video"})" << 58 << ".m4a" << "!The source has no sound.";
        QTest::newRow("sound to gif") << R"({"index":0,"codec_type":"audio"})" << 54 << ".gif" << "!The source has no picture.";
        QTest::newRow("mp3 with cover to m4a") << R"({"index":0,"codec_type":"audio","channels":2},{"index":1,"codec_type":"video","codec_name":"mjpeg","disposition":{"attached_pic":1}})" << 58 << ".m4a" << "-map 0:0 -map 0:1 -c:v copy -disposition:v attached_pic";
        QTest::newRow("mp3 with cover to mp4: no video") << R"({"index":0,"codec_type":"audio"},{"index":1,"codec_type":"video","codec_name":"mjpeg","disposition":{"attached_pic":1}})" << 61 << ".mp4" << "-map 0:0";
        QTest::newRow("5.1 at 96 kHz to wma") << R"({"index":0,"codec_type":"video"},{"index":1,"codec_type":"audio","channels":6,"sample_rate":"96000"})" << 69 << ".wma" << "-vn -ac 2 -ar 48000 -q:v 0 -q:a 0 -ac 2";
        QTest::newRow("5.1(side) to webm") << R"j({"index":0,"codec_type":"audio","channels":6,"channel_layout":"5.1(side)"})j" << 68 << ".webm" << "-map 0:0 -ac 6 -b:v 2M";
        QTest::newRow("interlaced HLG to webm, tone-mapped") << R"({"index":0,"codec_type":"video","field_order":"tt","color_transfer":"arib-std-b67","pix_fmt":"yuv420p10le"})" << 68 << ".webm" << "-map 0:0 -vf bwdif=0,zscale=tin=arib-std-b67:pin=bt2020:min=bt2020nc:t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,format=yuv420p -color_primaries bt709 -color_trc bt709 -colorspace bt709 -b:v 2M";
        const QString disc = R"({"index":0,"codec_type":"video","pix_fmt":"yuv420p"},{"index":1,"codec_type":"audio","tags":{"language":"eng"}},{"index":2,"codec_type":"audio","tags":{"language":"deu"}},)" R"({"index":3,"codec_type":"subtitle","codec_name":"subrip"},{"index":4,"codec_type":"subtitle","codec_name":"hdmv_pgs_subtitle"})";
        QTest::newRow("two languages, text and bitmap subtitles to mp4") << disc << 61 << ".mp4" << "-map 0:0 -map 0:1 -map 0:2 -map 0:3 -c:s:0 mov_text";
        QTest::newRow("the same to mkv keeps both subtitles") << disc << 57 << ".mkv" << "-map 0:0 -map 0:1 -map 0:2 -map 0:3 -c:s:0 copy -map 0:4 -c:s:1 copy";
        QTest::newRow("the same to avi: first track only") << disc << 45 << ".avi" << "-map 0:0 -map 0:1 -q:v 0 -q:a 0";
        // Copies stream by stream, where the engine's table does not reach.
        const QString h264 = R"({"index":0,"codec_type":"video","codec_name":"h264","profile":"Main","level":31,"width":1280,"height":720,"pix_fmt":"yuv420p","avg_frame_rate":"30/1")";
        QTest::newRow("HEVC, AAC and FLAC to mp4: tagged picture, AAC copied") << R"({"index":0,"codec_type":"video","codec_name":"hevc","profile":"Main","pix_fmt":"yuv420p"},{"index":1,"codec_type":"audio","codec_name":"aac"},{"index":2,"codec_type":"audio","codec_name":"flac"})" << 61 << ".mp4" << "-map 0:0 -map 0:1 -map 0:2 -c:v copy -tag:v hvc1 -c:a:0 copy";
        QTest::newRow("720p30 Main 3.1 with 5.1 AAC to iPhone 4: picture copied, sound fitted") << h264 + R"(},{"index":1,"codec_type":"audio","codec_name":"aac","profile":"LC","channels":6,"sample_rate":"48000"})" << 1 << ".mp4" << "-map 0:0 -map 0:1 -c:v copy -ac 2";
        QTest::newRow("interlaced H.264 to mkv is deinterlaced") << h264 + R"(,"field_order":"tt"})" << 57 << ".mkv" << "-map 0:0 -vf bwdif=0";
        QTest::newRow("the AAC of a film to m4a, not the loudest track") << h264 + R"(},{"index":1,"codec_type":"audio","codec_name":"aac"},{"index":2,"codec_type":"audio","channels":6})" << 58 << ".m4a" << "-vn -map 0:1 -c:a copy";
        QTest::newRow("anamorphic to flv: square pixels") << R"({"index":0,"codec_type":"video","sample_aspect_ratio":"64:45"})" << 53 << ".flv" << "-map 0:0 -vf scale=trunc(iw*sar/2)*2:ih,setsar=1 -ar 22050 -b:v 2M";
    }

    void fittedArguments()
    {
        QFETCH(QString, streams); QFETCH(int, id); QFETCH(QString, ext); QFETCH(QString, middle);
        MediaInfo source;
        QVERIFY(ParseMediaProbe(R"({"format":{"format_name":"x"},"streams":[)" + streams.toUtf8() + "]}", source));
        ConvertSettings settings = TestSupport::TargetSettings();
        settings.tgtID = id, settings.tgtFormat = ext;
        // Effects are on throughout: a source without a picture must not get them.
        settings.transform = settings.vFlip = id == KRVAVCodecID_MP4 && !source.HasPicture();
        QCOMPARE(SourceMismatch(source, settings), middle.startsWith('!') ? middle.mid(1) : QString());
        const QStringList expected = QStringList{ "-i", "/s" } + middle.split(' ') + QStringList{ "-y", "/t" };
        if (!middle.startsWith('!'))
            QCOMPARE(MakeConvertArguments(source, "/s", settings, "/t", QString()), expected);
    }

    void bothOverlays()
    {
        QTemporaryDir jobDir;
        ConvertSettings s = TestSupport::TargetSettings();
        s.wtEnable = s.wiEnable = true;
        s.wtContent = QStringLiteral("Reelway"), s.wiFile = imageFile, s.wiAlign = 3;
        const QString textImage = jobDir.filePath(QStringLiteral("watermarktext.png"));
        const auto effects = [&s](const QString &dir) { QStringList args; AppendEffectsArguments(s, KRVAVCodecID_MP4, dir, args); return args; };
        QCOMPARE(effects(jobDir.path()), (QStringList{ "-i", textImage, "-i", imageFile, "-filter_complex", "overlay=0:0 [temp]; [temp] overlay=main_w-overlay_w:main_h-overlay_h" }));
        QVERIFY(QFileInfo::exists(textImage));

        // With both overlays neither file is tested: a missing image is still passed on.
        s.wiFile = fixture.path("gone.png");
        QCOMPARE(effects(jobDir.path()).mid(0, 4), (QStringList{ "-i", textImage, "-i", s.wiFile }));

        // Without a temporary folder the text image cannot be made, so the text-only overlay drops out.
        s.wiEnable = false;
        QCOMPARE(effects(QString()), QStringList());
        QVERIFY(!QFileInfo::exists(QStringLiteral("/watermarktext.png")));
    }

    void textWatermarkImage_data()
    {
        QTest::addColumn<double>("pointSize"); QTest::addColumn<bool>("styled"); QTest::addColumn<int>("opacity"); QTest::addColumn<QString>("text");
        QTest::newRow("bold italic 13.9 truncated to 13") << 13.9 << true << 100 << "Watermark text";
        QTest::newRow("half opaque 30") << 30.0 << false << 50 << "Hg";
    }

    void textWatermarkImage()
    {
        QFETCH(double, pointSize); QFETCH(bool, styled); QFETCH(int, opacity); QFETCH(QString, text);
        ConvertSettings s = TestSupport::TargetSettings();
        s.wtContent = text, s.wtFontSize = pointSize, s.wtOpc = opacity, s.wtCB = 255;
        s.wtFontB = s.wtFontI = styled;
        const QFontMetrics metrics(QFont(s.wtFontName, int(pointSize), styled ? QFont::Bold : QFont::Normal, styled));

        const QString path = fixture.path(QStringLiteral("text-%1.png").arg(QTest::currentDataTag()));
        QVERIFY(RenderWatermarkText(s, path));
        const QImage image(path);
        QCOMPARE(image.size(), QSize(metrics.horizontalAdvance(text), metrics.ascent() + metrics.descent()));
        QCOMPARE(qAlpha(image.pixel(image.width() - 1, 0)), 0);
        // The most opaque pixel carries the text colour at the chosen opacity.
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        const auto *px = reinterpret_cast<const QRgb *>(argb.constBits()); // 32-bit rows have no padding
        const QRgb strongest = *std::max_element(px, px + argb.width() * argb.height(), [](QRgb a, QRgb b) { return qAlpha(a) < qAlpha(b); });
        QVERIFY(qAbs(qAlpha(strongest) - 255 * opacity / 100) <= 3 && qBlue(strongest) > 150 && qRed(strongest) < 50);

        // Batches render on pool threads, several at once: the result must not change.
        QStringList paths;
        for (int i = 0; i < 6; ++i)
            paths << fixture.path(QStringLiteral("pool-%1-%2.png").arg(QTest::currentDataTag()).arg(i));
        const std::function<bool(const QString &)> render = [&s](const QString &p) { return RenderWatermarkText(s, p); };
        QVERIFY(!QtConcurrent::blockingMapped<QList<bool>>(paths, render).contains(false));
        for (const QString &p : paths)
            QCOMPARE(QImage(p), image);
    }

    void imageWatermarkScaling_data()
    {
        QTest::addColumn<QString>("file"); QTest::addColumn<int>("scale"); QTest::addColumn<QSize>("size");
        QTest::newRow("100 keeps the file") << "logo.png" << 100 << QSize();
        QTest::newRow("33 truncates") << "logo.png" << 33 << QSize(66, 33);
        QTest::newRow("format from content, not suffix") << "logo.jpg" << 50 << QSize(100, 50);
        QTest::newRow("unreadable image passed on") << "garbage.png" << 50 << QSize();
    }

    void imageWatermarkScaling()
    {
        QFETCH(QString, file); QFETCH(int, scale); QFETCH(QSize, size);
        QTemporaryDir jobDir;
        const QString path = fixture.path(file);
        if (!QFileInfo::exists(path))
            QVERIFY(file == QLatin1String("logo.jpg") ? QFile::copy(imageFile, path)
                                                      : TestSupport::WriteBytes(path, QByteArray(64, 'x')));
        ConvertSettings settings = TestSupport::TargetSettings();
        settings.wiFile = path;
        settings.wiScale = scale;
        const QString scaled = jobDir.filePath(QStringLiteral("watermarkimage.png"));
        QCOMPARE(PrepareWatermarkImage(settings, jobDir.path()), size.isValid() ? scaled : path);
        QCOMPARE(QFileInfo::exists(scaled), size.isValid());
        if (size.isValid())
            QCOMPARE(QImage(scaled).size(), size);
    }

    // `numbered` more names are taken from "movie-1.mp4" on.
    void targetPaths_data()
    {
        QTest::addColumn<QString>("srcName"); QTest::addColumn<QString>("present"); QTest::addColumn<int>("numbered"); QTest::addColumn<int>("exists"); QTest::addColumn<QString>("expected");
        QTest::newRow("free name, only the last suffix dropped") << "clip.final.avi" << "" << 0 << 0 << "clip.final.mp4";
        QTest::newRow("second number") << "movie.avi" << "movie.mp4" << 1 << 0 << "movie-2.mp4";
        QTest::newRow("gap is reused") << "movie.avi" << "movie.mp4 movie-2.mp4" << 0 << 0 << "movie-1.mp4";
        QTest::newRow("overwrite keeps name") << "movie.avi" << "movie.mp4" << 0 << 1 << "movie.mp4";
        QTest::newRow("bad save mode") << "movie.avi" << "" << 0 << 2 << "";
        QTest::newRow("the last number") << "movie.avi" << "movie.mp4" << 9998 << 0 << "movie-9999.mp4";
        QTest::newRow("every number taken") << "movie.avi" << "movie.mp4" << 9999 << 0 << "";
    }

    void targetPaths()
    {
        QFETCH(QString, srcName); QFETCH(QString, present); QFETCH(int, numbered); QFETCH(int, exists); QFETCH(QString, expected);
        // Ten thousand files are made in no time on a memory file system.
        QTemporaryDir folder(QFileInfo("/dev/shm").isWritable() ? "/dev/shm/reelway-test-XXXXXX" : QString());
        for (const QString &name : present.split(' ', Qt::SkipEmptyParts))
            QVERIFY(TestSupport::WriteBytes(folder.filePath(name), "x"));
        for (int i = 1; i <= numbered; ++i)
            QVERIFY(TestSupport::WriteBytes(folder.filePath(QStringLiteral("movie-%1.mp4").arg(i)), QByteArray()));
        QVERIFY(folder.isValid());
        ConvertSettings settings = TestSupport::TargetSettings(folder.path());
        settings.exists = exists;
        QString out = QStringLiteral("stale");
        QCOMPARE(MakeTgtFilePath(out, QStringLiteral("/v/") + srcName, settings), !expected.isEmpty());
        QCOMPARE(out, expected.isEmpty() ? QString() : folder.filePath(expected));
    }

    void transcoderOutput_data()
    {
        QTest::addColumn<QByteArray>("errors"); QTest::addColumn<QByteArray>("progress"); QTest::addColumn<qint64>("durationMs"); QTest::addColumn<qint64>("doneMs"); QTest::addColumn<QSize>("frame"); QTest::addColumn<QString>("reason");
        QTest::newRow("odd frame refused, non-Latin path") << Header + OddFailure << QByteArray() << qint64(61040) << qint64(0) << QSize(321, 241) << "width not divisible by 2 (321x241)";
        QTest::newRow("failure in the middle") << Header + "[error] Error writing trailer of /m/.reelway-1-x.mkv: No space left on device\n" << Progress << qint64(61040) << qint64(30544) << QSize(321, 241) << "Error writing trailer of /m/.reelway-1-x.mkv: No space left on device";
        QTest::newRow("stream without duration") << QByteArray("[info] Input #0, h264, from 'raw.h264':\n[info]   Duration: N/A, bitrate: N/A\n[info]   Stream #0:0: Video: h264 (High), yuv444p(progressive), 160x120 [SAR 1:1 DAR 4:3], 25 fps\n") << Progress.left(Progress.indexOf("frame=26")) << qint64(-1) << qint64(69) << QSize(160, 120) << "";
        QTest::newRow("unreadable source: the component's message") << QByteArray("[matroska,webm @ 0x55] [warning] detected only with low score of 1\n[error] Truncating packet of size 463302 to 99996\n[matroska,webm @ 0x55] [error] EBML header parsing failed\n[error] /v/garbage.mkv: Invalid data found when processing input\n") << QByteArray() << qint64(-1) << qint64(0) << QSize() << "EBML header parsing failed";
        QTest::newRow("missing source") << QByteArray("[error] nope \xc3\xa9.avi: No such file or directory\n") << QByteArray() << qint64(-1) << qint64(0) << QSize() << QString::fromUtf8("nope é.avi: No such file or directory");
        QTest::newRow("chatty run: head and end kept, never more") << Header + QByteArray("[mp3float @ 0x1] [warning] Header missing\n").repeated(10000) + OddFailure << QByteArray() << qint64(61040) << qint64(0) << QSize(321, 241) << "width not divisible by 2 (321x241)";
        QTest::newRow("no error level: no reason, the job words its own") << QByteArray("[aac @ 0x1] [warning] Too many bits\n[info] Conversion failed!\n") << QByteArray() << qint64(-1) << qint64(0) << QSize() << "";
    }

    // Output arrives in pieces of any size; the answer may not depend on where they split.
    void transcoderOutput()
    {
        QFETCH(QByteArray, errors); QFETCH(QByteArray, progress); QFETCH(QString, reason);
        for (int piece : { 1, 7, 4096 }) {
            TranscoderOutput output;
            for (int i = 0; i < qMax(errors.size(), progress.size()); i += piece) {
                output.AddErrors(errors.mid(i, piece));
                output.AddProgress(progress.mid(i, piece));
            }
            QTEST(output.DurationMs(), "durationMs");
            QTEST(output.DoneMs(), "doneMs");
            QTEST(output.FrameSize(), "frame");
            if (!reason.isEmpty()) // a run that did not fail has nothing to explain
                QCOMPARE(output.FailureReason(), reason);
            QVERIFY(output.KeptErrors().size() <= TranscoderOutput::KeptErrorBytes + 100);
            QCOMPARE(output.KeptErrors().contains("bytes left out"), errors.size() > TranscoderOutput::KeptErrorBytes);
        }
        QCOMPARE(FormatTimeLeft(72) + ' ' + FormatTimeLeft(3723), QStringLiteral("1:12 1:02:03"));
    }
};

QTEST_MAIN(TestConvertArgs)
#include "test_convertargs.moc"
