#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QString>

// The words a job uses for the user: its reasons are translated in one context.
inline QString JobText(const char *text)
{
    return QCoreApplication::translate("ConvertJob", text);
}

inline QString NativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// What the window shows of a job whose every stream was copied.
inline QString CopiedNote()
{
    return JobText("copied, not re-encoded");
}
