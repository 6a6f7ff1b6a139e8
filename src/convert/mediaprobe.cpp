#include "mediaprobe.h"

#include "convert/childprocess.h"
#include "convert/jobtext.h"
#include "krv/gen/plugins.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

constexpr int PollMs = 30;
constexpr int ReportLimitBytes = 16 * 1024 * 1024;

// "30000/1001" or "25"; 0 for "0/0" and anything unreadable.
double ParseRate(const QString &text)
{
    const int slash = text.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return text.toDouble();
    const double den = text.midRef(slash + 1).toDouble();
    return den > 0 ? text.leftRef(slash).toDouble() / den : 0;
}

qint64 ParseSecondsMs(const QJsonValue &value)
{
    bool ok = false;
    const double seconds = value.toString().toDouble(&ok);
    return ok && seconds >= 0 ? qint64(seconds * 1000 + 0.5) : -1;
}

qint64 ParseNumber(const QJsonValue &value)
{
    bool ok = false;
    const qint64 number = value.toString().toLongLong(&ok);
    return ok ? number : -1;
}

MediaStream::Kind ParseKind(const QString &type)
{
    if (type == QLatin1String("video"))
        return MediaStream::Kind::Video;
    if (type == QLatin1String("audio"))
        return MediaStream::Kind::Audio;
    if (type == QLatin1String("subtitle"))
        return MediaStream::Kind::Subtitle;
    if (type == QLatin1String("attachment"))
        return MediaStream::Kind::Attachment;
    return MediaStream::Kind::Data;
}

// A phone records a portrait clip as a landscape picture and a note to turn it.
int ParseRotation(const QJsonObject &object)
{
    double degrees = object.value(QLatin1String("tags")).toObject().value(QLatin1String("rotate")).toString().toDouble();
    const QJsonArray sideData = object.value(QLatin1String("side_data_list")).toArray();
    for (const QJsonValue &entry : sideData) {
        const QJsonObject data = entry.toObject();
        if (data.value(QLatin1String("side_data_type")).toString() == QLatin1String("Display Matrix"))
            degrees = data.value(QLatin1String("rotation")).toDouble();
    }
    const int quarters = int(std::lround(degrees / 90.0));
    return (quarters % 4 + 4) % 4 * 90;
}

MediaStream ParseStream(const QJsonObject &object)
{
    MediaStream stream;
    stream.kind = ParseKind(object.value(QLatin1String("codec_type")).toString());
    stream.index = object.value(QLatin1String("index")).toInt(-1);
    stream.codec = object.value(QLatin1String("codec_name")).toString();
    stream.profile = object.value(QLatin1String("profile")).toString();
    stream.level = object.value(QLatin1String("level")).toInt(-1);
    stream.width = object.value(QLatin1String("width")).toInt();
    stream.height = object.value(QLatin1String("height")).toInt();
    stream.pixelFormat = object.value(QLatin1String("pix_fmt")).toString();
    stream.sampleAspect = object.value(QLatin1String("sample_aspect_ratio")).toString();
    stream.frameRate = ParseRate(object.value(QLatin1String("avg_frame_rate")).toString());
    if (stream.frameRate <= 0)
        stream.frameRate = ParseRate(object.value(QLatin1String("r_frame_rate")).toString());
    stream.fieldOrder = object.value(QLatin1String("field_order")).toString();
    stream.colorTransfer = object.value(QLatin1String("color_transfer")).toString();
    stream.colorPrimaries = object.value(QLatin1String("color_primaries")).toString();
    stream.colorSpace = object.value(QLatin1String("color_space")).toString();
    stream.channels = object.value(QLatin1String("channels")).toInt();
    stream.channelLayout = object.value(QLatin1String("channel_layout")).toString();
    stream.sampleRate = int(qMax<qint64>(0, ParseNumber(object.value(QLatin1String("sample_rate")))));
    stream.bitRate = ParseNumber(object.value(QLatin1String("bit_rate")));
    stream.durationMs = ParseSecondsMs(object.value(QLatin1String("duration")));
    const QJsonObject disposition = object.value(QLatin1String("disposition")).toObject();
    stream.attachedPicture = disposition.value(QLatin1String("attached_pic")).toInt() != 0;
    stream.language = object.value(QLatin1String("tags")).toObject().value(QLatin1String("language")).toString();
    stream.rotation = ParseRotation(object);
    return stream;
}

} // namespace

bool MediaStream::IsInterlaced() const
{
    return fieldOrder == QLatin1String("tt") || fieldOrder == QLatin1String("bb")
           || fieldOrder == QLatin1String("tb") || fieldOrder == QLatin1String("bt");
}

const MediaStream *MediaInfo::FirstPicture() const
{
    for (const MediaStream &stream : streams) {
        if (stream.IsPicture())
            return &stream;
    }
    return nullptr;
}

const MediaStream *MediaInfo::FirstSound() const
{
    for (const MediaStream &stream : streams) {
        if (stream.kind == MediaStream::Kind::Audio)
            return &stream;
    }
    return nullptr;
}

int MediaInfo::Count(MediaStream::Kind kind) const
{
    return int(std::count_if(streams.begin(), streams.end(),
                             [kind](const MediaStream &stream) { return stream.kind == kind; }));
}

bool ParseMediaProbe(const QByteArray &json, MediaInfo &info)
{
    info = MediaInfo();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject root = document.object();
    const QJsonObject format = root.value(QLatin1String("format")).toObject();
    if (format.isEmpty())
        return false;
    info.formatName = format.value(QLatin1String("format_name")).toString();
    info.durationMs = ParseSecondsMs(format.value(QLatin1String("duration")));
    const QJsonArray streams = root.value(QLatin1String("streams")).toArray();
    for (const QJsonValue &stream : streams)
        info.streams.append(ParseStream(stream.toObject()));
    return true;
}

QStringList MediaProbeArguments(const QString &path)
{
    return { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"), QStringLiteral("json"),
             QStringLiteral("-show_format"), QStringLiteral("-show_streams"), QStringLiteral("-i"), path };
}

bool ProbeMedia(const QString &path, MediaInfo &info, QString &error, const std::function<bool()> &canceled,
                int timeoutMs)
{
    info = MediaInfo();
    error.clear();
    ChildProcess process;
    const QString program = HelperProgramPath(HelperProgram::Prober);
    if (!process.Start(program, MediaProbeArguments(path), QString(), error)) {
        error = JobText("The prober %1 could not be started.").arg(NativePath(program));
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray report;
    QByteArray errors;
    bool tooLarge = false;
    const auto onReport = [&](const QByteArray &chunk) {
        tooLarge = tooLarge || report.size() > ReportLimitBytes;
        if (!tooLarge)
            report += chunk;
    };
    // Only the first line explains; the rest may be a flood.
    const auto onErrors = [&errors](const QByteArray &chunk) {
        if (errors.size() < 4096)
            errors += chunk.left(4096);
    };
    const auto keepGoing = [&]() { return !(canceled && canceled()) && clock.elapsed() <= timeoutMs; };
    if (!process.Run(onReport, onErrors, keepGoing, PollMs)) {
        error = JobText("The file could not be read in time.");
        return false;
    }
    if (!process.Crashed() && process.ExitCode() == 0 && !tooLarge && ParseMediaProbe(report, info))
        return true;
    const QString firstLine = QString::fromLocal8Bit(errors).trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
    error = firstLine.isEmpty() ? JobText("The prober could not read the file.") : firstLine;
    return false;
}
