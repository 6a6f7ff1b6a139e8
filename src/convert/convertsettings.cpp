#include "convertsettings.h"

#include <QDebug>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QSettings>
#include <QStringList>

const char *const SameAsSourceFile = "Same as source file";

namespace {

QString DefaultFontFamily()
{
    // The record may be built before a GUI application exists (tools, tests of the engine).
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QGuiApplication::font().family();
    return QFont().family();
}

} // namespace

ConvertSettings::ConvertSettings()
    : wtFontName(DefaultFontFamily())
{
}

void ConvertSettings::Load()
{
    qDebug() << "ConvertSettings::Load";
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("CSettings"));
    tgtFolder = settings.value(QStringLiteral("TgtFolder"), QString::fromLatin1(SameAsSourceFile)).toString();
    tgtFormat = settings.value(QStringLiteral("TgtFormat"), QStringLiteral(".mp4")).toString();
    tgtID = settings.value(QStringLiteral("TgtID"), int(KRVAVCodecID_MP4)).toInt();
    exists = settings.value(QStringLiteral("Exists"), 0).toInt();
    scale = settings.value(QStringLiteral("Scale"), false).toBool();
    scaleKA = settings.value(QStringLiteral("ScaleKA"), false).toBool();
    scaleA = settings.value(QStringLiteral("ScaleA"), 0).toInt();
    scaleW = settings.value(QStringLiteral("ScaleW"), 768).toInt();
    scaleH = settings.value(QStringLiteral("ScaleH"), 576).toInt();
    clrEnable = settings.value(QStringLiteral("ClrEnable"), false).toBool();
    clrB = settings.value(QStringLiteral("ClrB"), 0.0).toDouble();
    clrC = settings.value(QStringLiteral("ClrC"), 1.0).toDouble();
    clrS = settings.value(QStringLiteral("ClrS"), 1.0).toDouble();
    clrG = settings.value(QStringLiteral("ClrG"), 1.0).toDouble();
    wtEnable = settings.value(QStringLiteral("WTEnable"), false).toBool();
    wtContent = settings.value(QStringLiteral("WTContent"), QString()).toString();
    wtFontName = settings.value(QStringLiteral("WTFontName"), DefaultFontFamily()).toString();
    // The dialog's ranges: a stored size beyond them would render a watermark image of any size.
    wtFontSize = settings.value(QStringLiteral("WTFontSize"), 20.0).toDouble();
    if (!(wtFontSize >= 1.0 && wtFontSize <= 100.0))
        wtFontSize = 20.0;
    wtFontB = settings.value(QStringLiteral("WTFontB"), false).toBool();
    wtFontI = settings.value(QStringLiteral("WTI"), false).toBool();
    wtFontU = settings.value(QStringLiteral("WTU"), false).toBool();
    wtCR = settings.value(QStringLiteral("WTCR"), 0).toInt();
    wtCG = settings.value(QStringLiteral("WTCG"), 0).toInt();
    wtCB = settings.value(QStringLiteral("WTCB"), 0).toInt();
    wtOpc = settings.value(QStringLiteral("WTOpc"), 100).toInt();
    wtCAlign = settings.value(QStringLiteral("WTCAlig"), false).toBool();
    wtAlign = settings.value(QStringLiteral("WTAlign"), 0).toInt();
    wtCAlignX = settings.value(QStringLiteral("WTCAlignX"), 0).toInt();
    wtCAlignY = settings.value(QStringLiteral("WTCAlignY"), 0).toInt();
    wiEnable = settings.value(QStringLiteral("WIEnable"), false).toBool();
    wiFile = settings.value(QStringLiteral("WIFile"), QString()).toString();
    wiScale = qBound(10, settings.value(QStringLiteral("WIScale"), 100).toInt(), 500);
    wiCAlign = settings.value(QStringLiteral("WICAlign"), false).toBool();
    wiAlign = settings.value(QStringLiteral("WIAlign"), 0).toInt();
    wiCAlignX = settings.value(QStringLiteral("WICAlignX"), 0).toInt();
    wiCAlignY = settings.value(QStringLiteral("WICAlignY"), 0).toInt();
    transform = settings.value(QStringLiteral("Transform"), false).toBool();
    rotate = settings.value(QStringLiteral("Rotate"), false).toBool();
    rotateDegree = settings.value(QStringLiteral("RotateDegree"), 0).toInt();
    hFlip = settings.value(QStringLiteral("HFlip"), false).toBool();
    vFlip = settings.value(QStringLiteral("VFlip"), false).toBool();
    settings.endGroup();
}

void ConvertSettings::Save()
{
    qDebug() << "ConvertSettings::Save";
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("CSettings"));
    settings.setValue(QStringLiteral("TgtFolder"), tgtFolder);
    settings.setValue(QStringLiteral("TgtFormat"), tgtFormat);
    settings.setValue(QStringLiteral("TgtID"), tgtID);
    settings.setValue(QStringLiteral("Exists"), exists);
    settings.setValue(QStringLiteral("Scale"), scale);
    settings.setValue(QStringLiteral("ScaleKA"), scaleKA);
    settings.setValue(QStringLiteral("ScaleA"), scaleA);
    settings.setValue(QStringLiteral("ScaleW"), scaleW);
    settings.setValue(QStringLiteral("ScaleH"), scaleH);
    settings.setValue(QStringLiteral("ClrEnable"), clrEnable);
    settings.setValue(QStringLiteral("ClrB"), clrB);
    settings.setValue(QStringLiteral("ClrC"), clrC);
    settings.setValue(QStringLiteral("ClrS"), clrS);
    settings.setValue(QStringLiteral("ClrG"), clrG);
    settings.setValue(QStringLiteral("WTEnable"), wtEnable);
    settings.setValue(QStringLiteral("WTContent"), wtContent);
    settings.setValue(QStringLiteral("WTFontName"), wtFontName);
    settings.setValue(QStringLiteral("WTFontSize"), wtFontSize);
    settings.setValue(QStringLiteral("WTFontB"), wtFontB);
    settings.setValue(QStringLiteral("WTI"), wtFontI);
    settings.setValue(QStringLiteral("WTU"), wtFontU);
    settings.setValue(QStringLiteral("WTCR"), wtCR);
    settings.setValue(QStringLiteral("WTCG"), wtCG);
    settings.setValue(QStringLiteral("WTCB"), wtCB);
    settings.setValue(QStringLiteral("WTOpc"), wtOpc);
    settings.setValue(QStringLiteral("WTCAlig"), wtCAlign);
    settings.setValue(QStringLiteral("WTAlign"), wtAlign);
    settings.setValue(QStringLiteral("WTCAlignX"), wtCAlignX);
    settings.setValue(QStringLiteral("WTCAlignY"), wtCAlignY);
    settings.setValue(QStringLiteral("WIEnable"), wiEnable);
    settings.setValue(QStringLiteral("WIFile"), wiFile);
    settings.setValue(QStringLiteral("WIScale"), wiScale);
    settings.setValue(QStringLiteral("WICAlign"), wiCAlign);
    settings.setValue(QStringLiteral("WIAlign"), wiAlign);
    settings.setValue(QStringLiteral("WICAlignX"), wiCAlignX);
    settings.setValue(QStringLiteral("WICAlignY"), wiCAlignY);
    settings.setValue(QStringLiteral("Transform"), transform);
    settings.setValue(QStringLiteral("Rotate"), rotate);
    settings.setValue(QStringLiteral("RotateDegree"), rotateDegree);
    settings.setValue(QStringLiteral("HFlip"), hFlip);
    settings.setValue(QStringLiteral("VFlip"), vFlip);
    settings.endGroup();
}

bool ConvertSettings::SetTgtFolder(const QString &folder)
{
    if (folder == QLatin1String(SameAsSourceFile) || QDir(folder).exists()) {
        tgtFolder = folder;
        return true;
    }
    return false;
}

QString EffectsNote(const ConvertSettings &settings)
{
    // "On" as the effects filter decides it, so the note never claims an effect
    // that the conversion leaves out, nor hides one it applies.
    QStringList effects;
    if (settings.clrEnable)
        effects << QStringLiteral("color adjustment");
    if (settings.wtEnable && !settings.wtContent.isEmpty())
        effects << QStringLiteral("text watermark");
    if (settings.wiEnable && !settings.wiFile.isEmpty())
        effects << QStringLiteral("image watermark");
    if (settings.transform) {
        if (settings.rotate) {
            const int degrees = settings.rotateDegree == 1 ? 180 : settings.rotateDegree == 2 ? 270 : 90;
            effects << QStringLiteral("rotate %1\u00b0").arg(degrees);
        }
        if (settings.hFlip)
            effects << QStringLiteral("horizontal flip");
        if (settings.vFlip)
            effects << QStringLiteral("vertical flip");
    }
    return effects.isEmpty() ? QString() : QStringLiteral("Effects: ") + effects.join(QStringLiteral(", "));
}
