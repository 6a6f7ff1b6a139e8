#include "convertargs.h"

#include "convert/avconverteffects.h"
#include "convert/convertsettings.h"
#include "convert/jobtext.h"
#include "convert/mediaprobe.h"
#include "convert/targetrules.h"

#include <cmath>

namespace {

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

namespace {

bool IsTextSubtitle(const QString &codec)
{
    return codec == QLatin1String("subrip") || codec == QLatin1String("ass") || codec == QLatin1String("ssa")
           || codec == QLatin1String("webvtt") || codec == QLatin1String("mov_text") || codec == QLatin1String("text");
}

bool IsBitmapSubtitle(const QString &codec)
{
    return codec == QLatin1String("dvd_subtitle") || codec == QLatin1String("hdmv_pgs_subtitle")
           || codec == QLatin1String("dvb_subtitle");
}

bool IsHdr(const MediaStream &picture)
{
    return picture.colorTransfer == QLatin1String("arib-std-b67") || picture.colorTransfer == QLatin1String("smpte2084");
}

// Width over height of one stored pixel; 1 when the prober gave none.
double SampleAspect(const MediaStream &picture)
{
    const int colon = picture.sampleAspect.indexOf(QLatin1Char(':'));
    const double num = picture.sampleAspect.leftRef(colon).toDouble();
    const double den = colon < 0 ? 0 : picture.sampleAspect.midRef(colon + 1).toDouble();
    return num > 0 && den > 0 ? num / den : 1.0;
}

int EvenDown(double value)
{
    return qMax(2, int(value) / 2 * 2);
}

bool TurnsSideways(const ConvertSettings &settings)
{
    return settings.transform && settings.rotate && settings.rotateDegree != 1;
}

// The device's frame box, turned for a portrait picture; the shape kept, never scaled up,
// square pixels.
QString DeviceScaleFilter(const MediaStream &picture, const DeviceLimits &device, const ConvertSettings &settings)
{
    if (picture.width <= 0 || picture.height <= 0)
        return QString();
    // The frames reach the filter as players show them: a turned phone clip is portrait.
    const double aspect = SampleAspect(picture);
    const bool sideways = picture.IsShownSideways() != TurnsSideways(settings);
    double width = picture.width * aspect;
    double height = picture.height;
    if (sideways)
        std::swap(width, height);
    const double boxW = width >= height ? device.maxWidth : device.maxHeight;
    const double boxH = width >= height ? device.maxHeight : device.maxWidth;
    const double factor = qMin(1.0, qMin(boxW / width, boxH / height));
    const int outW = EvenDown(width * factor + 0.001);
    const int outH = EvenDown(height * factor + 0.001);
    const int storedW = sideways ? picture.height : picture.width;
    const int storedH = sideways ? picture.width : picture.height;
    if (outW == storedW && outH == storedH && aspect == 1.0)
        return QString();
    return QStringLiteral("scale=%1:%2,setsar=1").arg(outW).arg(outH);
}

QString FpsCap(const MediaStream &picture, int maxFps)
{
    return picture.frameRate > maxFps + 0.01 ? QStringLiteral("fps=%1").arg(maxFps) : QString();
}

// Filters before the effects (so they work on whole, standard pictures) and after them.
void PictureFilters(const MediaStream &picture, const ConvertSettings &settings, KRVAVCodecID tgtID,
                    QStringList &before, QStringList &after, bool &toneMapped)
{
    if (picture.IsInterlaced())
        before << QStringLiteral("bwdif=0");
    toneMapped = IsHdr(picture) && NeedsEightBit420(tgtID, settings.tgtFormat);
    if (toneMapped) {
        before << QStringLiteral("zscale=tin=%1:pin=bt2020:min=bt2020nc:t=linear:npl=100,format=gbrpf32le,"
                                 "zscale=p=bt709,tonemap=tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,"
                                 "format=yuv420p")
                      .arg(picture.colorTransfer);
    }
    if (const DeviceLimits *device = DeviceLimitsOf(tgtID)) {
        after << DeviceScaleFilter(picture, *device, settings) << FpsCap(picture, device->maxFps);
    } else if ((tgtID == KRVAVCodecID_FLV || tgtID == KRVAVCodecID_SWF) && SampleAspect(picture) != 1.0) {
        // Flash video has no pixel aspect: the width carries the shape.
        after << QStringLiteral("scale=trunc(iw*sar/2)*2:ih,setsar=1");
    } else if (tgtID == KRVAVCodecID_GIF) {
        // Players stretch frame delays under two hundredths of a second.
        after << FpsCap(picture, 50);
    }
    before.removeAll(QString());
    after.removeAll(QString());
}

void AppendVideoFilters(const QStringList &before, const QStringList &after, QStringList &args)
{
    if (before.isEmpty() && after.isEmpty())
        return;
    const int filter = args.indexOf(QStringLiteral("-filter_complex"));
    if (filter >= 0 && filter + 1 < args.size()) {
        QStringList all = before;
        all << args[filter + 1] << after;
        args[filter + 1] = all.join(QLatin1Char(','));
    } else {
        args << QStringLiteral("-vf") << (before + after).join(QLatin1Char(','));
    }
}

void AppendVideoCodecOptions(const MediaStream &picture, KRVAVCodecID tgtID, const QString &tgtFormat,
                             bool toneMapped, QStringList &args)
{
    if (const DeviceLimits *device = DeviceLimitsOf(tgtID)) {
        args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-profile:v")
             << QLatin1String(ProfileName(device->profile)) << QStringLiteral("-level:v")
             << QStringLiteral("%1.%2").arg(device->level / 10).arg(device->level % 10) << QStringLiteral("-pix_fmt")
             << QStringLiteral("yuv420p") << QStringLiteral("-maxrate")
             << QStringLiteral("%1k").arg(LevelMaxBitRate(device->level, device->profile)) << QStringLiteral("-bufsize")
             << QStringLiteral("%1k").arg(LevelBufferSize(device->level, device->profile));
    } else if (NeedsEightBit420(tgtID, tgtFormat) && !toneMapped && !picture.pixelFormat.isEmpty()
               && picture.pixelFormat != QLatin1String("yuv420p") && picture.pixelFormat != QLatin1String("yuvj420p")) {
        args << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p");
    }
    if (toneMapped) {
        args << QStringLiteral("-color_primaries") << QStringLiteral("bt709") << QStringLiteral("-color_trc")
             << QStringLiteral("bt709") << QStringLiteral("-colorspace") << QStringLiteral("bt709");
    }
}

// Sound brought within what the target's encoder takes, instead of failing on it.
void AppendAudioFit(const MediaStream *sound, KRVAVCodecID tgtID, QStringList &args)
{
    if (!sound)
        return;
    const AudioLimits limits = AudioLimitsOf(tgtID);
    if (limits.maxChannels > 0 && sound->channels > limits.maxChannels)
        args << QStringLiteral("-ac") << QString::number(limits.maxChannels);
    else if (tgtID == KRVAVCodecID_WEBM && sound->channelLayout.endsWith(QLatin1String("(side)")))
        // The Opus encoder knows 5.1 and 7.1 only in their standard layouts.
        args << QStringLiteral("-ac") << QString::number(sound->channels);
    if (limits.maxSampleRate > 0 && sound->sampleRate > limits.maxSampleRate)
        args << QStringLiteral("-ar") << QString::number(limits.maxSampleRate);
}

// The sound tracks a video target gets, in the order they are mapped.
QVector<const MediaStream *> SoundTracks(const MediaInfo &source, KRVAVCodecID tgtID)
{
    QVector<const MediaStream *> tracks;
    if (IsPictureOnlyTarget(tgtID))
        return tracks;
    for (const MediaStream &stream : source.streams) {
        if (stream.kind == MediaStream::Kind::Audio) {
            tracks << &stream;
            if (!TakesSeveralAudioTracks(tgtID))
                break;
        }
    }
    return tracks;
}

void AppendSoundMaps(const MediaInfo &source, KRVAVCodecID tgtID, QStringList &args)
{
    for (const MediaStream *stream : SoundTracks(source, tgtID))
        args << QStringLiteral("-map") << QStringLiteral("0:%1").arg(stream->index);
}

void AppendSoundCopy(const QVector<bool> &copied, QStringList &args)
{
    if (!copied.contains(true))
        return;
    if (!copied.contains(false)) {
        args << QStringLiteral("-c:a") << QStringLiteral("copy");
        return;
    }
    for (int track = 0; track < copied.size(); ++track) {
        if (copied.at(track))
            args << QStringLiteral("-c:a:%1").arg(track) << QStringLiteral("copy");
    }
}

// Text subtitles in the container's own text format, bitmap ones where the container takes them.
void AppendSubtitleMaps(const MediaInfo &source, KRVAVCodecID tgtID, const QString &tgtFormat, QStringList &args)
{
    const bool mkv = tgtID == KRVAVCodecID_MKV && tgtFormat != QLatin1String(".mka");
    const bool mp4 = tgtID == KRVAVCodecID_MP4 || (tgtID == KRVAVCodecID_MOV && tgtFormat == QLatin1String(".mov"));
    if (!mkv && !mp4 && tgtID != KRVAVCodecID_WEBM)
        return;
    int out = 0;
    for (const MediaStream &stream : source.streams) {
        if (stream.kind != MediaStream::Kind::Subtitle)
            continue;
        QString codec;
        if (IsTextSubtitle(stream.codec))
            codec = mkv ? (stream.codec == QLatin1String("mov_text") ? QStringLiteral("srt") : QStringLiteral("copy"))
                  : mp4 ? QStringLiteral("mov_text")
                        : QStringLiteral("webvtt");
        else if (mkv && IsBitmapSubtitle(stream.codec))
            codec = QStringLiteral("copy");
        if (codec.isEmpty())
            continue;
        args << QStringLiteral("-map") << QStringLiteral("0:%1").arg(stream.index)
             << QStringLiteral("-c:s:%1").arg(out++) << codec;
    }
}

const MediaStream *CoverArt(const MediaInfo &source)
{
    for (const MediaStream &stream : source.streams) {
        if (stream.kind == MediaStream::Kind::Video && stream.attachedPicture)
            return &stream;
    }
    return nullptr;
}

bool IsCopyableCover(const MediaStream &cover)
{
    return cover.codec == QLatin1String("mjpeg") || cover.codec == QLatin1String("png");
}

void AppendAudioTargetMaps(const MediaInfo &source, KRVAVCodecID tgtID, const QString &tgtFormat, QStringList &args)
{
    const MediaStream *cover = CoverArt(source);
    const MediaStream *sound = source.FirstSound();
    if (!cover || !sound || !TakesCoverArt(tgtID, tgtFormat)) {
        args << QStringLiteral("-vn");
        return;
    }
    const bool copyable = IsCopyableCover(*cover);
    args << QStringLiteral("-map") << QStringLiteral("0:%1").arg(sound->index) << QStringLiteral("-map")
         << QStringLiteral("0:%1").arg(cover->index) << QStringLiteral("-c:v")
         << (copyable ? QStringLiteral("copy") : QStringLiteral("png")) << QStringLiteral("-disposition:v")
         << QStringLiteral("attached_pic");
}

} // namespace

QString SourceMismatch(const MediaInfo &source, const ConvertSettings &settings)
{
    const auto tgtID = KRVAVCodecID(settings.tgtID);
    if (source.streams.isEmpty())
        return QString();
    if (IsAudioOnlyTarget(tgtID, settings.tgtFormat) && !source.HasSound())
        return JobText("The source has no sound.");
    if (IsPictureOnlyTarget(tgtID) && !source.HasPicture())
        return JobText("The source has no picture.");
    return QString();
}

StreamCopy PlanStreamCopy(const MediaInfo &source, const ConvertSettings &settings)
{
    StreamCopy copy;
    const auto tgtID = KRVAVCodecID(settings.tgtID);
    const bool audioOnly = IsAudioOnlyTarget(tgtID, settings.tgtFormat);
    // Effects change only the picture, but a user who set them expects the whole file made anew.
    if (!settings.copyStreams || source.streams.isEmpty() || (!audioOnly && EffectsOn(settings, tgtID).Any()))
        return copy;
    if (audioOnly) {
        const MediaStream *sound = source.FirstSound();
        const MediaStream *cover = CoverArt(source);
        if (sound)
            copy.sound << TakesSoundAsIs(tgtID, settings.tgtFormat, *sound);
        copy.everything = copy.sound.value(0)
                          && !(cover && TakesCoverArt(tgtID, settings.tgtFormat) && !IsCopyableCover(*cover));
        return copy;
    }
    const MediaStream *picture = source.FirstPicture();
    if (picture) {
        // Anything the picture needs to fit its target (deinterlacing, tone mapping, a device's
        // frame box or frame rate) is a filter, and a filtered stream cannot be copied.
        QStringList before, after;
        bool toneMapped = false;
        PictureFilters(*picture, settings, tgtID, before, after, toneMapped);
        copy.picture = before.isEmpty() && after.isEmpty() && TakesPictureAsIs(tgtID, settings.tgtFormat, *picture);
    }
    for (const MediaStream *sound : SoundTracks(source, tgtID))
        copy.sound << TakesSoundAsIs(tgtID, settings.tgtFormat, *sound);
    copy.everything = (picture || !copy.sound.isEmpty()) && (!picture || copy.picture) && !copy.sound.contains(false);
    return copy;
}

QStringList MakeConvertArguments(const QString &srcFile, const ConvertSettings &settings, const QString &tgtFile,
                                 const QString &tempDir, bool evenFrame)
{
    return MakeConvertArguments(MediaInfo(), srcFile, settings, tgtFile, tempDir, evenFrame);
}

QStringList MakeConvertArguments(const MediaInfo &source, const QString &srcFile, const ConvertSettings &settings,
                                 const QString &tgtFile, const QString &tempDir, bool evenFrame)
{
    const auto tgtID = KRVAVCodecID(settings.tgtID);
    const bool known = !source.streams.isEmpty();
    const MediaStream *picture = source.FirstPicture();
    // The frame is cut to even sizes only in an encode.
    const StreamCopy copy = evenFrame ? StreamCopy() : PlanStreamCopy(source, settings);

    QStringList args{ QStringLiteral("-i"), srcFile };
    if (IsAudioOnlyTarget(tgtID, settings.tgtFormat)) {
        if (known)
            AppendAudioTargetMaps(source, tgtID, settings.tgtFormat, args);
        // Left to itself the transcoder picks the track with the most channels, not the one judged.
        if (copy.sound.value(0) && !args.contains(QStringLiteral("-map")))
            args << QStringLiteral("-map") << QStringLiteral("0:%1").arg(source.FirstSound()->index);
        AppendSoundCopy(copy.sound, args);
        AppendAudioFit(source.FirstSound(), tgtID, args);
        AppendFormatOptions(settings, tgtID, args);
    } else {
        // Effects on a source without a picture would leave the filter without its input.
        if (!IsAudioOnlyTarget(tgtID, settings.tgtFormat) && (!known || picture))
            AppendEffectsArguments(settings, tgtID, tempDir, args);
        if (known) {
            // The moving picture, never a cover image, which players would show as a second video.
            if (picture && !args.contains(QStringLiteral("-filter_complex")))
                args << QStringLiteral("-map") << QStringLiteral("0:%1").arg(picture->index);
            AppendSoundMaps(source, tgtID, args);
            AppendSubtitleMaps(source, tgtID, settings.tgtFormat, args);
        }
        if (copy.picture) {
            args << QStringLiteral("-c:v") << QStringLiteral("copy");
            // Apple's players take HEVC in MP4 and QuickTime files only under this tag.
            if (picture->codec == QLatin1String("hevc") && (tgtID == KRVAVCodecID_MP4 || tgtID == KRVAVCodecID_MOV))
                args << QStringLiteral("-tag:v") << QStringLiteral("hvc1");
        } else if (picture) {
            QStringList before, after;
            bool toneMapped = false;
            PictureFilters(*picture, settings, tgtID, before, after, toneMapped);
            AppendVideoFilters(before, after, args);
            AppendVideoCodecOptions(*picture, tgtID, settings.tgtFormat, toneMapped, args);
        } else if (!known && DeviceLimitsOf(tgtID)) {
            AppendVideoCodecOptions(MediaStream(), tgtID, settings.tgtFormat, false, args);
        }
        AppendSoundCopy(copy.sound, args);
        AppendAudioFit(source.FirstSound(), tgtID, args);
        AppendFormatOptions(settings, tgtID, args);
    }
    if (evenFrame) {
        const int filter = args.indexOf(QStringLiteral("-filter_complex"));
        const int vf = args.indexOf(QStringLiteral("-vf"));
        if (filter >= 0 && filter + 1 < args.size())
            args[filter + 1] += QLatin1Char(',') + QLatin1String(EvenFrameFilter);
        else if (vf >= 0 && vf + 1 < args.size())
            args[vf + 1] += QLatin1Char(',') + QLatin1String(EvenFrameFilter);
        else
            args << QStringLiteral("-vf") << QLatin1String(EvenFrameFilter);
    }
    args << QStringLiteral("-y") << tgtFile;
    return args;
}

// An encoder that refuses odd frame sizes fails the first run; the frame it gets is the
// source's unless the scaling effect or a fixed 3GP size sets it.
bool MayNeedEvenFrame(const QString &, const ConvertSettings &settings, const QSize &srcFrame)
{
    const auto tgtID = KRVAVCodecID(settings.tgtID);
    if (IsAudioOnlyTarget(tgtID, settings.tgtFormat) || tgtID == KRVAVCodecID_3GP || tgtID == KRVAVCodecID_3GP2)
        return false;
    const QSize frame = IsScalableFormat(tgtID) && settings.scale ? QSize(settings.scaleW, settings.scaleH) : srcFrame;
    return frame.isValid() && (frame.width() % 2 || frame.height() % 2);
}


OutputKinds ExpectedOutputKinds(const MediaInfo &source, const ConvertSettings &settings)
{
    const auto tgtID = KRVAVCodecID(settings.tgtID);
    OutputKinds kinds;
    kinds.video = !IsAudioOnlyTarget(tgtID, settings.tgtFormat) && source.HasPicture();
    kinds.audio = IsAudioOnlyTarget(tgtID, settings.tgtFormat) && source.HasSound();
    return kinds;
}
