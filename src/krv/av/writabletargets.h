#pragma once

#include "krv/av/avcodec.h"

#include <QString>
#include <QVector>

struct TargetFormat
{
    KRVAVCodecID id = KRVAVCodecID_None;
    QString extension;
    // The extension's position in the entry's own list.
    int extensionIndex = 0;
};

// The writable catalogue items in the order the window's target format combo lists them,
// an entry once for each of its extensions.
QVector<TargetFormat> WritableTargets();

// "NAME (EXT)", as the combo shows an item.
QString TargetFormatText(const TargetFormat &format);
