#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QFileInfo;

using SourceSortKey = std::function<QString(const QFileInfo &)>;

// What "Add Folder" takes from folder and every folder below it: files whose name has a
// dot, symbolic links left out. Ordered stably by key when one is given, else as walked.
QStringList WalkSourceFolder(const QString &folder, const SourceSortKey &key = SourceSortKey(),
                             Qt::SortOrder order = Qt::AscendingOrder);

// The media filter as a file dialog reads it: Qt's dialogs split the patterns of one
// filter at blanks only, so "*.aac;*.ac3" would match no file at all.
QString FileDialogNameFilter(const QString &filter);
