#include "testsupport.h"

#include "convert/batchrunner.h"

using Job = BatchProgress::Job;
using Steps = QVector<BatchProgress>;

Q_DECLARE_METATYPE(Steps)

namespace {

Job Waiting() { return {}; }
Job Running(qint64 doneMs, qint64 totalMs, bool copying = false) { return { BatchProgress::Running, doneMs, totalMs, 0, copying }; }
Job Succeeded(qint64 totalMs, bool copying = false) { return { BatchProgress::Succeeded, totalMs, totalMs, 0, copying }; }
Job Failed(qint64 doneMs = 0) { return { BatchProgress::Dropped, doneMs, -1, 0, false }; }
Job NoMedia() { return { BatchProgress::Waiting, 0, -1, 0, false, true }; }

} // namespace

class TestBatchRunner : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;

    ConvertSettings Settings(const QString &folder)
    {
        QDir().mkpath(fixture.path(folder));
        return TestSupport::TargetSettings(fixture.path(folder));
    }

private slots:
    // Recorded batches: every step's bar (per mille) and time left, and once a fifth is done
    // the foreseen end moves by at most half between steps.
    void estimate_data()
    {
        QTest::addColumn<Steps>("steps"); QTest::addColumn<QVector<int>>("permille"); QTest::addColumn<QVector<qint64>>("secondsLeft");
        // Six one-minute files on two threads; the garbage file once made the bar read 16 %
        // and the time 0:11, which then climbed.
        QTest::newRow("garbage fails at once in six")
            << Steps{ { { Failed(), Running(0, -1), Waiting(), Waiting(), Waiting(), Waiting() }, 300 },
                      { { Failed(), Running(30000, 60000), Running(24000, 60000), Waiting(), Waiting(), Waiting() }, 2000 },
                      { { Failed(), Succeeded(60000), Running(54000, 60000), Running(12000, 60000), Waiting(), Waiting() }, 4000 },
                      { { Failed(), Succeeded(60000), Succeeded(60000), Running(48000, 60000), Running(36000, 60000), Waiting() }, 6000 },
                      { { Failed(), Succeeded(60000), Succeeded(60000), Succeeded(60000), Succeeded(60000), Running(30000, 60000) }, 8500 } }
            << QVector<int>{ 0, 180, 420, 680, 900 } << QVector<qint64>{ -1, 9, 6, 3, 1 };
        // A file not yet begun weighs as the known ones on average, and then as its own length.
        QTest::newRow("lengths learned on the way")
            << Steps{ { { Running(10000, 20000), Waiting(), Waiting() }, 2000 },
                      { { Succeeded(20000), Running(10000, 40000), Waiting() }, 4000 },
                      { { Succeeded(20000), Succeeded(40000), Running(10000, 20000) }, 8000 } }
            << QVector<int>{ 167, 333, 875 } << QVector<qint64>{ 10, 8, 1 };
        // A stream copy is done at disk speed: it neither speeds up nor delays the encoders' estimate.
        QTest::newRow("stream copy")
            << Steps{ { { Succeeded(600000, true), Running(20000, 60000), Running(10000, 60000) }, 2000 },
                      { { Succeeded(600000, true), Running(40000, 60000), Running(20000, 60000) }, 4000 } }
            << QVector<int>{ 875, 917 } << QVector<qint64>{ 6, 4 };
        QTest::newRow("a file found to be no media weighs nothing")
            << Steps{ { { Running(30000, 60000), NoMedia(), Waiting() }, 4000 }, { { NoMedia() }, 0 } } << QVector<int>{ 250, 0 } << QVector<qint64>{ 12, -1 };
        QTest::newRow("a failure halfway keeps its spent time")
            << Steps{ { { Failed(30000), Running(30000, 60000) }, 4000 } } << QVector<int>{ 500 } << QVector<qint64>{ 2 };
        QTest::newRow("one file, length unknown")
            << Steps{ { { Running(5000, -1) }, 3000 } } << QVector<int>{ 0 } << QVector<qint64>{ -1 };
        QTest::newRow("too early to tell")
            << Steps{ { { Running(30000, 60000) }, 1500 } } << QVector<int>{ 500 } << QVector<qint64>{ -1 };
    }

    void estimate()
    {
        QFETCH(Steps, steps); QFETCH(QVector<int>, permille); QFETCH(QVector<qint64>, secondsLeft);
        qint64 lastEnd = -1;
        for (int i = 0; i < steps.size(); ++i) {
            const BatchProgress &step = steps.at(i);
            QCOMPARE(qRound(step.Fraction() * 1000), permille.at(i));
            QCOMPARE(step.SecondsLeft(), secondsLeft.at(i));
            const qint64 end = step.elapsedMs + step.SecondsLeft() * 1000;
            if (step.SecondsLeft() >= 0 && step.Fraction() >= 0.2 && lastEnd > 0)
                QVERIFY2(qAbs(end - lastEnd) <= lastEnd / 2, qPrintable(QString::number(i)));
            if (step.SecondsLeft() >= 0)
                lastEnd = end;
        }
        QCOMPARE(BatchProgress::Percent(59999, 60000), 99);
        QCOMPARE(BatchProgress::Percent(60000, 60000), 99);
        QCOMPARE(BatchProgress::Percent(60000, -1), -1);
    }

    // A real batch: each job starts, reports only while it runs and ends once; the counts,
    // reasons, log and produced files are the runner's. The jobs that wait are probed ahead.
    void batch()
    {
        QDir().mkpath(fixture.path("in"));
        const QStringList sources = { fixture.path("in/a.mkv"), fixture.path("in/b.mkv"), fixture.path("in/garbage.avi") };
        QVERIFY(QFile::copy(TestSupport::Clip(2), sources.at(0)) && QFile::copy(TestSupport::Clip(), sources.at(1)));
        QVERIFY(TestSupport::WriteBytes(sources.at(2), QByteArray(4096, 'x')));
        BatchRunner runner(sources, {}, Settings("out"));
        QStringList events;
        connect(&runner, &BatchRunner::jobStarted, this, [&](int i) {
            const Job job = runner.Progress().jobs.at(i);
            events << QString("start %1 %2").arg(i).arg(i == 1 ? job.totalMs > 0 : i == 2 ? job.lengthless : true);
            if (i == 0) // as a job that copies its streams tells its batch
                runner.Jobs().at(0).batch->copying(0, true);
        });
        connect(&runner, &BatchRunner::jobProgress, this, [&](int i) {
            const auto has = [&](const char *what) { return !events.filter(QRegularExpression(QString("^%1 %2 ").arg(what).arg(i))).isEmpty(); };
            if (!has("start") || has("end"))
                events << QString("stray progress %1").arg(i);
        });
        connect(&runner, &BatchRunner::jobFinished, this, [&](int i, const ItemConvertResult &r) { events << QString("end %1 %2").arg(i).arg(OutcomeWord(r.result)); });
        QSignalSpy finished(&runner, &BatchRunner::finished);
        runner.Start(1);
        QVERIFY(finished.wait(60000));
        QVERIFY(runner.Progress().jobs.at(0).copying);
        QVERIFY2(events.filter("stray").isEmpty() && events.filter(QRegularExpression("start . 1")).size() == 3, qPrintable(events.join(", ")));
        events = events.filter("end");
        events.sort();
        QCOMPARE(events, QStringList({ "end 0 Succeeded", "end 1 Succeeded", "end 2 Failed" }));
        QCOMPARE(QVector<int>(runner.Counts(), runner.Counts() + ConvertCountKinds), QVector<int>({ 3, 2, 1, 0 }));
        QStringList targets = runner.Targets();
        targets.sort();
        QCOMPARE(targets, QStringList({ fixture.path("out/a.mp4"), fixture.path("out/b.mp4") }));
        QVERIFY(runner.Failures().size() == 1 && runner.Failures().first().startsWith(sources.at(2) + ": ") && !runner.Result(2).reason.isEmpty());
        QVERIFY(QFileInfo(runner.LogFile()).size() > 0);
        QCOMPARE(finished.size(), 1);
    }

    // A cancel ends every job, running or waiting, as canceled, counted once; nothing is left.
    void cancel()
    {
        QDir().mkpath(fixture.path("stalled"));
        QStringList sources;
        for (const char *name : { "s1.mkv", "s2.mkv", "s3.mkv" }) {
            sources << fixture.path(QString("stalled/") + name);
            QVERIFY(TestSupport::MakeStalledSource(sources.last()));
        }
        BatchRunner runner(sources, {}, Settings("cancel out"));
        QSignalSpy started(&runner, &BatchRunner::jobStarted);
        QVector<int> ended;
        connect(&runner, &BatchRunner::jobFinished, this, [&](int, const ItemConvertResult &r) { ended << r.result; });
        QSignalSpy progress(&runner, &BatchRunner::jobProgress);
        QSignalSpy finished(&runner, &BatchRunner::finished);
        runner.Start(2);
        QTRY_VERIFY_WITH_TIMEOUT(started.size() == 2 && TestSupport::ProcessRunningWith(fixture.path("cancel out")), 20000);
        runner.Cancel();
        const int progressAtCancel = progress.size();
        QVERIFY(finished.wait(20000));
        QCOMPARE(progress.size(), progressAtCancel);
        QCOMPARE(ended, QVector<int>(3, OutcomeCanceled));
        QCOMPARE(QVector<int>(runner.Counts(), runner.Counts() + ConvertCountKinds), QVector<int>({ 3, 0, 0, 3 }));
        QVERIFY(QDir(fixture.path("cancel out")).isEmpty() && !TestSupport::ProcessRunningWith(fixture.path("cancel out")));
    }
};

QTEST_GUILESS_MAIN(TestBatchRunner)
#include "test_batchrunner.moc"
