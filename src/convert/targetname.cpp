#include "targetname.h"

#include "convert/convertsettings.h"
#include "convert/filepath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>

#include <functional>

#include <sys/stat.h>

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
    // Written under a name that is valid whatever the source was called.
    const QString baseName = ValidFileName(src.completeBaseName());
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

} // namespace

QString JoinFilePath(const QString &folder, const QString &baseName, const QString &ext)
{
    return QDir(folder).absoluteFilePath(baseName + ext);
}

bool IsNameTaken(const QString &path)
{
    struct stat info;
    return ::lstat(EncodePath(path).constData(), &info) == 0;
}

bool MakeUniqueFilePath(QString &out, const QString &folder, const QString &baseName, const QString &ext)
{
    return FindFreeFilePath(out, folder, baseName, ext, IsNameTaken);
}

bool MakeTgtFilePath(QString &out, const QString &srcFile, const ConvertSettings &settings)
{
    return MakeTgtFilePathIf(out, srcFile, settings, IsNameTaken);
}

TargetReservation::~TargetReservation()
{
    Release();
}

Reservation TargetReservation::Reserve(QString &tgtFile, const QString &srcFile, const ConvertSettings &settings)
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

void TargetReservation::Release()
{
    if (key.isEmpty())
        return;
    QMutexLocker locker(&ReservationMutex());
    ReservedTargets().remove(key);
    key.clear();
}
