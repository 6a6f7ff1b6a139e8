#pragma once

#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <memory>

class QJsonObject;

// Runs one batch of conversions on the global thread pool, as the window's Convert does, and
// tells the user about it on standard output.
class CliConverter final : public QObject
{
    Q_OBJECT
public:
    // Terminal: progress lines rewritten in place. Plain: lines only. Json: one object per event.
    enum class Style { Terminal, Plain, Json };

    // shownNames: how each source is named in the output, in the order of sources.
    CliConverter(const QStringList &sources, const QStringList &shownNames, const ConvertSettings &settings,
                 Style style, QObject *parent = nullptr);
    ~CliConverter() override;

    void Start();
    // As the window's Cancel: running transcoders end, no file is left, the rest ends "Canceled".
    void Cancel();
    // 0 when every file succeeded, else 1.
    int ExitCode() const;

signals:
    void finished();

private:
    Q_DISABLE_COPY(CliConverter)

    struct Job
    {
        QString shown;
        bool running = false;
        bool finished = false;
        qint64 doneMs = 0;
        qint64 totalMs = -1;
        int shownPercent = -2;
        QElapsedTimer started;
    };

    void JobStarted(int index);
    void JobProgress(int index, qint64 doneMs, qint64 totalMs);
    void JobFinished(int index);
    void BatchFinished();
    QString ProgressText(const Job &job) const;
    void Print(const QString &line);
    void PrintJson(const QJsonObject &event);
    void Redraw();

    ConvertSettings settings;
    Style style = Style::Plain;
    std::shared_ptr<ConvertBatch> batch;
    QVector<AVConvertData> convertJobs;
    QVector<Job> jobs;
    QFutureWatcher<ItemConvertResult> watcher;
    int succeeded = 0;
    int failed = 0;
    int canceled = 0;
    // Terminal style: the running files' lines at the bottom, redrawn on the timer.
    QTimer redrawTimer;
    int drawnLines = 0;
    QByteArray drawnBlock;
    bool dirty = false;
};
