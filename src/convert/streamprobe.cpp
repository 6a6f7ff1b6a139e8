#include "convert/streamprobe.h"

#include "convert/boundprocess.h"
#include "krv/gen/plugins.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>

namespace {

constexpr int kProbeTimeoutMs = 3000;
constexpr int kFilterTimeoutMs = 1000;

void Release(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(kFilterTimeoutMs);
    }
}

// One probe piped into one filter, started at once and finished later, so that
// the two runs of GetResolution can overlap.
class ProbePipeline
{
public:
    ProbePipeline(const QString &sSourceFile, const QString &sPara)
        : key(sPara)
    {
        const QString program = HelperProgramPath(HelperProgram::Prober);
        probe.setWorkingDirectory(QCoreApplication::applicationDirPath());
        filter.setWorkingDirectory(QCoreApplication::applicationDirPath());
        probe.setStandardOutputProcess(&filter);
        probe.setStandardErrorFile(QProcess::nullDevice());
        // The filter is started together with the probe, as in a shell pipe: a
        // probe whose report outgrows the pipe buffer would otherwise block until
        // it is killed.
        probe.start(program, { QStringLiteral("-i"), sSourceFile, QStringLiteral("-show_streams") }, QIODevice::ReadWrite);
        filter.start(QStringLiteral("grep"), { sPara }, QIODevice::ReadWrite);
    }

    ~ProbePipeline()
    {
        Release(probe);
        Release(filter);
    }

    void Finish(QString &sOutput)
    {
        if (!probe.waitForFinished(kProbeTimeoutMs) || !filter.waitForFinished(kFilterTimeoutMs))
            return;
        ParseFFPROBEOutput(filter.readAllStandardOutput(), key, sOutput);
    }

private:
    Q_DISABLE_COPY(ProbePipeline)
    const QString key;
    BoundProcess probe;
    BoundProcess filter;
};

} // namespace

bool ParseFFPROBEOutput(const QByteArray &output, const QString &sPara, QString &sOutput)
{
    // The text ends at the first NUL byte, as a C string would.
    const QString text = QString::fromUtf8(output.constData(), qstrnlen(output.constData(), uint(output.size())));
    const QString key = sPara + QLatin1Char('=');
    const int at = text.indexOf(key, 0, Qt::CaseSensitive);
    if (at < 0)
        return false;
    const int valueStart = at + key.size();
    if (valueStart >= text.size())
        return false;
    const int lineEnd = text.indexOf(QLatin1Char('\n'), valueStart);
    if (lineEnd <= valueStart)
        return false;
    sOutput = text.mid(valueStart, lineEnd - valueStart);
    return true;
}

bool MakeResolution(const QString &sWidth, const QString &sHeight, QString &sResolutionWidthXHeight)
{
    if (sWidth.isEmpty() || sWidth.startsWith(QLatin1Char('N')) || sHeight.isEmpty() || sHeight.startsWith(QLatin1Char('N')))
        return false;
    sResolutionWidthXHeight = sWidth + QLatin1Char('x') + sHeight;
    return true;
}

void GetFFPROBEOutput(QString sSourceFile, QString sPara, QString &sOutput)
{
    ProbePipeline(sSourceFile, sPara).Finish(sOutput);
}

void GetResolution(QString sSourceFile, QString &sResolutionWidthXHeight)
{
    QString width;
    QString height;
    {
        ProbePipeline widthProbe(sSourceFile, QStringLiteral("width"));
        ProbePipeline heightProbe(sSourceFile, QStringLiteral("height"));
        widthProbe.Finish(width);
        heightProbe.Finish(height);
    }
    MakeResolution(width, height, sResolutionWidthXHeight);
}
