#include "avconvertthread.h"

#include "convert/avconverteffects.h"
#include "convert/convertsettings.h"
#include "krv/av/avcodec.h"
#include "krv/gen/plugins.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <functional>

namespace {

using TakenTest = std::function<bool(const QString &)>;

bool FindFreeFilePath(QString &out, const QString &folder, const QString &baseName, const QString &ext,
                      const TakenTest &taken)
{
    out.clear();
    const QString plain = JoinFilePath(folder, baseName, ext);
    if (!taken(plain)) {
        out = plain;
        return true;
    }
    for (int counter = 1; counter <= 9999; ++counter) {
        const QString candidate = JoinFilePath(folder, baseName + QStringLiteral("-%1").arg(counter), ext);
        if (!taken(candidate)) {
            out = candidate;
            return true;
        }
    }
    return false;
}

bool MakeTgtFilePathIf(QString &out, const QString &srcFile, const ConvertSettings &settings,
                       const TakenTest &taken)
{
    out.clear();
    const QFileInfo src(srcFile);
    const QString baseName = src.completeBaseName();
    const QString folder = settings.tgtFolder == QLatin1String(SameAsSourceFile) ? src.absolutePath()
                                                                                   : settings.tgtFolder;
    switch (settings.exists) {
    case 0:
        return FindFreeFilePath(out, folder, baseName, settings.tgtFormat, taken);
    case 1:
        out = JoinFilePath(folder, baseName, settings.tgtFormat);
        return true;
    default:
        return false;
    }
}

bool FileExists(const QString &path)
{
    return QFileInfo::exists(path);
}

// Targets chosen by the jobs running in this process, so that two of them never write one file.
QMutex &ReservationMutex()
{
    static QMutex mutex;
    return mutex;
}

QSet<QString> &ReservedTargets()
{
    static QSet<QString> targets;
    return targets;
}

QString ReservationKey(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = QDir(info.absolutePath()).canonicalPath();
    if (folder.isEmpty())
        return QDir::cleanPath(info.absoluteFilePath());
    return folder + QLatin1Char('/') + info.fileName();
}

enum class Reservation { Reserved, NoName, Busy };

class TargetReservation final
{
public:
    TargetReservation() = default;
    ~TargetReservation()
    {
        if (key.isEmpty())
            return;
        QMutexLocker locker(&ReservationMutex());
        ReservedTargets().remove(key);
    }

    Reservation Reserve(QString &tgtFile, const QString &srcFile, const ConvertSettings &settings)
    {
        QMutexLocker locker(&ReservationMutex());
        QSet<QString> &reserved = ReservedTargets();
        const auto taken = [&reserved](const QString &path) {
            return QFileInfo::exists(path) || reserved.contains(ReservationKey(path));
        };
        if (!MakeTgtFilePathIf(tgtFile, srcFile, settings, taken))
            return Reservation::NoName;
        const QString candidate = ReservationKey(tgtFile);
        if (reserved.contains(candidate))
            return Reservation::Busy;
        reserved.insert(candidate);
        key = candidate;
        return Reservation::Reserved;
    }

private:
    Q_DISABLE_COPY(TargetReservation)
    QString key;
};

// Tells whether the transcoder created or rewrote a file between two looks at it.
struct FileStamp
{
    bool exists = false;
    qint64 size = -1;
    QDateTime modified;
    QDateTime changed;

    static FileStamp Of(const QString &path)
    {
        const QFileInfo info(path);
        FileStamp stamp;
        stamp.exists = info.exists();
        if (stamp.exists) {
            stamp.size = info.size();
            stamp.modified = info.fileTime(QFileDevice::FileModificationTime);
            stamp.changed = info.fileTime(QFileDevice::FileMetadataChangeTime);
        }
        return stamp;
    }

    bool operator==(const FileStamp &other) const
    {
        return exists == other.exists && size == other.size && modified == other.modified
               && changed == other.changed;
    }
    bool operator!=(const FileStamp &other) const { return !(*this == other); }
};

void RemoveIfTouched(const QString &tgtFile, const FileStamp &before)
{
    const FileStamp after = FileStamp::Of(tgtFile);
    if (after.exists && after != before)
        QFile::remove(tgtFile);
}

bool IsCanceled(const std::shared_ptr<std::atomic_bool> &cancelFlag)
{
    return cancelFlag && cancelFlag->load();
}

bool IsSameFile(const QString &a, const QString &b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

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

int RunTranscoder(const QString &program, const QStringList &args, const QString &tgtFile,
                  const std::shared_ptr<std::atomic_bool> &cancelFlag)
{
    const FileStamp before = FileStamp::Of(tgtFile);

    QProcess process;
    process.setWorkingDirectory(QCoreApplication::applicationDirPath());
    // Nobody reads the transcoder's chatter; left in pipes it would pile up in memory.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args, QIODevice::ReadWrite);
    if (!process.waitForStarted(-1))
        return ConvertFailed;

    while (!process.waitForFinished(3000)) {
        if (process.state() == QProcess::NotRunning)
            break;
        if (IsCanceled(cancelFlag)) {
            process.kill();
            process.waitForFinished(-1);
            RemoveIfTouched(tgtFile, before);
            return ConvertCanceled;
        }
    }

    const bool exitedCleanly = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const QFileInfo target(tgtFile);
    if (exitedCleanly && target.isFile() && target.size() > 0)
        return ConvertSucceeded;
    RemoveIfTouched(tgtFile, before);
    return ConvertFailed;
}

} // namespace

QString JoinFilePath(const QString &folder, const QString &baseName, const QString &ext)
{
    return QDir(folder).absoluteFilePath(baseName + ext);
}

bool MakeUniqueFilePath(QString &out, const QString &folder, const QString &baseName, const QString &ext)
{
    return FindFreeFilePath(out, folder, baseName, ext, FileExists);
}

bool MakeTgtFilePath(QString &out, const QString &srcFile, const ConvertSettings &settings)
{
    return MakeTgtFilePathIf(out, srcFile, settings, FileExists);
}

QString TranscoderPath()
{
    return HelperProgramPath(HelperProgram::Transcoder);
}

QStringList MakeConvertArguments(const QString &srcFile, const ConvertSettings &settings, const QString &tgtFile,
                                 const QString &tempDir)
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
    args << QStringLiteral("-y") << tgtFile;
    return args;
}

ItemConvertResult RunConvertJob(const AVConvertData &data, const QString &transcoder)
{
    qDebug().noquote() << QStringLiteral("ThreadFunction(AVConvertData)");
    ItemConvertResult result;
    result.result = ConvertFailed;
    if (!data.settings)
        return result;
    const ConvertSettings &settings = *data.settings;

    QString tgtFile;
    TargetReservation reservation;
    switch (reservation.Reserve(tgtFile, data.srcFile, settings)) {
    case Reservation::NoName:
        qWarning().noquote() << QStringLiteral("ThreadFunction(AVConvertData)   MakeTgtFilePath Failed");
        return result;
    case Reservation::Busy:
        return result;
    case Reservation::Reserved:
        break;
    }

    if (IsCanceled(data.cancelFlag)) {
        qWarning().noquote() << QStringLiteral("ThreadFunction(AVConvertData)   Canceled");
        result.result = ConvertCanceled;
        return result;
    }

    if (!QFileInfo::exists(data.srcFile) || !QFileInfo::exists(transcoder))
        return result;
    // Overwrite mode into the source's own folder and format: the transcoder would truncate its own input.
    if (IsSameFile(tgtFile, data.srcFile))
        return result;

    const QTemporaryDir tempDir(QDir(QDir::tempPath()).absoluteFilePath(QStringLiteral("reelway-job-XXXXXX")));
    const QStringList args =
        MakeConvertArguments(data.srcFile, settings, tgtFile, tempDir.isValid() ? tempDir.path() : QString());

    result.result = RunTranscoder(transcoder, args, tgtFile, data.cancelFlag);
    if (result.result == ConvertSucceeded)
        result.tgtFiles << tgtFile;
    return result;
}

ItemConvertResult ThreadFunction(const AVConvertData &data)
{
    return RunConvertJob(data, TranscoderPath());
}
