#pragma once

#include "convert/batchrunner.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>

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

    void Start();
    // As the window's Cancel: running transcoders end, no file is left, the rest ends "Canceled".
    void Cancel();
    // 0 when every file succeeded, else 1.
    int ExitCode() const;

signals:
    void finished();

private:
    Q_DISABLE_COPY(CliConverter)

    void JobStarted(int index);
    void JobProgress(int index, qint64 doneMs, qint64 totalMs);
    void JobFinished(int index, const ItemConvertResult &result);
    void BatchFinished();
    QString ProgressText(const BatchProgress &progress, int index) const;
    void Print(const QString &line);
    void PrintJson(const QJsonObject &event);
    void Redraw();

    Style style = Style::Plain;
    BatchRunner runner;
    QStringList shownNames;
    QVector<int> shownPercents;
    // Terminal style: the running files' lines at the bottom, redrawn on the timer.
    QTimer redrawTimer;
    int drawnLines = 0;
    QByteArray drawnBlock;
    bool dirty = false;
};
