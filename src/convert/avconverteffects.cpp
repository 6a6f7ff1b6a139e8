#include "avconverteffects.h"

#include "convert/convertsettings.h"

#include <QBrush>
#include <QColor>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>

const char *const WatermarkTextFileName = "/watermarktext.png";
const char *const WatermarkImageFileName = "/watermarkimage.png";

QString EffectsNumberText(double value)
{
    // QString::number always writes the C locale, unlike QLocale::toString or arg().
    return QString::number(value, 'g', 6);
}

QString OverlayPositionText(bool custom, int alignment, int customX, int customY)
{
    if (custom) {
        return QStringLiteral("main_w*") + EffectsNumberText(customX / 100.0) + QStringLiteral(":main_h*")
               + EffectsNumberText(customY / 100.0);
    }
    switch (alignment) {
    case 0:
        return QStringLiteral("0:0");
    case 1:
        return QStringLiteral("main_w-overlay_w:0");
    case 2:
        return QStringLiteral("0:main_h-overlay_h");
    case 3:
        return QStringLiteral("main_w-overlay_w:main_h-overlay_h");
    default:
        return QStringLiteral("main_w/2-overlay_w/2:main_h/2-overlay_h/2");
    }
}

QString ColorFilterText(const ConvertSettings &settings)
{
    // FFmpeg dropped the "mp=eq2" wrapper; its eq filter takes the same four values.
    return QStringLiteral("eq=gamma=%1:contrast=%2:brightness=%3:saturation=%4")
        .arg(EffectsNumberText(settings.clrG), EffectsNumberText(settings.clrC), EffectsNumberText(settings.clrB),
             EffectsNumberText(settings.clrS));
}

QString TransformFilterText(const ConvertSettings &settings)
{
    if (!settings.transform)
        return QString();
    QStringList parts;
    if (settings.rotate) {
        switch (settings.rotateDegree) {
        case 1:
            parts << QStringLiteral("transpose=1,transpose=1");
            break;
        case 2:
            parts << QStringLiteral("transpose=1,transpose=1,transpose=1");
            break;
        default:
            parts << QStringLiteral("transpose=1");
            break;
        }
    }
    if (settings.hFlip && settings.vFlip)
        parts << QStringLiteral("hflip,vflip");
    else if (settings.hFlip)
        parts << QStringLiteral("hflip");
    else if (settings.vFlip)
        parts << QStringLiteral("vflip");
    return parts.join(QLatin1Char(','));
}

bool RenderWatermarkText(const ConvertSettings &settings, const QString &filePath)
{
    // Fonts need the GUI application's font database; without it QFont would crash.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;

    const QString text = settings.GetWTContent();
    QFont font(settings.GetWTFontName());
    font.setPointSize(int(settings.wtFontSize));
    font.setWeight(settings.wtFontB ? 75 : 50);
    font.setStyle(settings.wtFontI ? QFont::StyleItalic : QFont::StyleNormal);
    font.setUnderline(settings.wtFontU);
    const QColor color = settings.GetWTColor();

    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(text);
    const int height = metrics.ascent() + metrics.descent();
    if (width <= 0 || height <= 0)
        return false;

    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setBackgroundMode(Qt::TransparentMode);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setPen(color);
        painter.setBrush(QBrush(color, Qt::SolidPattern));
        painter.setFont(font);
        painter.setOpacity(settings.wtOpc / 100.0);
        painter.drawText(0, height - metrics.descent(), text);
    }
    return image.save(filePath) && QFileInfo::exists(filePath);
}

QString PrepareWatermarkImage(const ConvertSettings &settings, const QString &tempDir)
{
    const QString original = settings.GetWIFile();
    const double factor = settings.wiScale / 100.0;
    if (factor == 1.0 || tempDir.isEmpty())
        return original;

    QImageReader reader(original);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        return original;
    const QImage scaled = image.scaled(int(image.width() * factor), int(image.height() * factor),
                                       Qt::KeepAspectRatio, Qt::FastTransformation);
    if (scaled.isNull())
        return original;
    const QString path = tempDir + QLatin1String(WatermarkImageFileName);
    if (!scaled.save(path) || !QFileInfo::exists(path))
        return original;
    return path;
}

bool HasEffects(const ConvertSettings &settings, KRVAVCodecID tgtID)
{
    return (IsScalableFormat(tgtID) && settings.scale) || settings.clrEnable
           || (settings.wtEnable && !settings.wtContent.isEmpty()) || (settings.wiEnable && !settings.wiFile.isEmpty())
           || (settings.transform && (settings.rotate || settings.hFlip || settings.vFlip));
}

void AppendEffectsArguments(const ConvertSettings &settings, KRVAVCodecID tgtID, const QString &tempDir,
                            QStringList &args)
{
    if (!HasEffects(settings, tgtID))
        return;
    const bool scalePart = IsScalableFormat(tgtID) && settings.scale;
    const bool colorPart = settings.clrEnable;
    const bool textOverlay = settings.wtEnable && !settings.wtContent.isEmpty();
    const bool imageOverlay = settings.wiEnable && !settings.wiFile.isEmpty();
    const bool transformPart = settings.transform && (settings.rotate || settings.hFlip || settings.vFlip);

    QStringList parts;
    if (scalePart)
        parts << QStringLiteral("scale=%1:%2").arg(settings.scaleW).arg(settings.scaleH);
    if (colorPart)
        parts << ColorFilterText(settings);
    // The picture is turned before the watermarks go on, so they stay upright
    // at the corner the user chose in the result.
    if (transformPart)
        parts << TransformFilterText(settings);

    const QString textPosition =
        OverlayPositionText(settings.wtCAlign, settings.wtAlign, settings.wtCAlignX, settings.wtCAlignY);
    const QString imagePosition =
        OverlayPositionText(settings.wiCAlign, settings.wiAlign, settings.wiCAlignX, settings.wiCAlignY);
    const QString textImage = tempDir + QLatin1String(WatermarkTextFileName);
    // With an empty path the image would land in the file system's root.
    const auto render = [&]() { return !tempDir.isEmpty() && RenderWatermarkText(settings, textImage); };

    if (textOverlay && imageOverlay) {
        render();
        const QString image = PrepareWatermarkImage(settings, tempDir);
        args << QStringLiteral("-i") << textImage << QStringLiteral("-i") << image;
        parts << QStringLiteral("overlay=") + textPosition + QStringLiteral(" [temp]; ")
                     + QStringLiteral("[temp] overlay=") + imagePosition;
    } else if (textOverlay) {
        if (render()) {
            args << QStringLiteral("-i") << textImage;
            parts << QStringLiteral("overlay=") + textPosition;
        }
    } else if (imageOverlay) {
        if (QFileInfo::exists(settings.wiFile)) {
            args << QStringLiteral("-i") << PrepareWatermarkImage(settings, tempDir);
            parts << QStringLiteral("overlay=") + imagePosition;
        }
    }

    const QString filter = parts.join(QLatin1Char(','));
    if (!filter.isEmpty())
        args << QStringLiteral("-filter_complex") << filter;
}
