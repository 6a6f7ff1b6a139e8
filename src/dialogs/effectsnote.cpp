#include "dialogs/effectsnote.h"

#include "convert/convertsettings.h"

#include <QStringList>

namespace {

// "On" as the effects filter decides it, so the note never claims an effect that the
// conversion leaves out, nor hides one it applies.
struct EffectsOn
{
    explicit EffectsOn(const ConvertSettings &s, KRVAVCodecID tgtID)
        : scale(IsScalableFormat(tgtID) && s.scale)
        , color(s.clrEnable)
        , text(s.wtEnable && !s.wtContent.isEmpty())
        , image(s.wiEnable && !s.wiFile.isEmpty())
        , rotate(s.transform && s.rotate)
        , hFlip(s.transform && s.hFlip)
        , vFlip(s.transform && s.vFlip)
    {
    }
    bool scale, color, text, image, rotate, hFlip, vFlip;
};

} // namespace

QString EffectsNote(const ConvertSettings &settings, KRVAVCodecID tgtID)
{
    const EffectsOn on(settings, tgtID);
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
    const EffectsOn on(settings, tgtID);
    const bool pages[] = { on.color, on.text, on.image, on.rotate || on.hFlip || on.vFlip };
    for (int page = 0; page < 4; ++page) {
        if (pages[page])
            return page;
    }
    return on.scale ? -1 : 0;
}
