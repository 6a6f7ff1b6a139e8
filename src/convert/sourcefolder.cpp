#include "sourcefolder.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QPair>
#include <QVector>

#include <algorithm>

QStringList WalkSourceFolder(const QString &folder, const SourceSortKey &key, Qt::SortOrder order)
{
    QStringList files;
    QDirIterator it(folder, { QStringLiteral("*.*") }, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
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

