#pragma once

#include "convert/mediaprobe.h"
#include "krv/av/avcodec.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

class ConvertSettings;
struct MediaInfo;

// The transcoder's complete argument list for one job. Starts nothing, but renders the
// watermark images of the effects step into tempDir. With evenFrame, the picture is cut
// down to even width and height at the end of the video filter.
QStringList MakeConvertArguments(const QString &srcFile, const ConvertSettings &settings, const QString &tgtFile,
                                 const QString &tempDir, bool evenFrame = false);

// The same, fitted to what the prober found in the source: streams the target cannot hold
// are left out or converted, and the picture and sound are brought within what the target's
// players take. With nothing known of the source it gives what the overload above gives.
QStringList MakeConvertArguments(const MediaInfo &source, const QString &srcFile, const ConvertSettings &settings,
                                 const QString &tgtFile, const QString &tempDir, bool evenFrame = false);

// The streams a job writes as they are instead of encoding them: with the option on and no
// effect on, each picture and sound stream the target already takes unchanged.
struct StreamCopy
{
    bool picture = false;
    // One per sound track written, in the order they are mapped.
    QVector<bool> sound;
    // Every picture and sound stream written is copied, none encoded.
    bool everything = false;
    bool Any() const { return picture || sound.contains(true); }
};
StreamCopy PlanStreamCopy(const MediaInfo &source, const ConvertSettings &settings);

// Why the source cannot become the target at all, in words; empty when it can.
QString SourceMismatch(const MediaInfo &source, const ConvertSettings &settings);

// The last step of the video filter for encoders that take only even frame sizes.
extern const char *const EvenFrameFilter;

// Whether a run that failed may succeed again with the frame cut to even sizes; srcFrame
// is the source's frame as the transcoder reported it.
bool MayNeedEvenFrame(const QString &srcFile, const ConvertSettings &settings, const QSize &srcFrame);

// The stream kinds a finished job's file must hold: video when the target carries video and
// the source has a moving picture, audio when the target is a sound format and the source
// has sound.
struct OutputKinds
{
    bool video = false;
    bool audio = false;
};
OutputKinds ExpectedOutputKinds(const MediaInfo &source, const ConvertSettings &settings);
