#include "sourcefolder.h"

#include "convert/filepath.h"

#include <QDir>
#include <QFileInfo>
#include <QPair>
#include <QVector>

#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>

namespace {

// Names are read as bytes, so that one that is not valid UTF-8 is listed, not lost. Hidden
// entries and symbolic links are left out, and folders are walked as soon as they are met.
void Walk(const QByteArray &folder, QStringList &files)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.startsWith('.'))
            continue;
        const QByteArray path = folder + (folder.endsWith('/') ? "" : "/") + name;
        struct stat info;
        if (::lstat(path.constData(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode))
            Walk(path, files);
        else if (S_ISREG(info.st_mode) && name.contains('.'))
            files.append(DecodePath(path));
    }
    ::closedir(dir);
}

} // namespace

QStringList WalkSourceFolder(const QString &folder, const SourceSortKey &key, Qt::SortOrder order)
{
    QStringList files;
    Walk(EncodePath(QDir::cleanPath(folder)), files);
    if (!key)
        return files;

    QVector<QPair<QString, QString>> keyed;
    keyed.reserve(files.size());
    for (const QString &file : qAsConst(files))
        keyed.append({ key(QFileInfo(file)), file });
    std::stable_sort(keyed.begin(), keyed.end(), [order](const auto &a, const auto &b) {
        return order == Qt::AscendingOrder ? a.first < b.first : b.first < a.first;
    });
    files.clear();
    for (const auto &entry : qAsConst(keyed))
        files.append(entry.second);
    return files;
}

// The patterns go blank-separated, the filters themselves still apart by ";;".
QString FileDialogNameFilter(const QString &filter)
{
    QStringList filters = filter.split(QStringLiteral(";;"));
    for (QString &one : filters) {
        const int open = one.indexOf(QLatin1Char('('));
        const int close = one.lastIndexOf(QLatin1Char(')'));
        if (open >= 0 && close > open)
            one = one.left(open + 1) + one.mid(open + 1, close - open - 1).replace(QLatin1Char(';'), QLatin1Char(' ')) + one.mid(close);
        one = one.trimmed();
    }
    return filters.join(QStringLiteral(";;"));
}

