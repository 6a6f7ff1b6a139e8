#include "app/mainwindow.h"
#include "convert/convertresultsdlg.h"
#include "dialogs/settingsdlg.h"
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

QStringList Files(const QString &folder)
{
    QStringList files = QDir(folder).entryList(QDir::Files);
    files.sort();
    return files;
}

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
        sources.insert(2, fixture.path("mixed/broken.avi"));
        QVERIFY(TestSupport::WriteBytes(sources.at(2), QByteArray(4096, 'x')));
        const QString out = fixture.path("out #1 \u00fc?");
        QDir().mkpath(out);

        MainWindow w;
        bool noteShown = false, openEnabled = false;
        QString details;
        const QString summary = Convert(w, sources, out, [&](QDialog *dlg) {
            noteShown = dlg->findChild<QLabel *>("noteLabel") != nullptr;
            openEnabled = dlg->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled();
            auto *edit = dlg->findChild<QPlainTextEdit *>("detailsEdit");
            details = edit && !edit->isVisible() ? edit->toPlainText() : QString();
        });
        QCOMPARE(summary, QString("Selected Files: 7\nSucceeded Files: 6\nFailed Files: 1\nCanceled Files: 0"));
        QVERIFY(noteShown && openEnabled);
        // Why it failed: on the row, behind the results' Details, and in full in the batch's log.
        const QString reason = w.srcModel.item(w.srcModel.findItems("broken").value(0)->row(), 4)->toolTip();
        QVERIFY2(reason.contains("Invalid data"), qPrintable(reason));
        QVERIFY2(details.contains(sources.at(2) + ": " + reason), qPrintable(details));
        const QFileInfoList logs = QDir(fixture.path("cache/Korvent/Reelway/logs")).entryInfoList(QDir::Files);
        QCOMPARE(logs.size(), 1);
        QVERIFY(details.contains(logs.first().filePath()));
        QStringList expected;
        for (const QString &name : names) {
            const QString base = QFileInfo(name).completeBaseName();
            QCOMPARE(Statuses(w).value(base), QString("Succeeded"));
            QVERIFY2(!TestSupport::ProbeSize(out + '/' + base + ".mp4").isEmpty(), qPrintable(base));
            expected << base + ".mp4";
        }
        QCOMPARE(Statuses(w).value("broken"), QString("Failed"));
        expected.sort();
        QCOMPARE(Files(out), expected);
        QCOMPARE(Files(fixture.path("mixed")).size(), 7);

        // The target list shows each produced file once, the first one selected.
        QStringList listed;
        for (int row = 0; row < w.tgtModel.rowCount(); ++row) {
            const int index = w.tgtModel.item(row, 4)->data(Qt::UserRole).toInt();
            listed << QFileInfo(w.tgtFiles.at(index)).fileName();
            QCOMPARE(w.tgtModel.item(row, 0)->text() + ".mp4", listed.last());
        }
        listed.sort();
        QCOMPARE(listed, expected);
        QVERIFY(w.tgtSelModel->isRowSelected(0, QModelIndex()) && !w.selTgtFile.isEmpty());
        QVERIFY(w.actPlayTgt->isEnabled());
        QCOMPARE(QSettings("Korvent", "Reelway").value("CSettings/TgtFolder").toString(), out);
    }

    void cancelMidBatch()
    {
        QStringList sources = Sources("cancel", { "a1.mkv", "a2.mkv", "stalled1.mkv", "stalled2.mkv" });
        QCOMPARE(sources.size(), 4);
        sources << fixture.path("cancel/long.mkv");
        QVERIFY(QFile::copy(TestSupport::Clip(30, "320x240"), sources.last()));
        const QString out = fixture.path("cancel out");
        QDir().mkpath(out);
        MainWindow w;
        w.srcView->sortByColumn(0, Qt::AscendingOrder);
        // Cancel once the short jobs are done and the long one shows how far it is.
        bool canceled = false;
        QString label;
        const QRegularExpression percent("^([1-9]\\d?) %$");
        TestSupport::ModalCloser<QProgressDialog> canceler(
            [&](QProgressDialog *dlg) {
                auto *poll = new QTimer(dlg);
                connect(poll, &QTimer::timeout, dlg, [&, dlg, poll] {
                    const QStandardItem *longRow = w.srcModel.findItems("long").value(0);
                    if (w.convertCounts[CountSucceeded] < 2 || !longRow
                        || !percent.match(w.srcModel.item(longRow->row(), 4)->text()).hasMatch())
                        return;
                    poll->stop();
                    canceled = true;
                    label = dlg->labelText();
                    dlg->findChild<QPushButton *>()->click();
                });
                poll->start(20);
            },
            {}, 60000);
        const QString summary = Convert(w, sources, out);
        QVERIFY(canceler.found() && canceled);
        QVERIFY2(label.startsWith("Converting...\n2 of 5 files"), qPrintable(label));
        QCOMPARE(summary, QString("Selected Files: 5\nSucceeded Files: 2\nFailed Files: 0\nCanceled Files: 3"));
        for (int row = 0; row < w.srcModel.rowCount(); ++row) {
            const QString name = w.srcModel.item(row, 0)->text();
            QCOMPARE(w.srcModel.item(row, 4)->text(), QString(name.startsWith('a') ? "Succeeded" : "Canceled"));
            QVERIFY(!w.srcModel.item(row, 0)->icon().isNull());
        }
        QCOMPARE(Files(out), QStringList({ "a1.mp4", "a2.mp4" }));
        QVERIFY(!TestSupport::ProcessRunningWith(out));
    }

    void closeDuringBatchCancels()
    {
        const QStringList sources = Sources("closing", { "stalled.mkv" });
        const QString out = fixture.path("closing out");
        QDir().mkpath(out);
        MainWindow w;
        w.show();
        QTimer poll;
        connect(&poll, &QTimer::timeout, &w, [&] {
            if (TestSupport::ProcessRunningWith(out)) {
                poll.stop();
                w.close();
            }
        });
        poll.start(20);
        QCOMPARE(Convert(w, sources, out),
                 QString("Selected Files: 1\nSucceeded Files: 0\nFailed Files: 0\nCanceled Files: 1"));
        QVERIFY(w.isVisible());
        QCOMPARE(w.srcModel.item(0, 4)->text(), QString("Canceled"));
        QVERIFY(Files(out).isEmpty());
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

    // The effects dialog's choices reach the jobs; with the results report turned off
    // there, no dialog comes up and the counts stay until the next batch.
    void settingsReachTheBatch()
    {
        QDir().mkpath(fixture.path("beside"));
        const QString wide = fixture.path("beside/wide.mkv");
        QVERIFY(QFile::copy(TestSupport::Clip(0.5, "320x240"), wide));
        MainWindow w;
        TestSupport::ModalCloser<SettingsDlg> editor([](SettingsDlg *dlg) {
            for (const char *name : { "wtEnableCheck", "transformEnableCheck", "rotateCheck", "clrEnableCheck",
                                      "noConvertResultsCheck" })
                Find<QCheckBox>(dlg, name)->click();
            Find<QLineEdit>(dlg, "wtContentEdit")->setText("Reelway");
            Find<QSlider>(dlg, "brightnessSlider")->setValue(2);
            Find<QSlider>(dlg, "gammaSlider")->setValue(12);
            Find<QPushButton>(dlg, "okButton")->click();
        });
        w.Settings();
        QVERIFY(editor.found());
        QCOMPARE(Convert(w, { wide }, "Same as source file"), QString("none"));
        QCOMPARE(TestSupport::ProbeSize(fixture.path("beside/wide.mp4")), QString("240x320"));
        QCOMPARE(w.convertCounts[CountSelected], 1);
        QCOMPARE(w.convertCounts[CountSucceeded], 1);
    }
};

QTEST_MAIN(TestBatch)
#include "test_batch.moc"
