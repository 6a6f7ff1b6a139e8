#include "cliconverter.h"

#include "convert/transcoderoutput.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent>

#include <cstdio>
#include <functional>

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

QString ResultName(int result)
{
    switch (result) {
    case OutcomeSucceeded:
        return QStringLiteral("Succeeded");
    case OutcomeFailed:
        return QStringLiteral("Failed");
    default:
        return QStringLiteral("Canceled");
    }
}

} // namespace

CliConverter::CliConverter(const QStringList &sources, const QStringList &shownNames,
                           const ConvertSettings &settings, Style style, QObject *parent)
    : QObject(parent)
    , settings(settings)
    , style(style)
    // Every source of the batch is out of the jobs' reach, as every listed one is in the window.
    , batch(std::make_shared<ConvertBatch>(sources))
{
    for (int i = 0; i < sources.size(); ++i) {
        AVConvertData job;
        job.srcFile = sources.at(i);
        job.settings = &this->settings;
        job.srcRow = i;
        job.batch = batch;
        convertJobs.append(job);
        Job shown;
        shown.shown = shownNames.value(i, sources.at(i));
        jobs.append(shown);
    }
    // The jobs report from the pool; only this object's thread prints.
    batch->progress = [this](int srcRow, qint64 doneMs, qint64 totalMs) {
        QMetaObject::invokeMethod(
            this, [this, srcRow, doneMs, totalMs]() { JobProgress(srcRow, doneMs, totalMs); }, Qt::QueuedConnection);
    };
    batch->logFile = NewBatchLogFile();
    connect(&watcher, &QFutureWatcher<ItemConvertResult>::resultReadyAt, this, &CliConverter::JobFinished);
    connect(&watcher, &QFutureWatcher<ItemConvertResult>::finished, this, &CliConverter::BatchFinished);
    redrawTimer.setInterval(RedrawMs);
    connect(&redrawTimer, &QTimer::timeout, this, [this]() {
        if (dirty)
            Redraw();
    });
}

CliConverter::~CliConverter()
{
    batch->Cancel();
    watcher.waitForFinished();
}

void CliConverter::Start()
{
    // Qt 5's mapped() needs a functor with result_type; std::function has one, a bare lambda does not.
    const std::function<ItemConvertResult(const AVConvertData &)> run = [this](const AVConvertData &data) {
        if (!data.batch->IsCanceled()) {
            const int index = data.srcRow;
            QMetaObject::invokeMethod(this, [this, index]() { JobStarted(index); }, Qt::QueuedConnection);
        }
        return ThreadFunction(data);
    };
    if (style == Style::Terminal)
        redrawTimer.start();
    QThreadPool *pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(BatchThreadCount(convertJobs.size(), pool->maxThreadCount()));
    watcher.setFuture(QtConcurrent::mapped(convertJobs, run));
}

void CliConverter::Cancel()
{
    batch->Cancel();
}

int CliConverter::ExitCode() const
{
    return succeeded == jobs.size() ? 0 : 1;
}

void CliConverter::JobStarted(int index)
{
    Job &job = jobs[index];
    if (job.finished || batch->IsCanceled())
        return;
    job.running = true;
    job.started.start();
    if (style == Style::Json)
        PrintJson({ { QStringLiteral("event"), QStringLiteral("start") }, { QStringLiteral("source"), job.shown } });
    dirty = true;
}

void CliConverter::JobProgress(int index, qint64 doneMs, qint64 totalMs)
{
    Job &job = jobs[index];
    // Late news of a job that has ended, or of a canceled batch, changes nothing.
    if (!job.running || job.finished || batch->IsCanceled())
        return;
    job.doneMs = doneMs;
    job.totalMs = totalMs;
    const int percent = totalMs > 0 ? int(qBound<qint64>(0, doneMs * 100 / totalMs, 99)) : -1;
    dirty = true;
    if (style == Style::Json && percent != job.shownPercent) {
        PrintJson({ { QStringLiteral("event"), QStringLiteral("progress") },
                    { QStringLiteral("source"), job.shown },
                    { QStringLiteral("doneMs"), doneMs },
                    { QStringLiteral("totalMs"), totalMs },
                    { QStringLiteral("percent"), percent } });
        job.shownPercent = percent;
    } else if (style == Style::Plain && percent / 10 > job.shownPercent / 10) {
        // A log needs no line per percent: one each tenth of the way.
        Print(ProgressText(job));
        job.shownPercent = percent;
    }
}

void CliConverter::JobFinished(int index)
{
    if (index < 0 || index >= jobs.size())
        return;
    Job &job = jobs[index];
    job.finished = true;
    job.running = false;
    const ItemConvertResult result = watcher.resultAt(index);
    const QString word = ResultName(result.result);
    const QString target = QDir::toNativeSeparators(result.tgtFiles.value(0));
    switch (result.result) {
    case OutcomeSucceeded:
        ++succeeded;
        break;
    case OutcomeFailed:
        ++failed;
        break;
    default:
        ++canceled;
        break;
    }
    if (style == Style::Json) {
        QJsonObject event{ { QStringLiteral("event"), QStringLiteral("result") },
                           { QStringLiteral("source"), job.shown },
                           { QStringLiteral("result"), word } };
        if (result.result == OutcomeSucceeded)
            event.insert(QStringLiteral("target"), target);
        if (result.result == OutcomeFailed)
            event.insert(QStringLiteral("reason"), result.reason);
        PrintJson(event);
        return;
    }
    if (result.result == OutcomeSucceeded)
        Print(QStringLiteral("Succeeded  %1 -> %2").arg(job.shown, target));
    else if (result.result == OutcomeFailed)
        Print(QStringLiteral("Failed  %1: %2").arg(job.shown, result.reason));
    else
        Print(QStringLiteral("Canceled  %1").arg(job.shown));
}

void CliConverter::BatchFinished()
{
    redrawTimer.stop();
    const QString log = batch->logFile.isEmpty() || !QFileInfo::exists(batch->logFile)
                            ? QString()
                            : QDir::toNativeSeparators(batch->logFile);
    if (style == Style::Json) {
        QJsonObject event{ { QStringLiteral("event"), QStringLiteral("summary") },
                           { QStringLiteral("selected"), jobs.size() },
                           { QStringLiteral("succeeded"), succeeded },
                           { QStringLiteral("failed"), failed },
                           { QStringLiteral("canceled"), canceled } };
        if (!log.isEmpty())
            event.insert(QStringLiteral("log"), log);
        PrintJson(event);
    } else {
        Print(QStringLiteral("Selected Files: %1  Succeeded Files: %2  Failed Files: %3  Canceled Files: %4")
                  .arg(jobs.size())
                  .arg(succeeded)
                  .arg(failed)
                  .arg(canceled));
        if (!log.isEmpty())
            Print(QStringLiteral("Details of the failures: %1").arg(log));
    }
    emit finished();
}

QString CliConverter::ProgressText(const Job &job) const
{
    if (job.totalMs <= 0)
        return QStringLiteral(" -- %  %1").arg(job.shown);
    const double fraction = qBound(0.0, double(job.doneMs) / job.totalMs, 0.99);
    QString text = QStringLiteral("%1 %  %2").arg(int(fraction * 100), 3).arg(job.shown);
    const qint64 elapsedMs = job.started.isValid() ? job.started.elapsed() : 0;
    if (fraction >= 0.01 && elapsedMs >= 2000)
        text += QStringLiteral("  about %1 left").arg(FormatTimeLeft(qint64(elapsedMs * (1 - fraction) / fraction / 1000 + 0.5)));
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
    for (const Job &job : qAsConst(jobs)) {
        if (!job.running || batch->IsCanceled())
            continue;
        block += ProgressText(job).left(width).toLocal8Bit() + '\n';
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
