#include "convert/filepath.h"

#include <QUrl>

namespace {

constexpr ushort EscapeBase = 0xDC00;

bool IsEscapedByte(QChar c)
{
    return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF;
}

// The length of the valid UTF-8 sequence at bytes[i], 0 when there is none.
int ValidSequenceLength(const QByteArray &bytes, int i)
{
    const auto byte = [&bytes](int at) { return uchar(bytes.at(at)); };
    const uchar lead = byte(i);
    if (lead < 0x80)
        return 1;
    int length = 0;
    uint code = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, code = lead & 0x07;
    else
        return 0;
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not valid UTF-8.
    const uint least[] = { 0, 0, 0x80, 0x800, 0x10000 };
    if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

QByteArray EncodePath(const QString &path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    int start = 0;
    for (int i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsEscapedByte(path.at(i)))
            continue;
        bytes += path.midRef(start, i - start).toUtf8();
        if (i < path.size())
            bytes += char(path.at(i).unicode() - EscapeBase);
        start = i + 1;
    }
    return bytes;
}

QString DecodePath(const QByteArray &bytes)
{
    QString path;
    path.reserve(bytes.size());
    int start = 0;
    for (int i = 0; i < bytes.size();) {
        const int length = ValidSequenceLength(bytes, i);
        if (length > 0) {
            i += length;
            continue;
        }
        path += QString::fromUtf8(bytes.constData() + start, i - start);
        path += QChar(ushort(EscapeBase + uchar(bytes.at(i))));
        start = ++i;
    }
    path += QString::fromUtf8(bytes.constData() + start, bytes.size() - start);
    return path;
}

QString LocalPathFromUrl(const QUrl &url)
{
    if (!url.isLocalFile())
        return url.toLocalFile();
    return DecodePath(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QString ValidFileName(const QString &name)
{
    QString valid = name;
    for (QChar &c : valid) {
        if (IsEscapedByte(c))
            c = QChar::ReplacementCharacter;
    }
    return valid;
}
