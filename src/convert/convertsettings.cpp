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
