#pragma once

#include "krv/av/avcodec.h"

#include <QString>

class ConvertSettings;

// The main window's short note of what a conversion to tgtID would do to the picture,
// as "Effects: scale to 1280x720, text watermark, rotate 90°"; empty when nothing is on.
QString EffectsNote(const ConvertSettings &settings, KRVAVCodecID tgtID);

// The effects dialog's page of the first effect that is on (the first page when none is);
// -1 when only the picture scaling is on, which the format settings edit instead.
int EffectsNotePage(const ConvertSettings &settings, KRVAVCodecID tgtID);
