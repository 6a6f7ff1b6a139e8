#pragma once

#include <QString>
#include <QStringList>

enum KRVAVCodecID : int {
    KRVAVCodecID_None = -1,
    KRVAVCodecID_iPhone = 0,
    KRVAVCodecID_iPhone4,
    KRVAVCodecID_iPhone4S,
    KRVAVCodecID_iPhone5,
    KRVAVCodecID_iPhone5C,
    KRVAVCodecID_iPhone5S,
    KRVAVCodecID_iPhone6,
    KRVAVCodecID_iPhone6Plus,
    KRVAVCodecID_iPad,
    KRVAVCodecID_iPad2,
    KRVAVCodecID_iPadMini,
    KRVAVCodecID_iPadMini2,
    KRVAVCodecID_iPad4,
    KRVAVCodecID_iPadAir,
    KRVAVCodecID_iPadRetina,
    KRVAVCodecID_iPodClassic,
    KRVAVCodecID_iPodNano,
    KRVAVCodecID_iPodTouch,
    KRVAVCodecID_AppleTV,
    KRVAVCodecID_AndroidPhone,
    KRVAVCodecID_AndroidTablet,
    KRVAVCodecID_SonyPSP,
    KRVAVCodecID_SonyPS3,
    KRVAVCodecID_Xbox360,
    KRVAVCodecID_3GP2,
    KRVAVCodecID_3GP,
    KRVAVCodecID_4X,
    KRVAVCodecID_A64,
    KRVAVCodecID_AAC,
    KRVAVCodecID_AC3,
    KRVAVCodecID_ACT,
    KRVAVCodecID_ADF,
    KRVAVCodecID_ADP,
    KRVAVCodecID_ADTS,
    KRVAVCodecID_ADX,
    KRVAVCodecID_AEA,
    KRVAVCodecID_AFC,
    KRVAVCodecID_AIFF,
    KRVAVCodecID_AMR,
    KRVAVCodecID_ANM,
    KRVAVCodecID_APC,
    KRVAVCodecID_APE,
    KRVAVCodecID_ASF,
    KRVAVCodecID_AST,
    KRVAVCodecID_AU,
    KRVAVCodecID_AVI,
    KRVAVCodecID_AVR,
    KRVAVCodecID_AVS,
    KRVAVCodecID_BFI,
    KRVAVCodecID_BIN,
    KRVAVCodecID_BINK,
    KRVAVCodecID_DTS,
    KRVAVCodecID_FLAC,
    KRVAVCodecID_FLV,
    KRVAVCodecID_GIF,
    KRVAVCodecID_H264,
    KRVAVCodecID_M2TS,
    KRVAVCodecID_MKV,
    KRVAVCodecID_MOV,
    KRVAVCodecID_MP2,
    KRVAVCodecID_MP3,
    KRVAVCodecID_MP4,
    KRVAVCodecID_MPG,
    KRVAVCodecID_TS,
    KRVAVCodecID_OGG,
    KRVAVCodecID_SWF,
    KRVAVCodecID_DVD,
    KRVAVCodecID_WAV,
    KRVAVCodecID_WEBM,
    KRVAVCodecID_WMA,
    KRVAVCodecID_WMV,
    KRVAVCodecID_Count
};

enum KRVAVIOType : int {
    KRVAVIOType_Input = 0,
    KRVAVIOType_Output = 1,
    KRVAVIOType_Count = 2
};

struct KRVAVCodecEntry {
    QString name;
    QString description;
    bool readable;
    bool writable;
    bool hasSettings;
};

struct KRVAVCodecExtension {
    QString extension;
    KRVAVCodecID id;
};

class KRVAVCodec
{
public:
    explicit KRVAVCodec(KRVAVCodecID id);
    explicit KRVAVCodec(const QString &filePath);

    static KRVAVCodecID GetID(const QString &extension);
    static bool HasSettings(KRVAVCodecID id);

    QString GetName() const;
    QStringList GetExtensions() const;
    QString GetExtension(int index) const;

    KRVAVCodecID id = KRVAVCodecID_None;
};

// Decides which catalogue entries are offered as sources or targets.
class KRVAVCodecVetoer
{
public:
    virtual bool IsEnabled(KRVAVCodecID id, KRVAVIOType type) const;
};

class AVCodecVetoer : public KRVAVCodecVetoer
{
};

bool IsScalableFormat(KRVAVCodecID id);
bool IsVideoFormat(KRVAVCodecID id, const QString &extension);

void BuildMediaFileFilter(QString &filter, const KRVAVCodecVetoer &vetoer);

// Read-only views of the two compiled-in tables, for code that walks them.
int KRVAVCodecTableSize();
int KRVAVExtensionTableSize();
const KRVAVCodecEntry &KRVAVCodecTableRow(KRVAVCodecID id);
const KRVAVCodecExtension &KRVAVExtensionTableRow(int row);
