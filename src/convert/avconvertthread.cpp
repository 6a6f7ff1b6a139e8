#include "avconvertthread.h"

#include "convert/avconverteffects.h"
#include "convert/convertsettings.h"
#include "convert/jobjournal.h"
#include "convert/transcoderoutput.h"
#include "krv/av/avcodec.h"
#include "krv/gen/plugins.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    ~TargetReservation() { Release(); }

    Reservation Reserve(QString &tgtFile, const QString &srcFile, const ConvertSettings &settings)
    {
        QMutexLocker locker(&ReservationMutex());
        QSet<QString> &reserved = ReservedTargets();
        const auto taken = [&reserved](const QString &path) {
            return IsNameTaken(path) || reserved.contains(ReservationKey(path));
        };
        if (!MakeTgtFilePathIf(tgtFile, srcFile, settings, taken))
            return Reservation::NoName;
        const QString candidate = ReservationKey(tgtFile);
        if (reserved.contains(candidate))
            return Reservation::Busy;
        reserved.insert(candidate);
        if (!key.isEmpty())
            reserved.remove(key);
        key = candidate;
        return Reservation::Reserved;
    }

private:
    Q_DISABLE_COPY(TargetReservation)

    void Release()
    {
        if (key.isEmpty())
            return;
        QMutexLocker locker(&ReservationMutex());
        ReservedTargets().remove(key);
        key.clear();
    }

    QString key;
};

// The transcoder dies with the program, however the program ends: the kernel sends it
// SIGKILL when the thread that started it goes, and the pool thread waits for its child.
class TranscoderProcess final : public QProcess
{
public:
    TranscoderProcess() = default;

protected:
    void setupChildProcess() override
    {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The program may have died between the fork and the line above.
        if (::getppid() != parentPid)
            ::_exit(127);
        // Out of the terminal's foreground group: Ctrl+C reaches the program alone, which
        // cancels its jobs, instead of making the transcoder end its file as if finished.
        ::setpgid(0, 0);
    }

private:
    const pid_t parentPid = ::getpid();
};

// The transcoder writes a hidden file beside the target and only a finished file is
// moved to the target's name, so no failure, cancel or crash leaves a half file under
// a real name or costs an old one. The name keeps the target's extension, which is how
// the transcoder picks its writer.
class TemporaryOutput final
{
public:
    TemporaryOutput() = default;
    ~TemporaryOutput()
    {
        if (!path.isEmpty())
            ::unlink(QFile::encodeName(path).constData());
    }

    bool Create(const QString &tgtFile)
    {
        const QFileInfo target(tgtFile);
        const QString ext = target.suffix().isEmpty() ? QString() : QLatin1Char('.') + target.suffix();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString candidate = target.dir().absoluteFilePath(
                QStringLiteral(".reelway-%1-%2%3")
                    .arg(::getpid())
                    .arg(QRandomGenerator::global()->generate64(), 0, 36)
                    .arg(ext));
            JobJournal::Record(candidate);
            // Created here, exclusively, so the name is this job's alone; the mode is what the
            // transcoder itself would have given the file.
            const int fd = ::open(QFile::encodeName(candidate).constData(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd >= 0) {
                ::close(fd);
                path = candidate;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    const QString &Path() const { return path; }

    // The file has a real name now and is no longer this object's to remove.
    void Release() { path.clear(); }

private:
    Q_DISABLE_COPY(TemporaryOutput)
    QString path;
};

// The job's folder for generated watermark images, recorded before it exists so that
// no crash can leave it unrecorded.
class JobTempDir final
{
public:
    JobTempDir()
    {
        for (int attempt = 0; attempt < 100 && path.isEmpty(); ++attempt) {
            const QString candidate = QDir(QDir::tempPath()).absoluteFilePath(
                QStringLiteral("reelway-job-%1").arg(QRandomGenerator::global()->generate64(), 0, 36));
            JobJournal::Record(candidate);
            if (::mkdir(QFile::encodeName(candidate).constData(), 0700) == 0)
                path = candidate;
            else if (errno != EEXIST)
                break;
        }
    }
    ~JobTempDir()
    {
        if (!path.isEmpty())
            QDir(path).removeRecursively();
    }

    // Empty when no folder could be made.
    const QString &Path() const { return path; }

private:
    Q_DISABLE_COPY(JobTempDir)
    QString path;
};

// Moves from to to without ever replacing a file at to; false with errno EEXIST when to is taken.
bool RenameNoReplace(const QString &from, const QString &to)
{
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the flag: a hard link also refuses a taken name.
    if (::link(src.constData(), dst.constData()) != 0)
        return false;
    ::unlink(src.constData());
    return true;
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

bool IsCanceled(const AVConvertData &data)
{
    return data.batch && data.batch->IsCanceled();
}

// The job's own source is protected even when the job runs outside a batch.
bool TouchesSource(const QString &path, const AVConvertData &data)
{
    return ConvertBatch({ data.srcFile }).IsProtected(path) || (data.batch && data.batch->IsProtected(path));
}

// Cancel is looked for, and output read, this often while the transcoder runs.
constexpr int PollMs = 50;
constexpr int ProgressIntervalMs = 100;

QString Tr(const char *text)
{
    return QCoreApplication::translate("ConvertJob", text);
}

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

struct TranscoderRun
{
    int outcome = OutcomeFailed;
    QString reason;
    TranscoderOutput output;
};

// Runs the transcoder to its end: succeeded when it exited with code 0 and left a non-empty output.
void RunTranscoder(const QString &program, const QStringList &args, const QString &outputFile,
                   const AVConvertData &data, TranscoderRun &run)
{
    TranscoderProcess process;
    process.setWorkingDirectory(QCoreApplication::applicationDirPath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, TranscoderReportOptions() + args, QIODevice::ReadWrite);
    if (!process.waitForStarted(-1)) {
        run.outcome = OutcomeFailed;
        run.reason = Tr("The transcoder %1 could not be started.").arg(Native(program));
        return;
    }

    QElapsedTimer sinceReport;
    sinceReport.start();
    const auto readOutput = [&]() {
        run.output.AddProgress(process.readAllStandardOutput());
        run.output.AddErrors(process.readAllStandardError());
    };
    while (!process.waitForFinished(PollMs)) {
        readOutput();
        if (process.state() == QProcess::NotRunning)
            break;
        if (IsCanceled(data)) {
            process.kill();
            process.waitForFinished(-1);
            run.outcome = OutcomeCanceled;
            return;
        }
        if (data.batch && data.batch->progress && sinceReport.elapsed() >= ProgressIntervalMs) {
            data.batch->progress(data.srcRow, run.output.DoneMs(), run.output.DurationMs());
            sinceReport.restart();
        }
    }
    readOutput();

    const bool crashed = process.exitStatus() != QProcess::NormalExit;
    const QFileInfo target(outputFile);
    if (!crashed && process.exitCode() == 0 && target.isFile() && target.size() > 0) {
        run.outcome = OutcomeSucceeded;
        return;
    }
    run.outcome = OutcomeFailed;
    run.reason = run.output.FailureReason();
    if (run.reason.isEmpty()) {
        run.reason = crashed ? Tr("The transcoder crashed.")
                     : process.exitCode() == 0 ? Tr("The transcoder wrote no file.")
                                               : Tr("The transcoder ended with exit code %1.").arg(process.exitCode());
    }
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

} // namespace

QString JoinFilePath(const QString &folder, const QString &baseName, const QString &ext)
{
    return QDir(folder).absoluteFilePath(baseName + ext);
}

uint qHash(const FileIdentity &id, uint seed)
{
    return ::qHash(qMakePair(id.device, id.inode), seed);
}

bool IdentifyFile(const QString &path, bool followLinks, FileIdentity &out)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if ((followLinks ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info)) != 0)
        return false;
    out.device = quint64(info.st_dev);
    out.inode = quint64(info.st_ino);
    return true;
}

ConvertBatch::ConvertBatch(const QStringList &protectedFiles)
{
    // The listed path itself too, so that a link in the list is never replaced.
    for (const QString &path : protectedFiles) {
        FileIdentity id;
        if (IdentifyFile(path, true, id))
            protectedIds.insert(id);
        if (IdentifyFile(path, false, id))
            protectedIds.insert(id);
    }
}

void ConvertBatch::Cancel()
{
    canceled.store(true);
    // Waits out a job that is moving its file into place right now.
    QMutexLocker locker(&commitMutex);
}

bool ConvertBatch::IsProtected(const QString &path) const
{
    FileIdentity id;
    return (IdentifyFile(path, true, id) && protectedIds.contains(id))
           || (IdentifyFile(path, false, id) && protectedIds.contains(id));
}

void ConvertBatch::AppendLog(const QString &srcFile, const QString &reason, const QByteArray &errorOutput)
{
    if (logFile.isEmpty())
        return;
    QMutexLocker locker(&logMutex);
    QFile log(logFile);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    log.write("==== " + srcFile.toUtf8() + "\n==== " + reason.toUtf8() + "\n");
    log.write(errorOutput);
    log.write(errorOutput.endsWith('\n') ? "\n" : "\n\n");
}

QString NewBatchLogFile()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                           + QStringLiteral("/Korvent/Reelway/logs");
    if (!QDir().mkpath(folder))
        return QString();
    QStringList logs = QDir(folder).entryList({ QStringLiteral("batch-*.log") }, QDir::Files, QDir::Name);
    while (logs.size() >= 20)
        QFile::remove(QDir(folder).absoluteFilePath(logs.takeFirst()));
    return QDir(folder).absoluteFilePath(
        QStringLiteral("batch-%1.log").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"))));
}

bool IsNameTaken(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

bool MakeUniqueFilePath(QString &out, const QString &folder, const QString &baseName, const QString &ext)
{
    return FindFreeFilePath(out, folder, baseName, ext, IsNameTaken);
}

bool MakeTgtFilePath(QString &out, const QString &srcFile, const ConvertSettings &settings)
{
    return MakeTgtFilePathIf(out, srcFile, settings, IsNameTaken);
}

QString TranscoderPath()
{
    return HelperProgramPath(HelperProgram::Transcoder);
}

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

QStringList TranscoderReportOptions()
{
    return { QStringLiteral("-nostats"), QStringLiteral("-progress"), QStringLiteral("pipe:1"),
             QStringLiteral("-loglevel"), QStringLiteral("level+info") };
}

ItemConvertResult RunConvertJob(const AVConvertData &data, const QString &transcoder)
{
    qDebug().noquote() << QStringLiteral("ThreadFunction(AVConvertData)");
    ItemConvertResult result;
    result.result = OutcomeFailed;
    if (!data.settings)
        return result;
    const ConvertSettings &settings = *data.settings;

    QString tgtFile;
    TargetReservation reservation;
    switch (reservation.Reserve(tgtFile, data.srcFile, settings)) {
    case Reservation::NoName:
        qWarning().noquote() << QStringLiteral("ThreadFunction(AVConvertData)   MakeTgtFilePath Failed");
        result.reason = Tr("No free target name.");
        return result;
    case Reservation::Busy:
        result.reason = Tr("Another job of this batch writes the target %1.").arg(Native(tgtFile));
        return result;
    case Reservation::Reserved:
        break;
    }

    if (IsCanceled(data)) {
        qWarning().noquote() << QStringLiteral("ThreadFunction(AVConvertData)   Canceled");
        result.result = OutcomeCanceled;
        return result;
    }

    if (!QFileInfo::exists(data.srcFile)) {
        result.reason = Tr("The source file no longer exists.");
        return result;
    }
    if (!QFileInfo::exists(transcoder)) {
        result.reason = Tr("The transcoder %1 was not found.").arg(Native(transcoder));
        return result;
    }
    // Overwrite mode onto a listed source (the job's own, another job's, a hard link or a
    // link to one) would destroy what the user converts from.
    if (TouchesSource(tgtFile, data)) {
        result.reason = Tr("The target %1 would overwrite a source file.").arg(Native(tgtFile));
        return result;
    }

    TemporaryOutput output;
    if (!output.Create(tgtFile)) {
        result.reason = Tr("Cannot write in the folder %1: %2")
                            .arg(Native(QFileInfo(tgtFile).absolutePath()), QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    const JobTempDir tempDir;
    TranscoderRun run;
    RunTranscoder(transcoder, MakeConvertArguments(data.srcFile, settings, output.Path(), tempDir.Path()),
                  output.Path(), data, run);
    if (run.outcome == OutcomeFailed && MayNeedEvenFrame(data.srcFile, settings, run.output.FrameSize())) {
        TranscoderRun evenRun;
        RunTranscoder(transcoder, MakeConvertArguments(data.srcFile, settings, output.Path(), tempDir.Path(), true),
                      output.Path(), data, evenRun);
        if (evenRun.outcome != OutcomeFailed)
            run = evenRun;
    }
    result.result = run.outcome;
    if (run.outcome == OutcomeFailed) {
        result.reason = run.reason;
        if (data.batch)
            data.batch->AppendLog(data.srcFile, run.reason, run.output.KeptErrors());
    }
    if (result.result != OutcomeSucceeded)
        return result;

    bool moved = false;
    const auto moveIntoPlace = [&]() {
        if (settings.exists == 1) {
            // The old file stays whole until this one rename replaces it.
            moved = !TouchesSource(tgtFile, data)
                    && ::rename(QFile::encodeName(output.Path()).constData(), QFile::encodeName(tgtFile).constData()) == 0;
            return;
        }
        // Another process, or the user, may have taken the name meanwhile: take the next free one.
        while (!(moved = RenameNoReplace(output.Path(), tgtFile)) && errno == EEXIST) {
            if (reservation.Reserve(tgtFile, data.srcFile, settings) != Reservation::Reserved)
                return;
        }
    };
    bool committed = true;
    if (data.batch)
        committed = data.batch->CommitUnlessCanceled(moveIntoPlace);
    else
        moveIntoPlace();
    if (!committed) {
        result.result = OutcomeCanceled;
        return result;
    }
    if (!moved) {
        result.result = OutcomeFailed;
        result.reason = Tr("The finished file could not be moved to %1.").arg(Native(tgtFile));
        return result;
    }
    output.Release();
    result.tgtFiles << tgtFile;
    return result;
}

ItemConvertResult ThreadFunction(const AVConvertData &data)
{
    return RunConvertJob(data, TranscoderPath());
}
