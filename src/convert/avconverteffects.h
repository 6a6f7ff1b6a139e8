#pragma once

#include "krv/av/avcodec.h"

#include <QString>
#include <QStringList>

class ConvertSettings;

extern const char *const WatermarkTextFileName;
extern const char *const WatermarkImageFileName;

// General notation with six significant digits and a "." whatever the user's locale.
QString EffectsNumberText(double value);

// Where the overlay's top-left corner goes, in the transcoder's overlay expression language.
QString OverlayPositionText(bool custom, int alignment, int customX, int customY);

// The colour part of the filter: gamma, contrast, brightness, saturation.
QString ColorFilterText(const ConvertSettings &settings);

// The rotation and flip part; empty when transform is off or asks for nothing.
QString TransformFilterText(const ConvertSettings &settings);

// Renders the watermark text into a transparent PNG at filePath; false when no file was written.
bool RenderWatermarkText(const ConvertSettings &settings, const QString &filePath);

// The image to overlay: wiFile itself, or its scaled copy in tempDir when the scale is not 100.
QString PrepareWatermarkImage(const ConvertSettings &settings, const QString &tempDir);

// Whether the effects step would alter the target's picture, as the settings ask.
bool HasEffects(const ConvertSettings &settings, KRVAVCodecID tgtID);

// Appends the watermark inputs and "-filter_complex" with its filter text to args.
void AppendEffectsArguments(const ConvertSettings &settings, KRVAVCodecID tgtID, const QString &tempDir,
                            QStringList &args);
