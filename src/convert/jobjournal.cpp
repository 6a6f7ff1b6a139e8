#include "convert/jobjournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Only names the program itself makes are ever removed, whatever a journal says:
// a journal is a file in the user's home that anything could have written.
bool IsOwnTemporaryName(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name.startsWith(QLatin1String(".reelway-")) || name.startsWith(QLatin1String("reelway-job-"));
}

void RemoveLeftover(const QString &path)
{
    if (!QDir::isAbsolutePath(path) || !IsOwnTemporaryName(path))
        return;
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        QDir(path).removeRecursively();
    else if (info.exists() || info.isSymLink())
        QFile::remove(path);
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
    if (!QDir().mkpath(folder))
        return false;
    const QString path = QDir(folder).absoluteFilePath(QStringLiteral("run-%1-XXXXXX").arg(::getpid()));
    QByteArray name = QFile::encodeName(path);
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // Held until the process ends, however it ends: the kernel drops the lock with the process.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        ::unlink(name.constData());
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
    // One line per path; names with a line break cannot be recorded and are never made.
    WriteAll(journal.fd, QFile::encodeName(path) + '\n');
}

int JobJournal::CleanUpDeadRuns()
{
    const QFileInfoList journals =
        QDir(Folder()).entryInfoList({ QStringLiteral("run-*") }, QDir::Files | QDir::Hidden, QDir::Name);
    int cleaned = 0;
    for (const QFileInfo &info : journals) {
        const QByteArray name = QFile::encodeName(info.absoluteFilePath());
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A journal that cannot be locked belongs to a run that is still alive, this one included.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            while (!file.atEnd()) {
                const QByteArray line = file.readLine(64 * 1024).trimmed();
                if (!line.isEmpty())
                    RemoveLeftover(QFile::decodeName(line));
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
    ::unlink(QFile::encodeName(journal.path).constData());
    ::close(journal.fd);
    journal.fd = -1;
    journal.path.clear();
}
