#include "app/mainwindow.h"
#include "app/convertresultsdlg.h"
#include "testsupport.h"

using TestSupport::Find;

namespace {

QHash<QString, QString> Statuses(MainWindow &w)
{
    QHash<QString, QString> status;
    for (int row = 0; row < w.srcModel.rowCount(); ++row)
        status.insert(w.srcModel.item(row, 0)->text(), w.srcModel.item(row, 4)->text());
    return status;
}

QStringList Files(const QString &folder) { return QDir(folder).entryList(QDir::Files, QDir::Name); }

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;

    // Copies of the short clip in a new folder; names starting with "stalled" get a source
    // the transcoder never finishes.
    QStringList Sources(const QString &folder, const QStringList &names)
    {
        QDir().mkpath(fixture.path(folder));
        QStringList paths;
        for (const QString &name : names) {
            paths << fixture.path(folder + '/' + name);
            if (!(name.startsWith("stalled") ? TestSupport::MakeStalledSource(paths.last())
                                          : QFile::copy(TestSupport::Clip(), paths.last())))
                return {};
        }
        return paths;
    }

    // Adds and selects the sources, aims at `folder` in MP4, converts, and answers the
    // results dialog's summary ("none" when it did not come up).
    QString Convert(MainWindow &w, const QStringList &sources, const QString &folder,
                    const std::function<void(QDialog *)> &onResults = {})
    {
        w.AddSrcPaths(sources, true);
        w.tgtFolderCmB->setEditText(folder);
        w.tgtFmtCmB->setCurrentIndex(w.tgtFmtCmB->findText("MP4 (.mp4)"));
        QString summary = "none";
        TestSupport::ModalCloser<QDialog> closer(
            [&](QDialog *dlg) {
                summary = Find<QLabel>(dlg, "summaryLabel")->text();
                if (onResults)
                    onResults(dlg);
                dlg->reject();
            },
            [](QDialog *dlg) { return dlg->windowTitle() == "Convert Results"; }, 60000);
        w.Convert();
        return summary;
    }

private slots:
    void init() { TestSupport::ClearSettings(); }

    void mixedBatchWithAwkwardNames()
    {
        const QStringList names = { "my clip.mkv", "it's \"quoted\".mkv", "#1 take.mkv", "-dash.mkv",
                                    "\u00dcn\u00efc\u00f6d\u00e9 \u65e5\u672c.mkv", "100% a:b.mkv" };
        QStringList sources = Sources("mixed", names);
        QCOMPARE(sources.size(), names.size());
        // One whose streams all fit an MP4 as they are: copied, and its row says so.
        QVERIFY(QFile::remove(sources.first()) && TestSupport::RunFfmpeg({ "-i", TestSupport::Clip(), "-c:v", "copy", "-c:a", "aac", sources.first() }));
        sources.insert(2, fixture.path("mixed/broken.avi"));
        QVERIFY(TestSupport::WriteBytes(sources.at(2), QByteArray(4096, 'x')));
        const QString out = fixture.path("out #1 \u00fc?");
        QDir().mkpath(out);

        MainWindow w;
        bool noteAndOpen = false;
        QString details;
        const QString summary = Convert(w, sources, out, [&](QDialog *dlg) {
            noteAndOpen = dlg->findChild<QLabel *>("noteLabel") && dlg->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled();
            if (auto *edit = dlg->findChild<QPlainTextEdit *>("detailsEdit"); edit && !edit->isVisible())
                details = edit->toPlainText();
        });
        QCOMPARE(summary, QString("Selected Files: 7\nSucceeded Files: 6\nFailed Files: 1\nCanceled Files: 0"));
        QVERIFY(noteAndOpen);
        // Why it failed: on the row, behind the results' Details, and in full in the batch's log.
        const QString reason = w.srcModel.item(w.srcModel.findItems("broken").value(0)->row(), 4)->toolTip();
        QVERIFY2(reason.contains("Invalid data") && details.contains(sources.at(2) + ": " + reason), qPrintable(details));
        const QFileInfoList logs = QDir(fixture.path("cache/Korvent/Reelway/logs")).entryInfoList(QDir::Files);
        QVERIFY(logs.size() == 1 && details.contains(logs.first().filePath()));
        QHash<QString, QString> statuses{ { "broken", "Failed" } };
        QStringList expected;
        for (const QString &name : names) {
            statuses.insert(QFileInfo(name).completeBaseName(), "Succeeded");
            expected << QFileInfo(name).completeBaseName() + ".mp4";
            QVERIFY2(!TestSupport::ProbeSize(out + '/' + expected.last()).isEmpty(), qPrintable(name));
        }
        QCOMPARE(Statuses(w), statuses);
        for (const QString name : { "my clip", "#1 take" })
            QCOMPARE(w.srcModel.item(w.srcModel.findItems(name).value(0)->row(), 0)->toolTip(), QString(name == "my clip" ? "copied, not re-encoded" : ""));
        expected.sort();
        QCOMPARE(Files(out), expected);
        QCOMPARE(Files(fixture.path("mixed")).size(), 7);

        // The target list shows each produced file once, the first one selected.
        QStringList listed;
        for (int row = 0; row < w.tgtModel.rowCount(); ++row) {
            listed << QFileInfo(w.tgtFiles.at(w.tgtModel.item(row, 4)->data(Qt::UserRole).toInt())).fileName();
            QCOMPARE(w.tgtModel.item(row, 0)->text() + ".mp4", listed.last());
        }
        listed.sort();
        QCOMPARE(listed, expected);
        QVERIFY(w.tgtSelModel->isRowSelected(0, QModelIndex()) && !w.selTgtFile.isEmpty() && w.actPlayTgt->isEnabled());
        QCOMPARE(QSettings("Korvent", "Reelway").value("CSettings/TgtFolder").toString(), out);
    }

    // Cancel from the progress dialog once the short jobs are done and the long one shows
    // how far it is; or a close request that slips past the modal dialog, which cancels the
    // same way and leaves the window open. Finished rows keep their outcome, no other file is left.
    void cancelMidBatch_data()
    {
        QTest::addColumn<QStringList>("names"); QTest::addColumn<bool>("byClose"); QTest::addColumn<QString>("summary"); QTest::addColumn<QStringList>("produced");
        QTest::newRow("cancel button") << QStringList{ "a1.mkv", "a2.mkv", "stalled1.mkv", "stalled2.mkv", "long.mkv" } << false << "Selected Files: 5\nSucceeded Files: 2\nFailed Files: 0\nCanceled Files: 3" << QStringList{ "a1.mp4", "a2.mp4" };
        QTest::newRow("window closed") << QStringList{ "stalled.mkv" } << true << "Selected Files: 1\nSucceeded Files: 0\nFailed Files: 0\nCanceled Files: 1" << QStringList();
    }

    void cancelMidBatch()
    {
        QFETCH(QStringList, names); QFETCH(bool, byClose); QFETCH(QString, summary); QFETCH(QStringList, produced);
        QStringList sources = Sources(QTest::currentDataTag(), names);
        if (!byClose) // long enough to be seen at work
            QVERIFY(QFile::remove(sources.last()) && QFile::copy(TestSupport::Clip(30, "320x240"), sources.last()));
        const QString out = fixture.path(QTest::currentDataTag() + QString(" out"));
        QDir().mkpath(out);
        MainWindow w;
        w.convertSettings.copyStreams = false; // a copy of "long" ends before it can be seen at work
        w.show();
        QString label;
        const QRegularExpression percent("^([1-9]\\d?) %$");
        const auto ready = [&]() {
            const QStandardItem *longRow = w.srcModel.findItems("long").value(0);
            return byClose ? TestSupport::ProcessRunningWith(out)
                           : w.convertCounts[CountSucceeded] == 2 && longRow && percent.match(w.srcModel.item(longRow->row(), 4)->text()).hasMatch();
        };
        TestSupport::ModalCloser<QProgressDialog> canceler([&](QProgressDialog *dlg) {
            auto *poll = new QTimer(dlg);
            connect(poll, &QTimer::timeout, dlg, [&, dlg, poll] {
                if (!ready())
                    return;
                poll->stop();
                label = dlg->labelText();
                byClose ? void(w.close()) : dlg->findChild<QPushButton *>()->click();
            });
            poll->start(20);
        }, {}, 60000);
        QCOMPARE(Convert(w, sources, out), summary);
        QVERIFY(canceler.found() && !label.isEmpty() && w.isVisible());
        QVERIFY2(byClose || label.startsWith("Converting...\n2 of 5 files"), qPrintable(label));
        for (int row = 0; row < w.srcModel.rowCount(); ++row) {
            QCOMPARE(w.srcModel.item(row, 4)->text(), QString(w.srcModel.item(row, 0)->text().startsWith('a') ? "Succeeded" : "Canceled"));
            QVERIFY(!w.srcModel.item(row, 0)->icon().isNull());
        }
        QCOMPARE(Files(out), produced);
        QVERIFY(!TestSupport::ProcessRunningWith(out));
    }

    void invalidTargetFolder()
    {
        const QStringList sources = Sources("lonely", { "lonely.mkv" });
        MainWindow w;
        for (const QString &folder : { QString(), fixture.path("does not exist") }) {
            QToolTip::hideText();
            QCOMPARE(Convert(w, sources, folder), QString("none"));
            QTRY_VERIFY(QToolTip::isVisible());
            QCOMPARE(QToolTip::text(), QString("Invalid targt folder!"));
        }
        QSettings store("Korvent", "Reelway");
        QVERIFY(!store.childGroups().contains("CSettings") && !store.childGroups().contains("TgtFolder"));
        QCOMPARE(Files(fixture.path("lonely")), QStringList{ "lonely.mkv" });
    }

    // The record's effects reach the jobs; with the results report turned off, no dialog
    // comes up and the counts stay until the next batch.
    void settingsReachTheBatch()
    {
        QDir().mkpath(fixture.path("beside"));
        const QString wide = fixture.path("beside/wide.mkv");
        QVERIFY(QFile::copy(TestSupport::Clip(0.5, "320x240"), wide));
        QSettings("Korvent", "Reelway").setValue("Settings/ReportCResults", false);
        MainWindow w;
        ConvertSettings &s = w.convertSettings;
        s.wtEnable = s.transform = s.rotate = s.clrEnable = true;
        s.wtContent = "Reelway", s.clrB = 0.2, s.clrG = 1.2;
        QCOMPARE(Convert(w, { wide }, "Same as source file"), QString("none"));
        QCOMPARE(TestSupport::ProbeSize(fixture.path("beside/wide.mp4")), QString("240x320"));
        QVERIFY(w.convertCounts[CountSelected] == 1 && w.convertCounts[CountSucceeded] == 1);
    }
};

QTEST_MAIN(TestBatch)
#include "test_batch.moc"
