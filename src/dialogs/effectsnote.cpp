#include "dialogs/effectsnote.h"

#include "convert/convertsettings.h"

#include <QStringList>

QString EffectsNote(const ConvertSettings &settings, KRVAVCodecID tgtID)
{
    const PictureEffects on = EffectsOn(settings, tgtID);
    QStringList effects;
    if (on.scale)
        effects << QStringLiteral("scale to %1x%2").arg(settings.scaleW).arg(settings.scaleH);
    if (on.color)
        effects << QStringLiteral("color adjustment");
    if (on.text)
        effects << QStringLiteral("text watermark");
    if (on.image)
        effects << QStringLiteral("image watermark");
    if (on.rotate) {
        const int degrees = settings.rotateDegree == 1 ? 180 : settings.rotateDegree == 2 ? 270 : 90;
        effects << QStringLiteral("rotate %1\u00b0").arg(degrees);
    }
    if (on.hFlip)
        effects << QStringLiteral("horizontal flip");
    if (on.vFlip)
        effects << QStringLiteral("vertical flip");
    return effects.isEmpty() ? QString() : QStringLiteral("Effects: ") + effects.join(QStringLiteral(", "));
}

int EffectsNotePage(const ConvertSettings &settings, KRVAVCodecID tgtID)
{
    // The pages in the effects dialog's tab order.
    const PictureEffects on = EffectsOn(settings, tgtID);
    const bool pages[] = { on.color, on.text, on.image, on.Transform() };
    for (int page = 0; page < 4; ++page) {
        if (pages[page])
            return page;
    }
    return on.scale ? -1 : 0;
}
