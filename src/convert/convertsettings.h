#pragma once

#include "krv/av/avcodec.h"

#include <QColor>
#include <QString>

// Indices into these lists are what ConvertSettings stores.
inline constexpr const char *SaveModes[] = { "Append with unique number", "Overwrite" };
inline constexpr const char *RotateDegrees[] = { "Clockwise 90 degree", "Clockwise 180 degree", "Clockwise 270 degree" };
inline constexpr const char *AspectRatios[] = { "4:3", "16:9", "Auto" };
// Passed verbatim to the transcoder as a frame size, so each stays WIDTHxHEIGHT.
inline constexpr const char *ThreeGPSizes[] = { "128x96", "176x144", "352x288", "704x576", "1408x1152" };
inline constexpr const char *Alignments[] = { "Top Left", "Top Right", "Bottom Left", "Bottom Right", "Center" };

constexpr int SaveModesCount = int(sizeof(SaveModes) / sizeof(SaveModes[0]));
constexpr int RotateDegreesCount = int(sizeof(RotateDegrees) / sizeof(RotateDegrees[0]));
constexpr int AspectRatiosCount = int(sizeof(AspectRatios) / sizeof(AspectRatios[0]));
constexpr int ThreeGPSizesCount = int(sizeof(ThreeGPSizes) / sizeof(ThreeGPSizes[0]));
constexpr int AlignmentsCount = int(sizeof(Alignments) / sizeof(Alignments[0]));

extern const char *const SameAsSourceFile;

class ConvertSettings
{
public:
    ConvertSettings();

    void Load();
    void Save();
    bool SetTgtFolder(const QString &folder);

    QString GetWIFile() const { return wiFile; }
    QString GetWTContent() const { return wtContent; }
    QString GetWTFontName() const { return wtFontName; }
    QColor GetWTColor() const { return QColor(wtCR, wtCG, wtCB, 255); }

    QString tgtFolder;
    QString tgtFormat = QStringLiteral(".mp4");
    int tgtID = KRVAVCodecID_MP4;
    int exists = 0;
    int threeGPSize = 3;
    bool scale = false;
    bool scaleKA = false;
    int scaleA = 0;
    int scaleW = 768;
    int scaleH = 576;
    bool clrEnable = false;
    double clrB = 0.0;
    double clrC = 1.0;
    double clrS = 1.0;
    double clrG = 1.0;
    bool wtEnable = false;
    QString wtContent;
    QString wtFontName;
    double wtFontSize = 20.0;
    bool wtFontB = false;
    bool wtFontI = false;
    bool wtFontU = false;
    int wtCR = 0;
    int wtCG = 0;
    int wtCB = 0;
    int wtOpc = 100;
    bool wtCAlign = false;
    int wtAlign = 0;
    int wtCAlignX = 0;
    int wtCAlignY = 0;
    bool wiEnable = false;
    QString wiFile;
    int wiScale = 100;
    bool wiCAlign = false;
    int wiAlign = 0;
    int wiCAlignX = 0;
    int wiCAlignY = 0;
    bool transform = false;
    bool rotate = false;
    int rotateDegree = 0;
    bool hFlip = false;
    bool vFlip = false;
    // Streams that already fit the target are copied, not encoded again.
    bool copyStreams = true;
};

// Which picture effects a conversion to tgtID applies: the one rule behind the effects filter
// and the window's note of it, so the note never claims an effect the filter leaves out.
struct PictureEffects
{
    bool scale = false;
    bool color = false;
    bool text = false;
    bool image = false;
    bool rotate = false;
    bool hFlip = false;
    bool vFlip = false;

    bool Transform() const { return rotate || hFlip || vFlip; }
    bool Any() const { return scale || color || text || image || Transform(); }
};
PictureEffects EffectsOn(const ConvertSettings &settings, KRVAVCodecID tgtID);
