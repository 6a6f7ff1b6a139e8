#include "targetrules.h"

#include <initializer_list>

namespace {

// The 24 device profiles in catalogue order.
constexpr DeviceLimits Devices[] = {
    { DeviceLimits::Baseline, 30, 640, 480, 30, 2, 48000 },  // iPhone
    { DeviceLimits::Main, 31, 1280, 720, 30, 2, 48000 },     // iPhone 4
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // iPhone 4S
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // iPhone 5
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // iPhone 5C
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // iPhone 5S
    { DeviceLimits::High, 42, 1920, 1080, 60, 2, 48000 },    // iPhone 6
    { DeviceLimits::High, 42, 1920, 1080, 60, 2, 48000 },    // iPhone 6 Plus
    { DeviceLimits::Main, 31, 1280, 720, 30, 2, 48000 },     // iPad
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // iPad 2
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // iPad Mini
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // iPad Mini 2
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // iPad 4
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // iPad Air
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // iPad Retina
    { DeviceLimits::Baseline, 30, 640, 480, 30, 2, 48000 },  // iPod Classic
    { DeviceLimits::Baseline, 30, 640, 480, 30, 2, 48000 },  // iPod Nano
    { DeviceLimits::Main, 31, 1280, 720, 30, 2, 48000 },     // iPod Touch
    { DeviceLimits::High, 40, 1920, 1080, 30, 2, 48000 },    // Apple TV
    { DeviceLimits::Main, 31, 1280, 720, 30, 6, 48000 },     // Android Phone
    { DeviceLimits::Main, 31, 1280, 720, 30, 6, 48000 },     // Android Tablet
    { DeviceLimits::Main, 21, 480, 272, 30, 2, 48000 },      // Sony PSP
    { DeviceLimits::High, 41, 1920, 1080, 30, 6, 48000 },    // Sony PS3
    { DeviceLimits::High, 41, 1920, 1080, 30, 2, 48000 },    // Xbox 360
};
static_assert(sizeof(Devices) / sizeof(Devices[0]) == KRVAVCodecID_Xbox360 + 1, "one row per device profile");

// H.264's table of levels: the highest bit rate and buffer of Baseline and Main, in kbit/s;
// High may use a quarter more.
struct Level
{
    int level;
    int maxBitRate;
    int bufferSize;
};
constexpr Level Levels[] = {
    { 10, 64, 175 },        { 11, 192, 500 },       { 12, 384, 1000 },      { 13, 768, 2000 },
    { 20, 2000, 2000 },     { 21, 4000, 4000 },     { 22, 4000, 4000 },     { 30, 10000, 10000 },
    { 31, 14000, 14000 },   { 32, 20000, 20000 },   { 40, 20000, 25000 },   { 41, 50000, 62500 },
    { 42, 50000, 62500 },   { 50, 135000, 135000 }, { 51, 240000, 240000 },
};

const Level *FindLevel(int level)
{
    for (const Level &row : Levels) {
        if (row.level == level)
            return &row;
    }
    return nullptr;
}

int HighFactor(int kbits, DeviceLimits::Profile profile)
{
    return profile == DeviceLimits::High ? kbits * 5 / 4 : kbits;
}

bool IsOneOf(const QString &codec, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (codec == QLatin1String(name))
            return true;
    }
    return false;
}

bool IsEightBit420(const MediaStream &picture)
{
    return picture.pixelFormat == QLatin1String("yuv420p") || picture.pixelFormat == QLatin1String("yuvj420p");
}

// The H.264 profile as a device's limit, -1 for those no player of ours takes (High 10,
// 4:2:2, 4:4:4, Extended).
int H264Profile(const QString &profile)
{
    if (profile == QLatin1String("Constrained Baseline") || profile == QLatin1String("Baseline"))
        return DeviceLimits::Baseline;
    if (profile == QLatin1String("Main"))
        return DeviceLimits::Main;
    if (profile == QLatin1String("High"))
        return DeviceLimits::High;
    return -1;
}

// What browsers, phones, TVs and QuickTime all play from an MP4, MOV or TS file.
bool PlaysEverywhere(const MediaStream &picture)
{
    if (!IsEightBit420(picture))
        return false;
    if (picture.codec == QLatin1String("h264"))
        return H264Profile(picture.profile) >= 0;
    return picture.codec == QLatin1String("hevc") && picture.profile == QLatin1String("Main");
}

} // namespace

const DeviceLimits *DeviceLimitsOf(KRVAVCodecID tgtID)
{
    return tgtID >= KRVAVCodecID_iPhone && tgtID <= KRVAVCodecID_Xbox360 ? &Devices[tgtID] : nullptr;
}

const char *ProfileName(DeviceLimits::Profile profile)
{
    switch (profile) {
    case DeviceLimits::Baseline:
        return "baseline";
    case DeviceLimits::Main:
        return "main";
    case DeviceLimits::High:
        break;
    }
    return "high";
}

int LevelMaxBitRate(int level, DeviceLimits::Profile profile)
{
    const Level *row = FindLevel(level);
    return row ? HighFactor(row->maxBitRate, profile) : 0;
}

int LevelBufferSize(int level, DeviceLimits::Profile profile)
{
    const Level *row = FindLevel(level);
    return row ? HighFactor(row->bufferSize, profile) : 0;
}

AudioLimits AudioLimitsOf(KRVAVCodecID tgtID)
{
    if (const DeviceLimits *device = DeviceLimitsOf(tgtID))
        return { device->maxChannels, device->maxSampleRate };
    switch (tgtID) {
    case KRVAVCodecID_ADX:
        return { 2, 0 };
    // Windows Media Audio stops at stereo and 48 kHz.
    case KRVAVCodecID_ASF:
    case KRVAVCodecID_WMA:
    case KRVAVCodecID_WMV:
        return { 2, 48000 };
    default:
        break;
    }
    return {};
}

bool IsAudioOnlyTarget(KRVAVCodecID tgtID, const QString &tgtFormat)
{
    // FFmpeg writes ".mka" with its audio-only Matroska muxer.
    if (tgtID == KRVAVCodecID_MKV && tgtFormat == QLatin1String(".mka"))
        return true;
    return !IsVideoFormat(tgtID, tgtFormat);
}

bool IsPictureOnlyTarget(KRVAVCodecID tgtID)
{
    return tgtID == KRVAVCodecID_GIF || tgtID == KRVAVCodecID_H264 || tgtID == KRVAVCodecID_A64;
}

bool TakesSeveralAudioTracks(KRVAVCodecID tgtID)
{
    return tgtID == KRVAVCodecID_MKV || tgtID == KRVAVCodecID_MP4 || tgtID == KRVAVCodecID_MOV
           || tgtID == KRVAVCodecID_TS || tgtID == KRVAVCodecID_M2TS;
}

bool NeedsEightBit420(KRVAVCodecID tgtID, const QString &tgtFormat)
{
    if (DeviceLimitsOf(tgtID))
        return true;
    switch (tgtID) {
    case KRVAVCodecID_MP4:
    case KRVAVCodecID_TS:
    case KRVAVCodecID_M2TS:
    case KRVAVCodecID_3GP:
    case KRVAVCodecID_3GP2:
    case KRVAVCodecID_WEBM:
        return true;
    case KRVAVCodecID_MOV:
        return tgtFormat != QLatin1String(".m4a");
    default:
        break;
    }
    return false;
}

bool TakesCoverArt(KRVAVCodecID tgtID, const QString &tgtFormat)
{
    return tgtID == KRVAVCodecID_MP3 || tgtID == KRVAVCodecID_FLAC
           || (tgtID == KRVAVCodecID_MOV && tgtFormat == QLatin1String(".m4a"));
}

bool TakesPictureAsIs(KRVAVCodecID tgtID, const QString &tgtFormat, const MediaStream &picture)
{
    // A codec the prober could not name is nothing a container can be said to take.
    if (picture.codec.isEmpty())
        return false;
    if (const DeviceLimits *device = DeviceLimitsOf(tgtID)) {
        const int profile = H264Profile(picture.profile);
        return picture.codec == QLatin1String("h264") && IsEightBit420(picture) && profile >= 0
               && profile <= device->profile && picture.level > 0 && picture.level <= device->level
               && picture.width > 0 && picture.height > 0 && picture.frameRate > 0;
    }
    switch (tgtID) {
    case KRVAVCodecID_MP4:
        return PlaysEverywhere(picture);
    case KRVAVCodecID_MOV:
        return tgtFormat == QLatin1String(".mov") && PlaysEverywhere(picture);
    case KRVAVCodecID_TS:
    case KRVAVCodecID_M2TS:
        return PlaysEverywhere(picture) || (picture.codec == QLatin1String("mpeg2video") && IsEightBit420(picture));
    case KRVAVCodecID_MKV:
        return tgtFormat != QLatin1String(".mka");
    case KRVAVCodecID_WEBM:
        return IsOneOf(picture.codec, { "vp8", "vp9", "av1" }) && IsEightBit420(picture);
    case KRVAVCodecID_OGG:
        return tgtFormat == QLatin1String(".ogv") && picture.codec == QLatin1String("theora");
    case KRVAVCodecID_AVI:
        return IsOneOf(picture.codec, { "mpeg4", "h264", "mjpeg" });
    case KRVAVCodecID_FLV:
        return picture.codec == QLatin1String("h264") && IsEightBit420(picture);
    default:
        break;
    }
    return false;
}

bool TakesSoundAsIs(KRVAVCodecID tgtID, const QString &tgtFormat, const MediaStream &sound)
{
    const AudioLimits limits = AudioLimitsOf(tgtID);
    if (sound.codec.isEmpty())
        return false;
    if ((limits.maxChannels > 0 && !(sound.channels > 0 && sound.channels <= limits.maxChannels))
        || (limits.maxSampleRate > 0 && !(sound.sampleRate > 0 && sound.sampleRate <= limits.maxSampleRate)))
        return false;
    if (DeviceLimitsOf(tgtID))
        return sound.codec == QLatin1String("aac") && sound.profile == QLatin1String("LC");
    switch (tgtID) {
    case KRVAVCodecID_MP4:
        return IsOneOf(sound.codec, { "aac", "mp3" });
    case KRVAVCodecID_MOV:
        return tgtFormat == QLatin1String(".m4a") ? IsOneOf(sound.codec, { "aac", "alac" })
                                                  : IsOneOf(sound.codec, { "aac", "mp3" });
    case KRVAVCodecID_TS:
    case KRVAVCodecID_M2TS:
        return IsOneOf(sound.codec, { "aac", "mp3", "mp2", "ac3", "eac3" });
    case KRVAVCodecID_MKV:
        return true;
    case KRVAVCodecID_WEBM:
        return IsOneOf(sound.codec, { "opus", "vorbis" });
    case KRVAVCodecID_OGG:
        return IsOneOf(sound.codec, { "opus", "vorbis", "flac" });
    case KRVAVCodecID_AVI:
        return IsOneOf(sound.codec, { "mp3", "ac3", "pcm_s16le" });
    case KRVAVCodecID_MP3:
        return sound.codec == QLatin1String("mp3");
    case KRVAVCodecID_FLAC:
        return sound.codec == QLatin1String("flac");
    default:
        break;
    }
    return false;
}
