#include "targetformats.h"

QVector<TargetFormat> WritableTargets()
{
    QVector<TargetFormat> formats;
    const AVCodecVetoer vetoer;
    for (int id = 0; id < KRVAVCodecID_Count; ++id) {
        const auto codecID = KRVAVCodecID(id);
        if (!vetoer.IsEnabled(codecID, KRVAVIOType_Output))
            continue;
        for (const QString &extension : KRVAVCodec(codecID).GetExtensions())
            formats.append({ codecID, extension });
    }
    return formats;
}

QString TargetFormatText(const TargetFormat &format)
{
    return KRVAVCodec(format.id).GetName() + QStringLiteral(" (") + format.extension + QLatin1Char(')');
}

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
