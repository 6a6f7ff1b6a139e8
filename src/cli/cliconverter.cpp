#include "cliconverter.h"

#include "convert/transcoderoutput.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThreadPool>

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int RedrawMs = 100;

void Write(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

int TerminalColumns()
{
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

CliConverter::CliConverter(const QStringList &sources, const QStringList &shownNames,
                           const ConvertSettings &settings, Style style, QObject *parent)
    : QObject(parent)
    , style(style)
    // Every source of the batch is out of the jobs' reach, as every listed one is in the window.
    , runner(sources, {}, settings)
    , shownNames(shownNames)
    , shownPercents(sources.size(), -2)
{
    for (int i = this->shownNames.size(); i < sources.size(); ++i)
        this->shownNames << sources.at(i);
    connect(&runner, &BatchRunner::jobStarted, this, &CliConverter::JobStarted);
    connect(&runner, &BatchRunner::jobProgress, this, &CliConverter::JobProgress);
    connect(&runner, &BatchRunner::jobFinished, this, &CliConverter::JobFinished);
    connect(&runner, &BatchRunner::finished, this, &CliConverter::BatchFinished);
    redrawTimer.setInterval(RedrawMs);
    connect(&redrawTimer, &QTimer::timeout, this, [this]() {
        if (dirty)
            Redraw();
    });
}

void CliConverter::Start()
{
    if (style == Style::Terminal)
        redrawTimer.start();
    runner.Start(QThreadPool::globalInstance()->maxThreadCount());
}

void CliConverter::Cancel()
{
    runner.Cancel();
}

int CliConverter::ExitCode() const
{
    return runner.Counts()[CountSucceeded] == runner.Jobs().size() ? 0 : 1;
}

void CliConverter::JobStarted(int index)
{
    if (style == Style::Json)
        PrintJson({ { QStringLiteral("event"), QStringLiteral("start") }, { QStringLiteral("source"), shownNames.at(index) } });
    dirty = true;
}

void CliConverter::JobProgress(int index, qint64 doneMs, qint64 totalMs)
{
    const int percent = BatchProgress::Percent(doneMs, totalMs);
    int &shown = shownPercents[index];
    dirty = true;
    if (style == Style::Json && percent != shown) {
        PrintJson({ { QStringLiteral("event"), QStringLiteral("progress") },
                    { QStringLiteral("source"), shownNames.at(index) },
                    { QStringLiteral("doneMs"), doneMs },
                    { QStringLiteral("totalMs"), totalMs },
                    { QStringLiteral("percent"), percent } });
        shown = percent;
    } else if (style == Style::Plain && percent / 10 > shown / 10) {
        // A log needs no line per percent: one each tenth of the way.
        Print(ProgressText(runner.Progress(), index));
        shown = percent;
    }
}

void CliConverter::JobFinished(int index, const ItemConvertResult &result)
{
    const QString &shown = shownNames.at(index);
    const QString target = QDir::toNativeSeparators(result.tgtFiles.value(0));
    if (style == Style::Json) {
        QJsonObject event{ { QStringLiteral("event"), QStringLiteral("result") },
                           { QStringLiteral("source"), shown },
                           { QStringLiteral("result"), OutcomeWord(result.result) } };
        if (result.result == OutcomeSucceeded)
            event.insert(QStringLiteral("target"), target);
        if (result.result == OutcomeFailed)
            event.insert(QStringLiteral("reason"), result.reason);
        PrintJson(event);
        return;
    }
    if (result.result == OutcomeSucceeded)
        Print(QStringLiteral("Succeeded  %1 -> %2").arg(shown, target));
    else if (result.result == OutcomeFailed)
        Print(QStringLiteral("Failed  %1: %2").arg(shown, result.reason));
    else
        Print(QStringLiteral("Canceled  %1").arg(shown));
}

void CliConverter::BatchFinished()
{
    redrawTimer.stop();
    const QString log = QDir::toNativeSeparators(runner.LogFile());
    const int *counts = runner.Counts();
    if (style == Style::Json) {
        QJsonObject event{ { QStringLiteral("event"), QStringLiteral("summary") },
                           { QStringLiteral("selected"), counts[CountSelected] },
                           { QStringLiteral("succeeded"), counts[CountSucceeded] },
                           { QStringLiteral("failed"), counts[CountFailed] },
                           { QStringLiteral("canceled"), counts[CountCanceled] } };
        if (!log.isEmpty())
            event.insert(QStringLiteral("log"), log);
        PrintJson(event);
    } else {
        Print(QStringLiteral("Selected Files: %1  Succeeded Files: %2  Failed Files: %3  Canceled Files: %4")
                  .arg(counts[CountSelected])
                  .arg(counts[CountSucceeded])
                  .arg(counts[CountFailed])
                  .arg(counts[CountCanceled]));
        if (!log.isEmpty())
            Print(QStringLiteral("Details of the failures: %1").arg(log));
    }
    emit finished();
}

QString CliConverter::ProgressText(const BatchProgress &progress, int index) const
{
    const BatchProgress::Job &job = progress.jobs.at(index);
    const int percent = BatchProgress::Percent(job.doneMs, job.totalMs);
    if (percent < 0)
        return QStringLiteral(" -- %  %1").arg(shownNames.at(index));
    QString text = QStringLiteral("%1 %  %2").arg(percent, 3).arg(shownNames.at(index));
    const qint64 left = progress.JobSecondsLeft(index);
    if (left >= 0)
        text += QStringLiteral("  about %1 left").arg(FormatTimeLeft(left));
    return text;
}

void CliConverter::Print(const QString &line)
{
    if (style != Style::Terminal) {
        Write(line.toLocal8Bit() + '\n');
        return;
    }
    // Above the running files' lines, which are then drawn again below it.
    QByteArray out;
    if (drawnLines > 0)
        out += "\033[" + QByteArray::number(drawnLines) + "A\r\033[J";
    drawnLines = 0;
    drawnBlock.clear();
    Write(out + line.toLocal8Bit() + '\n');
    Redraw();
}

void CliConverter::PrintJson(const QJsonObject &event)
{
    Write(QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n');
}

void CliConverter::Redraw()
{
    if (style != Style::Terminal)
        return;
    dirty = false;
    // A line longer than the terminal would wrap and throw the count of lines to rewrite.
    const int width = qMax(10, TerminalColumns() - 1);
    QByteArray block;
    int lines = 0;
    const BatchProgress progress = runner.Progress();
    for (int i = 0; i < progress.jobs.size(); ++i) {
        if (progress.jobs.at(i).state != BatchProgress::Running || runner.IsCanceled())
            continue;
        block += ProgressText(progress, i).left(width).toLocal8Bit() + '\n';
        ++lines;
    }
    if (block == drawnBlock && lines == drawnLines)
        return;
    QByteArray out;
    if (drawnLines > 0)
        out += "\033[" + QByteArray::number(drawnLines) + "A\r\033[J";
    drawnLines = lines;
    drawnBlock = block;
    Write(out + block);
}
