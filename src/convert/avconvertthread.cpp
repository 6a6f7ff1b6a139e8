#include "avconvertthread.h"

#include "convert/convertsettings.h"

#include <QDir>
#include <QFileInfo>

QString JoinFilePath(const QString &folder, const QString &baseName, const QString &ext)
{
    return QDir(folder).absoluteFilePath(baseName + ext);
}

bool MakeUniqueFilePath(QString &out, const QString &folder, const QString &baseName, const QString &ext)
{
    out.clear();
    const QString plain = JoinFilePath(folder, baseName, ext);
    if (!QFileInfo::exists(plain)) {
        out = plain;
        return true;
    }
    for (int counter = 1; counter <= 9999; ++counter) {
        const QString candidate = JoinFilePath(folder, baseName + QStringLiteral("-%1").arg(counter), ext);
        if (!QFileInfo::exists(candidate)) {
            out = candidate;
            return true;
        }
    }
    return false;
}
