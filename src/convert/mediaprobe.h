#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// What the prober says of one stream of a media file. Numbers the prober did not give
// stay at their defaults.
struct MediaStream
{
    enum class Kind { Video, Audio, Subtitle, Data, Attachment };

    Kind kind = Kind::Data;
    int index = -1;
    QString codec;
    // As the prober names it: "High", "Main", "LC", "Profile 0".
    QString profile;
    // H.264's level times ten (31 for 3.1), HEVC's times thirty; -1 when not given.
    int level = -1;
    int width = 0;
    int height = 0;
    QString pixelFormat;
    // "1:1" and the like; empty when not given.
    QString sampleAspect;
    // Frames per second of the stream's average rate, else its base rate; 0 when unknown.
    double frameRate = 0;
    // "progressive", "tt", "bb", "tb", "bt", or empty when unknown.
    QString fieldOrder;
    QString colorTransfer;
    QString colorPrimaries;
    QString colorSpace;
    int channels = 0;
    QString channelLayout;
    int sampleRate = 0;
    qint64 bitRate = -1;
    qint64 durationMs = -1;
    // A still picture kept as cover art, not a moving picture.
    bool attachedPicture = false;
    QString language;
    // Degrees a player turns the picture (0, 90, 180 or 270), from the display matrix or the
    // older rotate tag. The transcoder turns it the same way when it encodes.
    int rotation = 0;

    bool IsPicture() const { return kind == Kind::Video && !attachedPicture; }
    // Interlaced as stored, when the prober could tell.
    bool IsInterlaced() const;
    // Players show the picture, and the transcoder's filters get it, with width and height swapped.
    bool IsShownSideways() const { return rotation % 180 != 0; }
};

struct MediaInfo
{
    QString formatName;
    qint64 durationMs = -1;
    QVector<MediaStream> streams;

    // A moving picture, not only cover art.
    bool HasPicture() const { return FirstPicture() != nullptr; }
    bool HasSound() const { return FirstSound() != nullptr; }
    const MediaStream *FirstPicture() const;
    const MediaStream *FirstSound() const;
    int Count(MediaStream::Kind kind) const;
};

// The prober's JSON report ("-show_format -show_streams") read into info; false when it is
// not such a report.
bool ParseMediaProbe(const QByteArray &json, MediaInfo &info);

// The prober's arguments for path.
QStringList MediaProbeArguments(const QString &path);

// Runs the prober laid out beside the executable on path. Gives up, killing the prober, when
// canceled answers true (asked every few tens of milliseconds) or after timeoutMs. On failure
// error says why in one line.
bool ProbeMedia(const QString &path, MediaInfo &info, QString &error,
                const std::function<bool()> &canceled = {}, int timeoutMs = 30000);
