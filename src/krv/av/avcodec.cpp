#include "avcodec.h"

#include <QDebug>
#include <QFileInfo>

#include <algorithm>

namespace {

#define DEVICE(name) { QStringLiteral(name), QStringLiteral(name), false, true, false }

const KRVAVCodecEntry sCodecTable[KRVAVCodecID_Count] = {
    DEVICE("iPhone"),
    DEVICE("iPhone 4"),
    DEVICE("iPhone 4S"),
    DEVICE("iPhone 5"),
    DEVICE("iPhone 5C"),
    DEVICE("iPhone 5S"),
    DEVICE("iPhone 6"),
    DEVICE("iPhone 6 Plus"),
    DEVICE("iPad"),
    DEVICE("iPad 2"),
    DEVICE("iPad Mini"),
    DEVICE("iPad Mini 2"),
    DEVICE("iPad 4"),
    DEVICE("iPad Air"),
    DEVICE("iPad Retina"),
    DEVICE("iPod Classic"),
    DEVICE("iPod Nano"),
    DEVICE("iPod Touch"),
    DEVICE("Apple TV"),
    DEVICE("Android Phone"),
    DEVICE("Android Tablet"),
    DEVICE("Sony PSP"),
    DEVICE("Sony PS3"),
    DEVICE("Xbox 360"),
    { QStringLiteral("3GP2"), QStringLiteral("3GPP2"), false, true, true },
    { QStringLiteral("3GP"), QStringLiteral("3GPP"), false, true, true },
    { QStringLiteral("4X"), QStringLiteral("4X Technologies"), true, false, false },
    { QStringLiteral("A64"), QStringLiteral("a64 - video for Commodore 64"), false, true, true },
    { QStringLiteral("AAC"), QStringLiteral("raw ADTS AAC (Advanced Audio Coding)"), true, true, false },
    { QStringLiteral("AC3"), QStringLiteral("raw AC-3"), true, true, false },
    { QStringLiteral("ACT"), QStringLiteral("ACT Voice file format"), true, false, false },
    { QStringLiteral("ADF"), QStringLiteral("Artworx Data Format"), true, false, false },
    { QStringLiteral("ADP"), QStringLiteral("ADP"), true, false, false },
    { QStringLiteral("ADTS"), QStringLiteral("ADTS AAC (Advanced Audio Coding)"), false, true, false },
    { QStringLiteral("ADX"), QStringLiteral("CRI ADX"), true, true, false },
    { QStringLiteral("AEA"), QStringLiteral("MD STUDIO audio"), true, false, false },
    { QStringLiteral("AFC"), QStringLiteral("AFC"), true, false, false },
    { QStringLiteral("AIFF"), QStringLiteral("Audio IFF"), true, true, false },
    { QStringLiteral("AMR"), QStringLiteral("3GPP AMR"), true, true, false },
    { QStringLiteral("ANM"), QStringLiteral("Deluxe Paint Animation"), true, false, false },
    { QStringLiteral("APC"), QStringLiteral("CRYO APC"), true, false, false },
    { QStringLiteral("APE"), QStringLiteral("Monkey's Audio"), true, false, false },
    { QStringLiteral("ASF"), QStringLiteral("ASF (Advanced / Active Streaming Format)"), true, true, true },
    { QStringLiteral("AST"), QStringLiteral("AST (Audio Stream)"), true, true, false },
    { QStringLiteral("AU"), QStringLiteral("Sun AU"), true, true, false },
    { QStringLiteral("AVI"), QStringLiteral("AVI (Audio Video Interleaved)"), true, true, true },
    { QStringLiteral("AVR"), QStringLiteral("AVR (Audio Visual Research)"), true, false, false },
    { QStringLiteral("AVS"), QStringLiteral("AVS"), true, false, false },
    { QStringLiteral("BFI"), QStringLiteral("Brute Force & Ignorance"), true, false, false },
    { QStringLiteral("BIN"), QStringLiteral("Binary text"), true, false, false },
    { QStringLiteral("BINK"), QStringLiteral("Bink"), true, false, false },
    { QStringLiteral("DTS"), QStringLiteral("raw DTS"), true, true, false },
    { QStringLiteral("FLAC"), QStringLiteral("raw FLAC"), true, true, false },
    { QStringLiteral("FLV"), QStringLiteral("FLV (Flash Video)"), true, true, true },
    { QStringLiteral("GIF"), QStringLiteral("GIF Animation"), true, true, true },
    { QStringLiteral("H264"), QStringLiteral("raw H.264 video"), true, true, true },
    { QStringLiteral("M2TS"), QStringLiteral("MPEG-2 Transport Stream (M2TS)"), true, true, true },
    { QStringLiteral("MKV"), QStringLiteral("Matroska"), true, true, true },
    { QStringLiteral("QUICKTIME/MOV"), QStringLiteral("QuickTime / MOV"), true, true, true },
    { QStringLiteral("MP2"), QStringLiteral("MP2 (MPEG audio layer 2)"), true, true, false },
    { QStringLiteral("MP3"), QStringLiteral("MP3 (MPEG audio layer 3)"), true, true, false },
    { QStringLiteral("MP4"), QStringLiteral("MP4 (MPEG-4 Part 14)"), false, true, true },
    { QStringLiteral("MPG"), QStringLiteral("MPEG-1 Systems / MPEG program stream"), true, true, true },
    { QStringLiteral("TS"), QStringLiteral("MPEG-TS (MPEG-2 Transport Stream)"), true, true, true },
    { QStringLiteral("OGG"), QStringLiteral("Ogg"), true, true, true },
    { QStringLiteral("SWF"), QStringLiteral("SWF (ShockWave Flash)"), true, true, true },
    { QStringLiteral("DVD"), QStringLiteral("MPEG-2 PS (VOB)"), true, true, true },
    { QStringLiteral("WAV"), QStringLiteral("WAV / WAVE (Waveform Audio)"), true, true, false },
    { QStringLiteral("WEBM"), QStringLiteral("Matroska / WebM"), true, true, true },
    { QStringLiteral("WMA"), QStringLiteral("Windows Media Audio"), true, true, false },
    { QStringLiteral("WMV"), QStringLiteral("Windows Media Video"), true, true, true },
};

#undef DEVICE

const KRVAVCodecExtension sExtensionTable[] = {
    { QStringLiteral(".mp4"), KRVAVCodecID_iPhone },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPhone4 },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPhone4S },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPhone5 },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPhone5C },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPhone5S },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPhone6 },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPhone6Plus },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPad },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPad2 },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPadMini },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPadMini2 },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPad4 },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPadAir },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPadRetina },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPodClassic },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPodNano },
    { QStringLiteral(".mp4"), KRVAVCodecID_iPodTouch },
    { QStringLiteral(".mp4"), KRVAVCodecID_AppleTV },
    { QStringLiteral(".mp4"), KRVAVCodecID_AndroidPhone },
    { QStringLiteral(".mp4"), KRVAVCodecID_AndroidTablet },
    { QStringLiteral(".mp4"), KRVAVCodecID_SonyPSP },
    { QStringLiteral(".mp4"), KRVAVCodecID_SonyPS3 },
    { QStringLiteral(".mp4"), KRVAVCodecID_Xbox360 },
    { QStringLiteral(".3g2"), KRVAVCodecID_3GP2 },
    { QStringLiteral(".3gp"), KRVAVCodecID_3GP },
    { QStringLiteral(".4xm"), KRVAVCodecID_4X },
    { QStringLiteral(".a64"), KRVAVCodecID_A64 },
    { QStringLiteral(".aac"), KRVAVCodecID_AAC },
    { QStringLiteral(".ac3"), KRVAVCodecID_AC3 },
    { QStringLiteral(".act"), KRVAVCodecID_ACT },
    { QStringLiteral(".adf"), KRVAVCodecID_ADF },
    { QStringLiteral(".adp"), KRVAVCodecID_ADP },
    { QStringLiteral(".adts"), KRVAVCodecID_ADTS },
    { QStringLiteral(".adx"), KRVAVCodecID_ADX },
    { QStringLiteral(".aea"), KRVAVCodecID_AEA },
    { QStringLiteral(".afc"), KRVAVCodecID_AFC },
    { QStringLiteral(".aiff"), KRVAVCodecID_AIFF },
    { QStringLiteral(".amr"), KRVAVCodecID_AMR },
    { QStringLiteral(".anm"), KRVAVCodecID_ANM },
    { QStringLiteral(".apc"), KRVAVCodecID_APC },
    { QStringLiteral(".ape"), KRVAVCodecID_APE },
    { QStringLiteral(".asf"), KRVAVCodecID_ASF },
    { QStringLiteral(".ast"), KRVAVCodecID_AST },
    { QStringLiteral(".au"), KRVAVCodecID_AU },
    { QStringLiteral(".avi"), KRVAVCodecID_AVI },
    { QStringLiteral(".avr"), KRVAVCodecID_AVR },
    { QStringLiteral(".avs"), KRVAVCodecID_AVS },
    { QStringLiteral(".bfi"), KRVAVCodecID_BFI },
    { QStringLiteral(".bin"), KRVAVCodecID_BIN },
    { QStringLiteral(".bink"), KRVAVCodecID_BINK },
    { QStringLiteral(".dts"), KRVAVCodecID_DTS },
    { QStringLiteral(".flac"), KRVAVCodecID_FLAC },
    { QStringLiteral(".flv"), KRVAVCodecID_FLV },
    { QStringLiteral(".gif"), KRVAVCodecID_GIF },
    { QStringLiteral(".h264"), KRVAVCodecID_H264 },
    { QStringLiteral(".m2ts"), KRVAVCodecID_M2TS },
    { QStringLiteral(".mts"), KRVAVCodecID_M2TS },
    { QStringLiteral(".mkv"), KRVAVCodecID_MKV },
    { QStringLiteral(".mka"), KRVAVCodecID_MKV },
    { QStringLiteral(".mov"), KRVAVCodecID_MOV },
    { QStringLiteral(".m4a"), KRVAVCodecID_MOV },
    { QStringLiteral(".mp2"), KRVAVCodecID_MP2 },
    { QStringLiteral(".mp3"), KRVAVCodecID_MP3 },
    { QStringLiteral(".mp4"), KRVAVCodecID_MP4 },
    { QStringLiteral(".mpg"), KRVAVCodecID_MPG },
    { QStringLiteral(".ts"), KRVAVCodecID_TS },
    { QStringLiteral(".oga"), KRVAVCodecID_OGG },
    { QStringLiteral(".ogg"), KRVAVCodecID_OGG },
    { QStringLiteral(".ogv"), KRVAVCodecID_OGG },
    { QStringLiteral(".swf"), KRVAVCodecID_SWF },
    { QStringLiteral(".vob"), KRVAVCodecID_DVD },
    { QStringLiteral(".wav"), KRVAVCodecID_WAV },
    { QStringLiteral(".webm"), KRVAVCodecID_WEBM },
    { QStringLiteral(".wma"), KRVAVCodecID_WMA },
    { QStringLiteral(".wmv"), KRVAVCodecID_WMV },
};

constexpr int sExtensionCount = int(sizeof(sExtensionTable) / sizeof(sExtensionTable[0]));
static_assert(sExtensionCount == 76, "every entry has its extensions, in catalogue order");

bool IsValidID(int id)
{
    return id >= 0 && id < KRVAVCodecID_Count;
}

} // namespace

KRVAVCodec::KRVAVCodec(KRVAVCodecID codecID)
    : id(codecID)
{
    if (!IsValidID(id))
        qWarning().noquote() << QStringLiteral("KRVAVCodec::KRVAVCodec  Invalid KRVAVCodecID: %1").arg(int(id));
}

KRVAVCodec::KRVAVCodec(const QString &filePath)
    : id(GetID(QLatin1Char('.') + QFileInfo(filePath).suffix()))
{
    if (id == KRVAVCodecID_None)
        qWarning().noquote() << QStringLiteral("KRVAVCodec::KRVAVCodec   CodecID matching ") + filePath + QStringLiteral(" can not be found");
}

KRVAVCodecID KRVAVCodec::GetID(const QString &extension)
{
    for (const KRVAVCodecExtension &row : sExtensionTable) {
        if (row.extension.compare(extension, Qt::CaseInsensitive) == 0)
            return row.id;
    }
    qWarning().noquote() << QStringLiteral("KRVAVCodec::KRVAVCodec   CodecID matching ") + extension + QStringLiteral(" can not be found");
    return KRVAVCodecID_None;
}

bool KRVAVCodec::HasSettings(KRVAVCodecID id)
{
    return IsValidID(id) && sCodecTable[id].hasSettings;
}

QString KRVAVCodec::GetName() const
{
    return IsValidID(id) ? sCodecTable[id].name : QString();
}

QStringList KRVAVCodec::GetExtensions() const
{
    QStringList extensions;
    for (const KRVAVCodecExtension &row : sExtensionTable) {
        if (row.id == id)
            extensions << row.extension;
    }
    return extensions;
}

QString KRVAVCodec::GetExtension(int index) const
{
    int count = 0;
    for (const KRVAVCodecExtension &row : sExtensionTable) {
        if (row.id != id)
            continue;
        if (count == index)
            return row.extension;
        ++count;
    }
    return QString();
}

bool KRVAVCodecVetoer::IsEnabled(KRVAVCodecID id, KRVAVIOType type) const
{
    if (!IsValidID(id)) {
        qWarning().noquote() << QStringLiteral("KRVAVCodecVetoer::IsEnabled   Invalid KRVAVCodec: %1").arg(int(id));
        return false;
    }
    if (type < 0 || type > KRVAVIOType_Count) {
        qWarning().noquote() << QStringLiteral("KRVAVCodecVetoer::IsEnabled   Invalid KRVAVIOType: %1").arg(int(type));
        return false;
    }
    switch (type) {
    case KRVAVIOType_Input:
        return sCodecTable[id].readable;
    case KRVAVIOType_Output:
        return sCodecTable[id].writable;
    default:
        return false;
    }
}

bool IsScalableFormat(KRVAVCodecID id)
{
    if (!KRVAVCodec::HasSettings(id))
        return false;
    switch (id) {
    case KRVAVCodecID_A64:
    case KRVAVCodecID_ASF:
    case KRVAVCodecID_AVI:
    case KRVAVCodecID_FLV:
    case KRVAVCodecID_GIF:
    case KRVAVCodecID_H264:
    case KRVAVCodecID_M2TS:
    case KRVAVCodecID_MKV:
    case KRVAVCodecID_MOV:
    case KRVAVCodecID_MP4:
    case KRVAVCodecID_MPG:
    case KRVAVCodecID_TS:
    case KRVAVCodecID_OGG:
    case KRVAVCodecID_SWF:
    case KRVAVCodecID_DVD:
    case KRVAVCodecID_WEBM:
    case KRVAVCodecID_WMV:
        return true;
    default:
        return false;
    }
}

bool IsVideoFormat(KRVAVCodecID id, const QString &extension)
{
    if (id >= KRVAVCodecID_iPhone && id <= KRVAVCodecID_A64)
        return true;
    switch (id) {
    case KRVAVCodecID_ASF:
    case KRVAVCodecID_AVI:
    case KRVAVCodecID_FLV:
    case KRVAVCodecID_GIF:
    case KRVAVCodecID_H264:
    case KRVAVCodecID_M2TS:
    case KRVAVCodecID_MKV:
    case KRVAVCodecID_MP4:
    case KRVAVCodecID_MPG:
    case KRVAVCodecID_TS:
    case KRVAVCodecID_SWF:
    case KRVAVCodecID_DVD:
    case KRVAVCodecID_WEBM:
    case KRVAVCodecID_WMV:
        return true;
    case KRVAVCodecID_MOV:
        return extension != QLatin1String(".m4a");
    case KRVAVCodecID_OGG:
        return extension != QLatin1String(".oga");
    default:
        return false;
    }
}

namespace {

// Entries the catalogue offers only as targets although FFmpeg reads them as well;
// users have such files more than any other kind.
bool IsReadableTarget(KRVAVCodecID id, const KRVAVCodecVetoer &vetoer)
{
    switch (id) {
    case KRVAVCodecID_3GP2:
    case KRVAVCodecID_3GP:
    case KRVAVCodecID_MP4:
        return vetoer.IsEnabled(id, KRVAVIOType_Output);
    default:
        return false;
    }
}

} // namespace

void BuildMediaFileFilter(QString &filter, const KRVAVCodecVetoer &vetoer)
{
    filter.clear();
    filter += QStringLiteral("All Files (*.*);; ");
    filter += QStringLiteral("Media Files (");

    QStringList groups;
    int row = 0;
    while (row < sExtensionCount) {
        const KRVAVCodecID id = sExtensionTable[row].id;
        if (!vetoer.IsEnabled(id, KRVAVIOType_Input) && !IsReadableTarget(id, vetoer)) {
            ++row;
            continue;
        }
        QString group;
        while (row < sExtensionCount && sExtensionTable[row].id == id) {
            group += QLatin1Char('*') + sExtensionTable[row].extension + QLatin1Char(';');
            ++row;
        }
        groups << group;
    }

    std::sort(groups.begin(), groups.end());
    if (!groups.isEmpty())
        groups.last().remove(QLatin1Char(';'));
    for (const QString &group : qAsConst(groups))
        filter += group;
    filter += QLatin1Char(')');
}

int KRVAVCodecTableSize()
{
    return KRVAVCodecID_Count;
}

int KRVAVExtensionTableSize()
{
    return sExtensionCount;
}

const KRVAVCodecEntry &KRVAVCodecTableRow(KRVAVCodecID id)
{
    return sCodecTable[IsValidID(id) ? id : 0];
}

const KRVAVCodecExtension &KRVAVExtensionTableRow(int row)
{
    return sExtensionTable[qBound(0, row, sExtensionCount - 1)];
}
