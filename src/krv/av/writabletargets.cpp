#include "writabletargets.h"

QVector<TargetFormat> WritableTargets()
{
    QVector<TargetFormat> formats;
    const AVCodecVetoer vetoer;
    for (int id = 0; id < KRVAVCodecID_Count; ++id) {
        const auto codecID = KRVAVCodecID(id);
        if (!vetoer.IsEnabled(codecID, KRVAVIOType_Output))
            continue;
        const QStringList extensions = KRVAVCodec(codecID).GetExtensions();
        for (int k = 0; k < extensions.size(); ++k)
            formats.append({ codecID, extensions.at(k), k });
    }
    return formats;
}

QString TargetFormatText(const TargetFormat &format)
{
    return KRVAVCodec(format.id).GetName() + QStringLiteral(" (") + format.extension + QLatin1Char(')');
}
