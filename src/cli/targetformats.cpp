#include "targetformats.h"

bool FindTargetFormat(const QString &text, TargetFormat &out)
{
    const QVector<TargetFormat> formats = WritableTargets();
    const QString extension = text.startsWith(QLatin1Char('.')) ? text : QLatin1Char('.') + text;
    for (const TargetFormat &format : formats) {
        if (format.id > KRVAVCodecID_Xbox360 && format.extension.compare(extension, Qt::CaseInsensitive) == 0) {
            out = format;
            return true;
        }
    }
    for (const TargetFormat &format : formats) {
        if (KRVAVCodec(format.id).GetName().compare(text, Qt::CaseInsensitive) == 0) {
            out = format;
            return true;
        }
    }
    return false;
}
