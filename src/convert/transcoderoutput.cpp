#include "convert/transcoderoutput.h"

#include <QList>
#include <QRegularExpression>

namespace {

constexpr int HeadBytes = 16 * 1024;

// "[libx264 @ 0x55c9] [error] width not divisible by 2" -> "width not divisible by 2"
QByteArray StripTags(QByteArray line)
{
    line = line.trimmed();
    while (line.startsWith('[')) {
        const int end = line.indexOf(']');
        if (end < 0)
            break;
        line = line.mid(end + 1).trimmed();
    }
    return line;
}

bool IsErrorLine(const QByteArray &line)
{
    return line.contains("[error] ") || line.contains("[fatal] ") || line.contains("[panic] ");
}

} // namespace

qint64 ParseClockMs(const QByteArray &text)
{
    const QList<QByteArray> parts = text.trimmed().split(':');
    if (parts.size() != 3)
        return -1;
    bool okH = false, okM = false, okS = false;
    const qint64 hours = parts.at(0).toLongLong(&okH);
    const qint64 minutes = parts.at(1).toLongLong(&okM);
    const double seconds = parts.at(2).toDouble(&okS);
    if (!okH || !okM || !okS || hours < 0 || minutes < 0 || seconds < 0)
        return -1;
    return (hours * 3600 + minutes * 60) * 1000 + qint64(seconds * 1000 + 0.5);
}

QString FormatTimeLeft(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    const qint64 hours = seconds / 3600;
    const QString minSec = QStringLiteral("%1:%2")
                               .arg(hours ? (seconds / 60) % 60 : seconds / 60, hours ? 2 : 1, 10, QLatin1Char('0'))
                               .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours ? QStringLiteral("%1:%2").arg(hours).arg(minSec) : minSec;
}

void TranscoderOutput::AddProgress(const QByteArray &chunk)
{
    progressLine += chunk;
    int start = 0;
    for (int end; (end = progressLine.indexOf('\n', start)) >= 0; start = end + 1) {
        const QByteArray line = progressLine.mid(start, end - start).trimmed();
        // out_time_us is in microseconds; FFmpeg 5.1's out_time_ms is too, despite its name.
        if (line.startsWith("out_time_us=")) {
            bool ok = false;
            const qint64 us = line.mid(12).toLongLong(&ok);
            if (ok && us >= 0)
                doneMs = us / 1000;
        }
    }
    progressLine.remove(0, start);
    if (progressLine.size() > 4096)
        progressLine.clear();
}

void TranscoderOutput::AddErrors(const QByteArray &chunk)
{
    // Every line is looked at, also those that fall out of the kept part: ffmpeg exits 0 after
    // "Error writing trailer" when the disk is full, and only that line tells.
    if (firstError.isEmpty()) {
        errorLine += chunk;
        int start = 0;
        for (int end; firstError.isEmpty() && (end = errorLine.indexOf('\n', start)) >= 0; start = end + 1) {
            const QByteArray line = errorLine.mid(start, end - start);
            if (IsErrorLine(line) && !StripTags(line).isEmpty())
                firstError = StripTags(line);
        }
        errorLine.remove(0, start);
        if (!firstError.isEmpty() || errorLine.size() > HeadBytes)
            errorLine.clear();
    }
    if (!headerDone) {
        headerLine += chunk;
        int start = 0;
        for (int end; !headerDone && (end = headerLine.indexOf('\n', start)) >= 0; start = end + 1)
            ScanHeader(headerLine.mid(start, end - start));
        headerLine.remove(0, start);
        if (headerDone || headerLine.size() > HeadBytes)
            headerLine.clear();
    }

    const int toHead = qMin(chunk.size(), HeadBytes - head.size());
    head += chunk.left(toHead);
    tail += chunk.mid(toHead);
    if (tail.size() > KeptErrorBytes - HeadBytes) {
        const int drop = tail.size() - (KeptErrorBytes - HeadBytes);
        leftOut += drop;
        tail.remove(0, drop);
    }
}

void TranscoderOutput::ScanHeader(const QByteArray &line)
{
    // Only the first input is the source; later inputs are watermark images.
    if (line.contains("Input #1") || line.contains("Output #0") || line.contains("Stream mapping:")) {
        headerDone = true;
        return;
    }
    const int duration = line.indexOf("Duration: ");
    if (duration >= 0 && durationMs < 0) {
        const QByteArray value = line.mid(duration + 10).split(',').value(0);
        durationMs = ParseClockMs(value);
    }
    if (!frameSize.isValid() && line.contains("Stream #0:") && line.contains(": Video: ")) {
        static const QRegularExpression size(QStringLiteral(", (\\d{1,5})x(\\d{1,5})[ ,]"));
        const QRegularExpressionMatch match = size.match(QString::fromUtf8(line));
        if (match.hasMatch())
            frameSize = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    }
}

QByteArray TranscoderOutput::KeptErrors() const
{
    if (leftOut == 0)
        return head + tail;
    return head + "\n[... " + QByteArray::number(leftOut) + " bytes left out ...]\n" + tail;
}

QString TranscoderOutput::FailureReason() const
{
    const QList<QByteArray> lines = (head + '\n' + tail).split('\n');
    // A component's own message ("[libx264 @ 0x..] [error] ...") names the cause; the
    // untagged error lines after it only say what could not go on.
    for (bool tagged : { true, false }) {
        for (const QByteArray &line : lines) {
            if (IsErrorLine(line) && (!tagged || line.contains(" @ 0x")) && !StripTags(line).isEmpty())
                return QString::fromUtf8(StripTags(line));
        }
    }
    // The error line may lie in the part that was left out.
    return QString::fromUtf8(firstError);
}
