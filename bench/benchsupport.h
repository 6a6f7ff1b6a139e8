#pragma once

// What the benchmarks share: running a helper program quietly, generated sources, counting.

#include "convert/avconvertthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QVector>

#include <algorithm>
#include <cstdio>

namespace BenchSupport {

// The program discards the jobs' diagnostic lines too; printing them would only add noise.
inline void DropDebugMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
}

inline bool RunProgram(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setWorkingDirectory(QCoreApplication::applicationDirPath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A 640x480 test pattern with a tone of its own, `seconds` long.
inline bool MakeSource(const QString &path, double seconds, int index)
{
    const QString video = QStringLiteral("testsrc2=duration=%1:size=640x480:rate=25").arg(seconds);
    const QString audio = QStringLiteral("sine=frequency=%1:duration=%2").arg(220 + 55 * index).arg(seconds);
    return RunProgram(TranscoderPath(), { "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i", video, "-f", "lavfi",
                                          "-i", audio, "-c:v", "mpeg4", "-q:v", "4", "-c:a", "mp3", path });
}

inline int CountFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files).size();
}

inline double Median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n == 0 ? 0 : n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

} // namespace BenchSupport
