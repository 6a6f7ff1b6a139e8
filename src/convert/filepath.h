#pragma once

#include <QByteArray>
#include <QString>

class QUrl;

// File names are bytes, and not every name on disk is valid UTF-8 (old disks, camera cards,
// archives). Qt 5 decodes such names lossily, so the program keeps paths in a faithful form:
// each byte that is not part of valid UTF-8 becomes a lone surrogate U+DC80..U+DCFF, and
// EncodePath gives the bytes back exactly. Every call that hands a path to the system goes
// through EncodePath.
QByteArray EncodePath(const QString &path);
QString DecodePath(const QByteArray &bytes);

// The local path of a file URL (a drop), its percent-encoded bytes kept faithfully.
QString LocalPathFromUrl(const QUrl &url);

// name with every byte that was not valid UTF-8 replaced, for a file the program writes.
QString ValidFileName(const QString &name);
