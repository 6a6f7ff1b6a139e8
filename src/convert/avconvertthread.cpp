#include "avconvertthread.h"

#include "convert/convertsettings.h"
#include "convert/jobjournal.h"
#include "convert/filepath.h"
#include "convert/jobtext.h"
#include "convert/mediaprobe.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
            ::unlink(EncodePath(path).constData());
    }

    bool Create(const QString &tgtFile)
    {
        const QFileInfo target(tgtFile);
        const QString ext = target.suffix().isEmpty() ? QString() : QLatin1Char('.') + target.suffix();
        const QString folder = target.absolutePath();
        // A path that fits under the target's name must fit under the hidden one: the name is
        // shortened where a long folder leaves little room.
        const int room = PATH_MAX - 1 - EncodePath(folder).size() - 1;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString random = QStringLiteral("%1").arg(QRandomGenerator::global()->generate64(), 13, 36, QLatin1Char('0'));
            QString name = QStringLiteral(".reelway-%1-%2%3").arg(::getpid()).arg(random, ext);
            if (EncodePath(name).size() > room)
                name = QStringLiteral(".rw%1%2").arg(random.left(qMax(4, room - 3 - ext.size())), ext);
            const QString candidate = folder + QLatin1Char('/') + name;
            JobJournal::Record(candidate);
            // Created here, exclusively, so the name is this job's alone; the mode is what the
            // transcoder itself would have given the file.
            const int fd = ::open(EncodePath(candidate).constData(),
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
                QStringLiteral("reelway-job-%1").arg(QRandomGenerator::global()->generate64(), 13, 36, QLatin1Char('0')));
            JobJournal::Record(candidate);
            if (::mkdir(EncodePath(candidate).constData(), 0700) == 0)
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
    const QByteArray src = EncodePath(from);
    const QByteArray dst = EncodePath(to);
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

bool IsCanceled(const AVConvertData &data)
{
    return data.batch && data.batch->IsCanceled();
}

// The job's own source is protected even when the job runs outside a batch.
bool TouchesSource(const QString &path, const AVConvertData &data)
{
    return ConvertBatch({ data.srcFile }).IsProtected(path) || (data.batch && data.batch->IsProtected(path));
}

bool ReserveTarget(const AVConvertData &data, TargetReservation &reservation, QString &tgtFile,
                   ItemConvertResult &result)
{
    switch (reservation.Reserve(tgtFile, data.srcFile, *data.settings)) {
    case Reservation::NoName:
        qWarning().noquote() << QStringLiteral("ThreadFunction(AVConvertData)   MakeTgtFilePath Failed");
        result.reason = JobText("No free target name.");
        return false;
    case Reservation::Busy:
        result.reason = JobText("Another job of this batch writes the target %1.").arg(NativePath(tgtFile));
        return false;
    case Reservation::Reserved:
        break;
    }
    return true;
}

bool CheckJobCanStart(const AVConvertData &data, const QString &transcoder, const QString &tgtFile,
                      ItemConvertResult &result)
{
    if (IsCanceled(data)) {
        qWarning().noquote() << QStringLiteral("ThreadFunction(AVConvertData)   Canceled");
        result.result = OutcomeCanceled;
        return false;
    }
    FileIdentity source;
    if (!IdentifyFile(data.srcFile, true, source)) {
        result.reason = JobText("The source file no longer exists.");
        return false;
    }
    if (!QFileInfo::exists(transcoder)) {
        result.reason = JobText("The transcoder %1 was not found.").arg(NativePath(transcoder));
        return false;
    }
    const QByteArray name = EncodePath(QFileInfo(tgtFile).fileName());
    const long nameMax = ::pathconf(EncodePath(QFileInfo(tgtFile).absolutePath()).constData(), _PC_NAME_MAX);
    if (name.size() > (nameMax > 0 ? nameMax : NAME_MAX)) {
        result.reason = JobText("The target name %1 is longer than the file system allows (%2 bytes).")
                            .arg(NativePath(tgtFile)).arg(nameMax > 0 ? nameMax : NAME_MAX);
        return false;
    }
    if (EncodePath(tgtFile).size() >= PATH_MAX) {
        result.reason = JobText("The target path %1 is longer than the file system allows (%2 bytes).")
                            .arg(NativePath(tgtFile)).arg(PATH_MAX - 1);
        return false;
    }
    // Overwrite mode onto a listed source (the job's own, another job's, a hard link or a
    // link to one) would destroy what the user converts from.
    if (TouchesSource(tgtFile, data)) {
        result.reason = JobText("The target %1 would overwrite a source file.").arg(NativePath(tgtFile));
        return false;
    }
    return true;
}

// The transcoder's run into outputFile, and a second one with even frame sizes when the
// first failed for an odd one.
TranscoderRun Transcode(const AVConvertData &data, const ConvertSettings &settings, const MediaInfo &source,
                        const QString &transcoder, const QString &outputFile, const QString &tempDir)
{
    TranscoderRun run;
    RunTranscoder(transcoder, MakeConvertArguments(source, data.srcFile, settings, outputFile, tempDir), outputFile,
                  data, run);
    if (run.outcome == OutcomeFailed && MayNeedEvenFrame(data.srcFile, settings, run.output.FrameSize())) {
        TranscoderRun evenRun;
        RunTranscoder(transcoder, MakeConvertArguments(source, data.srcFile, settings, outputFile, tempDir, true),
                      outputFile, data, evenRun);
        if (evenRun.outcome != OutcomeFailed)
            run = evenRun;
    }
    return run;
}

// What the source holds, read once; a source the prober cannot read is left to the
// transcoder, whose reason is the better one. False when the source cannot become the target.
bool ProbeSource(const AVConvertData &data, MediaInfo &source, ItemConvertResult &result)
{
    QString error;
    const bool probedAhead = data.batch && data.batch->TakeSourceProbe(data.srcRow, data.srcFile, source);
    if (!probedAhead && !ProbeMedia(data.srcFile, source, error, [&data]() { return IsCanceled(data); }))
        source = MediaInfo();
    if (IsCanceled(data)) {
        result.result = OutcomeCanceled;
        return false;
    }
    result.reason = SourceMismatch(source, *data.settings);
    return result.reason.isEmpty();
}

// The file gets a name only once it is proven good: readable, holding what the job meant to
// write, and as long as what the transcoder said it converted. A full disk or a file size
// limit shows here even when the transcoder ended as if all went well.
bool VerifyOutput(const AVConvertData &data, const MediaInfo &source, const TranscoderRun &run,
                  const QString &outputFile, bool log, ItemConvertResult &result)
{
    MediaInfo written;
    QString error;
    if (!ProbeMedia(outputFile, written, error, [&data]() { return IsCanceled(data); })) {
        if (IsCanceled(data)) {
            result.result = OutcomeCanceled;
            return false;
        }
        // FFmpeg writes A64 but cannot read it back.
        if (KRVAVCodecID(data.settings->tgtID) == KRVAVCodecID_A64)
            return true;
        result.reason = JobText("The file written could not be read back: %1").arg(error);
    } else {
        const OutputKinds kinds = ExpectedOutputKinds(source, *data.settings);
        const qint64 doneMs = run.output.DoneMs();
        const qint64 slackMs = qMax<qint64>(500, doneMs / 50);
        if (kinds.video && !written.HasPicture())
            result.reason = JobText("The file written could not be read back: it holds no video.");
        else if (kinds.audio && !written.HasSound())
            result.reason = JobText("The file written could not be read back: it holds no audio.");
        else if (doneMs > 0 && written.durationMs >= 0 && qAbs(written.durationMs - doneMs) > slackMs)
            result.reason = JobText("The file written could not be read back: it holds %1 s of the %2 s converted.")
                                .arg(written.durationMs / 1000.0, 0, 'f', 1)
                                .arg(doneMs / 1000.0, 0, 'f', 1);
        else
            return true;
    }
    result.result = OutcomeFailed;
    if (log && data.batch)
        data.batch->AppendLog(data.srcFile, result.reason, run.output.KeptErrors());
    return false;
}

// One run into outputFile, read back; false with the outcome and its reason in result. Only
// failures that end the job are logged.
bool TranscodeVerified(const AVConvertData &data, const ConvertSettings &settings, const MediaInfo &source,
                       const QString &transcoder, const QString &outputFile, const QString &tempDir, bool log,
                       ItemConvertResult &result)
{
    const TranscoderRun run = Transcode(data, settings, source, transcoder, outputFile, tempDir);
    result.result = run.outcome;
    result.reason.clear();
    if (run.outcome == OutcomeFailed) {
        result.reason = run.reason;
        if (log && data.batch)
            data.batch->AppendLog(data.srcFile, run.reason, run.output.KeptErrors());
    }
    return result.result == OutcomeSucceeded && VerifyOutput(data, source, run, outputFile, log, result);
}

// Gives the finished file its name, unless the batch was canceled first; false with the
// outcome in result when it did not get one.
bool MoveIntoPlace(const AVConvertData &data, TargetReservation &reservation, TemporaryOutput &output,
                   QString &tgtFile, ItemConvertResult &result)
{
    const ConvertSettings &settings = *data.settings;
    bool moved = false;
    const auto move = [&]() {
        if (settings.exists == 1) {
            // The old file stays whole until this one rename replaces it.
            moved = !TouchesSource(tgtFile, data)
                    && ::rename(EncodePath(output.Path()).constData(), EncodePath(tgtFile).constData()) == 0;
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
        committed = data.batch->CommitUnlessCanceled(move);
    else
        move();
    if (!committed) {
        result.result = OutcomeCanceled;
        return false;
    }
    if (!moved) {
        result.result = OutcomeFailed;
        result.reason = JobText("The finished file could not be moved to %1.").arg(NativePath(tgtFile));
        return false;
    }
    output.Release();
    return true;
}

} // namespace

uint qHash(const FileIdentity &id, uint seed)
{
    return ::qHash(qMakePair(id.device, id.inode), seed);
}

bool IdentifyFile(const QString &path, bool followLinks, FileIdentity &out)
{
    const QByteArray name = EncodePath(path);
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

namespace {

// What tells that a file changed between two looks at it.
QString FileStamp(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? QStringLiteral("%1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch())
                         : QString();
}

} // namespace

bool ConvertBatch::KeepSourceProbe(int srcRow, const QString &srcFile, const MediaInfo &info)
{
    const QString stamp = FileStamp(srcFile);
    QMutexLocker locker(&probeMutex);
    if (begun.contains(srcRow) || stamp.isEmpty())
        return false;
    probedAhead.insert(srcRow, { srcFile, stamp, info });
    return true;
}

bool ConvertBatch::TakeSourceProbe(int srcRow, const QString &srcFile, MediaInfo &info)
{
    ProbedAhead ahead;
    {
        QMutexLocker locker(&probeMutex);
        begun.insert(srcRow);
        ahead = probedAhead.take(srcRow);
    }
    if (ahead.file != srcFile || ahead.stamp.isEmpty() || ahead.stamp != FileStamp(srcFile))
        return false;
    info = ahead.info;
    return true;
}

bool ConvertBatch::HasBegun(int srcRow)
{
    QMutexLocker locker(&probeMutex);
    return begun.contains(srcRow);
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

int BatchThreadCount(int jobs, int wanted)
{
    return qBound(1, qMin(jobs, wanted), MaxBatchThreads);
}

ItemConvertResult RunConvertJob(const AVConvertData &data, const QString &transcoder)
{
    qDebug().noquote() << QStringLiteral("ThreadFunction(AVConvertData)");
    ItemConvertResult result;
    result.result = OutcomeFailed;
    if (!data.settings)
        return result;

    QString tgtFile;
    TargetReservation reservation;
    if (!ReserveTarget(data, reservation, tgtFile, result) || !CheckJobCanStart(data, transcoder, tgtFile, result))
        return result;

    auto output = std::make_unique<TemporaryOutput>();
    if (!output->Create(tgtFile)) {
        result.reason = JobText("Cannot write in the folder %1: %2")
                            .arg(NativePath(QFileInfo(tgtFile).absolutePath()),
                                 QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    MediaInfo source;
    if (!ProbeSource(data, source, result))
        return result;
    const JobTempDir tempDir;
    const StreamCopy copy = PlanStreamCopy(source, *data.settings);
    const auto tellCopying = [&data, &copy](bool copying) {
        if (copy.everything && data.batch && data.batch->copying)
            data.batch->copying(data.srcRow, copying);
    };
    tellCopying(true);
    bool done = TranscodeVerified(data, *data.settings, source, transcoder, output->Path(), tempDir.Path(),
                                  !copy.Any(), result);
    // A stream the prober judged fit may still be one the writer refuses or that does not read
    // back whole: the file is then made the ordinary way, once, into a fresh hidden file.
    const bool retry = !done && copy.Any() && result.result == OutcomeFailed && !IsCanceled(data);
    if (retry) {
        qDebug().noquote() << QStringLiteral("ThreadFunction(AVConvertData)   Copy failed, encoding");
        tellCopying(false);
        auto fresh = std::make_unique<TemporaryOutput>();
        if (!fresh->Create(tgtFile))
            return result;
        output = std::move(fresh);
        ConvertSettings encode = *data.settings;
        encode.copyStreams = false;
        done = TranscodeVerified(data, encode, source, transcoder, output->Path(), tempDir.Path(), true, result);
    }
    if (!done)
        return result;
    result.copied = copy.everything && !retry;
    if (MoveIntoPlace(data, reservation, *output, tgtFile, result))
        result.tgtFiles << tgtFile;
    return result;
}

ItemConvertResult ThreadFunction(const AVConvertData &data)
{
    return RunConvertJob(data, TranscoderPath());
}
