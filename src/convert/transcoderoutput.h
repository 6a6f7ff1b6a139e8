#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

// What a job learns from a running transcoder started with "-nostats -progress pipe:1"
// and "-loglevel level+info": its progress on standard output, and on the error stream
// the source's header (duration, frame size) and the messages that explain a failure.
// Output is taken as it comes; of the error stream only the head that holds the header
// and the last part are kept, so a chatty run never piles up memory.
class TranscoderOutput final
{
public:
    static constexpr int KeptErrorBytes = 64 * 1024;

    void AddProgress(const QByteArray &chunk);
    void AddErrors(const QByteArray &chunk);

    // Milliseconds of the source, -1 while unknown or when the source has no duration.
    qint64 DurationMs() const { return durationMs; }
    // Milliseconds of output written so far.
    qint64 DoneMs() const { return doneMs; }
    // The first video stream's frame size as the header gives it; invalid when none.
    QSize FrameSize() const { return frameSize; }
    // The error stream as kept, with a marker where a middle part was left out.
    QByteArray KeptErrors() const;

    // One line that says why the run failed: the first error of a named component, else the
    // first message at error level; empty when the transcoder printed none.
    QString FailureReason() const;
    // Whether any line of the whole error stream, kept or not, was at error level or worse.
    bool SawError() const { return !firstError.isEmpty(); }

private:
    void ScanHeader(const QByteArray &line);

    QByteArray progressLine;
    QByteArray errorLine;
    QByteArray firstError;
    QByteArray headerLine;
    bool headerDone = false;
    QByteArray head;
    QByteArray tail;
    qint64 leftOut = 0;
    qint64 durationMs = -1;
    qint64 doneMs = 0;
    QSize frameSize;
};

// "HH:MM:SS.cc" in milliseconds; -1 for anything else ("N/A").
qint64 ParseClockMs(const QByteArray &text);

// "1:12" or "1:02:03" for a count of seconds.
QString FormatTimeLeft(qint64 seconds);
