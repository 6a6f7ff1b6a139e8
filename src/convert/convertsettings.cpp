#include "convertsettings.h"

#include "preferences.h"

#include <QDebug>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
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
    Preferences::LoadConvertSettings(*this);
}

void ConvertSettings::Save()
{
    qDebug() << "ConvertSettings::Save";
    Preferences::SaveConvertSettings(*this);
}

bool ConvertSettings::SetTgtFolder(const QString &folder)
{
    if (folder == QLatin1String(SameAsSourceFile) || QDir(folder).exists()) {
        tgtFolder = folder;
        return true;
    }
    return false;
}

PictureEffects EffectsOn(const ConvertSettings &s, KRVAVCodecID tgtID)
{
    PictureEffects on;
    on.scale = IsScalableFormat(tgtID) && s.scale;
    on.color = s.clrEnable;
    on.text = s.wtEnable && !s.wtContent.isEmpty();
    on.image = s.wiEnable && !s.wiFile.isEmpty();
    on.rotate = s.transform && s.rotate;
    on.hFlip = s.transform && s.hFlip;
    on.vFlip = s.transform && s.vFlip;
    return on;
}
