#pragma once

#include "krv/av/avcodec.h"

#include <QString>
#include <QVector>

struct TargetFormat
{
    KRVAVCodecID id = KRVAVCodecID_None;
    QString extension;
};

// The writable catalogue items in the order the window's target format combo lists them,
// an entry once for each of its extensions.
QVector<TargetFormat> WritableTargets();

// "NAME (EXT)", as the combo shows an item.
QString TargetFormatText(const TargetFormat &format);

// text is an extension, with or without its dot, or an item's catalogue name such as a
// device profile's; case does not matter. An extension names the format, not a device
// profile that happens to write it. False when nothing writable matches.
bool FindTargetFormat(const QString &text, TargetFormat &out);
