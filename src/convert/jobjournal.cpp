#include "convert/jobjournal.h"
#include "convert/filepath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only what the program itself makes is ever removed, whatever a journal says: a journal is
// a file in the user's home that anything could have written. So a leftover must have the
// exact shape of a hidden output or of a job folder, and no link is followed on the way.
const QRegularExpression &HiddenOutputName()
{
    static const QRegularExpression shape(
        QStringLiteral("^(\\.reelway-[0-9]{1,10}-[0-9a-z]{13}|\\.rw[0-9a-z]{4,13})(\\.[0-9A-Za-z]{1,10})?$"));
    return shape;
}

const QRegularExpression &JobFolderName()
{
    static const QRegularExpression shape(QStringLiteral("^reelway-job-[0-9a-z]{13}$"));
    return shape;
}

const QRegularExpression &JournalName()
{
    static const QRegularExpression shape(QStringLiteral("^run-[0-9]{1,10}-[0-9A-Za-z]{6}$"));
    return shape;
}

// A journal before it is locked and given its name; a kill in that gap leaves it empty.
const QRegularExpression &PendingJournalName()
{
    static const QRegularExpression shape(QStringLiteral("^pending-([0-9]{1,10})-[0-9A-Za-z]{6}$"));
    return shape;
}

// A run that is starting holds its pending journal unlocked for a moment only; even a lock
// taken here would make it fail. So one is touched only when it is a few seconds old and its
// process is gone, or when it has waited far longer than any start takes.
void RemoveDeadPendingJournal(const QByteArray &folder, const QString &journal)
{
    const QRegularExpressionMatch match = PendingJournalName().match(journal);
    if (!match.hasMatch())
        return;
    const QByteArray name = folder + '/' + EncodePath(journal);
    struct stat info;
    if (::lstat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    const qint64 pid = match.captured(1).toLongLong();
    const bool dead = pid > INT_MAX || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
    const qint64 age = qint64(::time(nullptr)) - qint64(info.st_mtime);
    if (age < 2 || (!dead && age < 30))
        return;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() && info.st_size == 0
        && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        ::unlink(name.constData());
    ::close(fd);
}

QByteArray RealPath(const QByteArray &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

bool IsOwnRealFolder(const QByteArray &path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

void RemoveLeftover(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    if (!path.startsWith('/') || slash < 0)
        return;
    const QByteArray parent = slash == 0 ? QByteArray("/") : path.left(slash);
    const QString name = QFile::decodeName(path.mid(slash + 1));
    // A parent reached through a link is not where the program wrote.
    if (RealPath(parent) != parent)
        return;
    struct stat info;
    if (::lstat(path.constData(), &info) != 0)
        return;
    if (HiddenOutputName().match(name).hasMatch() && S_ISREG(info.st_mode)) {
        ::unlink(path.constData());
    } else if (JobFolderName().match(name).hasMatch() && S_ISDIR(info.st_mode)
               && parent == RealPath(EncodePath(QDir::tempPath()))) {
        QDir(QFile::decodeName(path)).removeRecursively();
    }
}

struct Journal
{
    QMutex mutex;
    int fd = -1;
    QString path;
};

Journal &TheJournal()
{
    static Journal journal;
    return journal;
}

bool OpenLocked(Journal &journal)
{
    if (journal.fd >= 0)
        return true;
    const QString folder = JobJournal::Folder();
    if (!QDir().mkpath(folder) || !IsOwnRealFolder(EncodePath(folder)))
        return false;
    QByteArray pending = EncodePath(QDir(folder).absoluteFilePath(QStringLiteral("pending-%1-XXXXXX").arg(::getpid())));
    const int fd = ::mkostemp(pending.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // Locked before it gets the name a start looks for, so no start takes it for a dead run's;
    // the lock is held until the process ends, however it ends.
    QByteArray name = EncodePath(QDir(folder).absoluteFilePath(QStringLiteral("run-%1-").arg(::getpid())));
    name += pending.right(6);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(pending.constData(), name.constData()) != 0) {
        ::close(fd);
        ::unlink(pending.constData());
        return false;
    }
    journal.fd = fd;
    journal.path = QFile::decodeName(name);
    return true;
}

bool WriteAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

QString JobJournal::Folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
           + QStringLiteral("/Korvent/Reelway/journal");
}

void JobJournal::Record(const QString &path)
{
    Journal &journal = TheJournal();
    QMutexLocker locker(&journal.mutex);
    if (!OpenLocked(journal))
        return;
    // The folder as the file system has it, so that the clean-up never needs to follow a link;
    // percent-encoded, so that any byte of a name, a line break too, survives.
    QFileInfo info(path);
    QByteArray folder = RealPath(EncodePath(info.absolutePath()));
    if (folder.isEmpty())
        folder = EncodePath(info.absolutePath());
    WriteAll(journal.fd, (folder + '/' + EncodePath(info.fileName())).toPercentEncoding("/") + '\n');
}

int JobJournal::CleanUpDeadRuns()
{
    const QByteArray folder = EncodePath(Folder());
    if (!IsOwnRealFolder(folder))
        return 0;
    const QStringList journals = QDir(Folder()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    int cleaned = 0;
    for (const QString &journal : journals) {
        RemoveDeadPendingJournal(folder, journal);
        if (!JournalName().match(journal).hasMatch())
            continue;
        const QByteArray name = folder + '/' + EncodePath(journal);
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat info;
        // A journal that cannot be locked belongs to a run that is still alive, this one included.
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()
            || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            while (!file.atEnd()) {
                const QByteArray line = file.readLine(64 * 1024).trimmed();
                if (!line.isEmpty())
                    RemoveLeftover(QByteArray::fromPercentEncoding(line));
            }
        }
        ::unlink(name.constData());
        ::close(fd);
        ++cleaned;
    }
    return cleaned;
}

void JobJournal::Close()
{
    Journal &journal = TheJournal();
    QMutexLocker locker(&journal.mutex);
    if (journal.fd < 0)
        return;
    ::unlink(EncodePath(journal.path).constData());
    ::close(journal.fd);
    journal.fd = -1;
    journal.path.clear();
}
