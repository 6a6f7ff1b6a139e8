#include "convertargs.h"

#include "convert/avconverteffects.h"
#include "convert/convertsettings.h"
#include "convert/mediaprobe.h"

namespace {

// FFmpeg writes ".mka" with its audio-only Matroska muxer, which has no video encoder: a filter
// output there fails the whole job.
bool TargetTakesEffects(KRVAVCodecID tgtID, const QString &tgtFormat)
{
    if (tgtID == KRVAVCodecID_MKV && tgtFormat == QLatin1String(".mka"))
        return false;
    return IsVideoFormat(tgtID, tgtFormat);
}

bool IsStreamCopy(KRVAVCodecID srcID, KRVAVCodecID tgtID)
{
    return (srcID == KRVAVCodecID_DVD || srcID == KRVAVCodecID_TS)
           && (tgtID == KRVAVCodecID_MP4 || tgtID == KRVAVCodecID_MOV);
}

void AppendStreamCopyOptions(KRVAVCodecID srcID, const QString &tgtFormat, QStringList &args)
{
    const bool m4a = tgtFormat == QLatin1String(".m4a");
    if (srcID == KRVAVCodecID_DVD) {
        if (!m4a)
            args << QStringLiteral("-c:v") << QStringLiteral("copy");
        args << QStringLiteral("-c:a") << QStringLiteral("copy") << QStringLiteral("-c:s") << QStringLiteral("copy");
    } else {
        if (!m4a)
            args << QStringLiteral("-vcodec") << QStringLiteral("copy");
        args << QStringLiteral("-acodec") << QStringLiteral("copy");
    }
}

void AppendFormatOptions(const ConvertSettings &settings, KRVAVCodecID tgtID, QStringList &args)
{
    switch (tgtID) {
    case KRVAVCodecID_3GP2:
    case KRVAVCodecID_3GP: {
        // A plain int from a dialog: never read past the list; fall back to the record's default 704x576.
        const int size =
            settings.threeGPSize >= 0 && settings.threeGPSize < ThreeGPSizesCount ? settings.threeGPSize : 3;
        args << QStringLiteral("-s") << QLatin1String(ThreeGPSizes[size]) << QStringLiteral("-ac")
             << QStringLiteral("1") << QStringLiteral("-ar") << QStringLiteral("8k") << QStringLiteral("-b:a")
             << QStringLiteral("12.20k") << QStringLiteral("-b:v") << QStringLiteral("2M");
        break;
    }
    case KRVAVCodecID_AMR:
        args << QStringLiteral("-ac") << QStringLiteral("1") << QStringLiteral("-ar") << QStringLiteral("8k")
             << QStringLiteral("-b:a") << QStringLiteral("12.20k");
        break;
    case KRVAVCodecID_ASF:
    case KRVAVCodecID_AVI:
        args << QStringLiteral("-q:v") << QStringLiteral("0") << QStringLiteral("-q:a") << QStringLiteral("0");
        break;
    case KRVAVCodecID_WMA:
    case KRVAVCodecID_WMV:
        args << QStringLiteral("-q:v") << QStringLiteral("0") << QStringLiteral("-q:a") << QStringLiteral("0")
             << QStringLiteral("-ac") << QStringLiteral("2");
        break;
    case KRVAVCodecID_DTS:
        args << QStringLiteral("-strict") << QStringLiteral("-2");
        break;
    case KRVAVCodecID_FLV:
    case KRVAVCodecID_SWF:
        args << QStringLiteral("-ar") << QStringLiteral("22050") << QStringLiteral("-b:v") << QStringLiteral("2M");
        break;
    case KRVAVCodecID_M2TS:
    case KRVAVCodecID_TS:
    case KRVAVCodecID_OGG:
    case KRVAVCodecID_DVD:
    case KRVAVCodecID_WEBM:
        args << QStringLiteral("-b:v") << QStringLiteral("2M");
        break;
    case KRVAVCodecID_MPG:
        args << QStringLiteral("-vcodec") << QStringLiteral("mpeg2video") << QStringLiteral("-b:v")
             << QStringLiteral("2M");
        break;
    default:
        break;
    }
}

} // namespace

const char *const EvenFrameFilter = "scale=trunc(iw/2)*2:trunc(ih/2)*2";

QStringList MakeConvertArguments(const QString &srcFile, const ConvertSettings &settings, const QString &tgtFile,
                                 const QString &tempDir, bool evenFrame)
{
    const KRVAVCodecID srcID = KRVAVCodec(srcFile).id;
    const auto tgtID = KRVAVCodecID(settings.tgtID);

    QStringList args{ QStringLiteral("-i"), srcFile };
    if (IsStreamCopy(srcID, tgtID)) {
        AppendStreamCopyOptions(srcID, settings.tgtFormat, args);
    } else {
        if (TargetTakesEffects(tgtID, settings.tgtFormat))
            AppendEffectsArguments(settings, tgtID, tempDir, args);
        AppendFormatOptions(settings, tgtID, args);
    }
    if (evenFrame) {
        const int filter = args.indexOf(QStringLiteral("-filter_complex"));
        if (filter >= 0 && filter + 1 < args.size())
            args[filter + 1] += QLatin1Char(',') + QLatin1String(EvenFrameFilter);
        else
            args << QStringLiteral("-vf") << QLatin1String(EvenFrameFilter);
    }
    args << QStringLiteral("-y") << tgtFile;
    return args;
}

// An encoder that refuses odd frame sizes fails the first run; the frame it gets is the
// source's unless the scaling effect or a fixed 3GP size sets it.
bool MayNeedEvenFrame(const QString &srcFile, const ConvertSettings &settings, const QSize &srcFrame)
{
    const auto tgtID = KRVAVCodecID(settings.tgtID);
    if (IsStreamCopy(KRVAVCodec(srcFile).id, tgtID) || !TargetTakesEffects(tgtID, settings.tgtFormat)
        || tgtID == KRVAVCodecID_3GP || tgtID == KRVAVCodecID_3GP2)
        return false;
    const QSize frame = IsScalableFormat(tgtID) && settings.scale ? QSize(settings.scaleW, settings.scaleH) : srcFrame;
    return frame.isValid() && (frame.width() % 2 || frame.height() % 2);
}


OutputKinds ExpectedOutputKinds(const MediaInfo &source, const ConvertSettings &settings)
{
    const auto tgtID = KRVAVCodecID(settings.tgtID);
    OutputKinds kinds;
    kinds.video = TargetTakesEffects(tgtID, settings.tgtFormat) && source.HasPicture();
    kinds.audio = !IsVideoFormat(tgtID, settings.tgtFormat) && source.HasSound();
    return kinds;
}
