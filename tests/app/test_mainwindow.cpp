#include "app/mainwindow.h"
#include "convert/convertcrashdlg.h"
#include "player/avplayerdlg.h"
#include "testsupport.h"

class TestMainWindow : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;

    QString MakeFile(const QString &relative, qint64 size = 10)
    {
        const QString path = fixture.path("media/" + relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(size) ? path : QString();
    }
    static QString Status(MainWindow &w) { return w.statusBar()->currentMessage(); }
    // Every row's hidden index must point at that row's own path.
    static void CheckRowIndices(MainWindow &w)
    {
        for (int row = 0; row < w.srcModel.rowCount(); ++row) {
            const QString path = w.srcFiles.value(w.srcModel.item(row, 5)->data(Qt::UserRole).toInt());
            QCOMPARE(QFileInfo(path).completeBaseName(), w.srcModel.item(row, 0)->text());
        }
    }

private slots:
    void init()
    {
        TestSupport::ClearSettings();
        fixture.urls().clear();
    }

    void actionsFollowTheSelection()
    {
        MainWindow w;
        const QList<QAction *> actions = { w.actSelectAll, w.actRemove, w.actPlaySrc, w.actConvert, w.actPlayTgt,
                                           w.actOpenTarget };
        const auto enabled = [&actions] {
            QString on;
            for (QAction *a : actions)
                on += a->isEnabled() ? '1' : '0';
            return on;
        };
        QCOMPARE(enabled(), QString("000000"));
        w.AddSrcPaths({ MakeFile("rules/a.avi") }, true);
        QCOMPARE(enabled(), QString("011101"));
        w.srcSelModel->clearSelection();
        QCOMPARE(enabled(), QString("100000"));
        w.AddSrcPaths({ MakeFile("rules/b.avi") }, false);
        w.SelectAllSrc();
        QCOMPARE(w.selSrcFiles.size(), 2);
        QCOMPARE(enabled(), QString("010100"));
    }

    void addingFiles()
    {
        MainWindow w;
        const QString a = MakeFile("add/alpha.avi"), b = MakeFile("add/beta.mkv"), c = MakeFile("add/gamma.mp3");
        w.AddSrcPaths({ a, b, c, fixture.path("media/add/vanished.avi") }, true);
        QCOMPARE(w.srcFiles.size(), 3);
        QCOMPARE(Status(w), QString("3 / 3 source files selected"));
        QCOMPARE(w.srcModel.item(0, 0)->text(), QString("alpha"));
        QCOMPARE(w.srcModel.item(1, 1)->text(), QString("MKV"));
        QCOMPARE(w.srcModel.item(0, 3)->text(), QFileInfo(a).absolutePath());
        QCOMPARE(w.srcModel.item(0, 0)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

        // A known file again, twice within one choice: selected, not added.
        w.AddSrcPaths({ b, b }, true);
        QCOMPARE(w.srcFiles.size(), 3);
        QCOMPARE(w.selSrcFiles, QStringList({ b }));
        QCOMPARE(Status(w), QString("1 / 3 source files selected"));
        w.srcView->sortByColumn(1, Qt::DescendingOrder);
        CheckRowIndices(w);

        // A drop joins the selection; a folder is taken as it is, a web address is not.
        struct DropWindow : MainWindow
        {
            using MainWindow::dropEvent;
        } d;
        d.AddSrcPaths({ a, b }, true);
        QMimeData mime;
        mime.setUrls({ QUrl::fromLocalFile(c), QUrl::fromLocalFile(fixture.path("media/add")),
                       QUrl("https://example.org/x.avi") });
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        d.dropEvent(&drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(d.srcFiles, QStringList({ a, b, c, fixture.path("media/add") }));
        QCOMPARE(Status(d), QString("4 / 4 source files selected"));
    }

    void sizeTexts()
    {
        MainWindow w;
        const QList<qint64> sizes = { 0, 104857, 1 << 20, 1572864 };
        for (qint64 size : sizes)
            w.AddSrcPaths({ MakeFile(QString("size/%1.avi").arg(size), size) }, false);
        QStringList texts;
        for (qint64 size : sizes)
            texts << w.srcModel.findItems(QString::number(size)).value(0)->index().siblingAtColumn(2).data().toString();
        QCOMPARE(texts, QStringList({ "0.1 MB", "0.1 MB", "1.0 MB", "1.5 MB" }));
    }

    void removeKeepsIndices()
    {
        MainWindow w;
        QStringList paths;
        for (const char *name : { "r1.avi", "r2.avi", "r3.avi", "r4.avi", "r5.avi" })
            paths << MakeFile(QString("remove/") + name);
        w.AddSrcPaths(paths, true);
        w.srcSelModel->clearSelection();
        for (int row : { 1, 3 })
            w.srcSelModel->select(w.srcModel.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        w.RemoveSrc();
        QCOMPARE(w.srcFiles, QStringList({ paths[0], paths[2], paths[4] }));
        CheckRowIndices(w);
        QVERIFY(w.selSrcFiles.isEmpty() && !w.actRemove->isEnabled());
        QCOMPARE(Status(w), QString("0 / 3 source files selected"));

        // A double-click on a moved row plays that row's own file.
        QString title;
        TestSupport::ModalCloser<AVPlayerDlg> closer([&](AVPlayerDlg *dlg) {
            title = dlg->windowTitle();
            dlg->reject();
        });
        w.PlaySrc(w.srcModel.index(2, 0));
        QVERIFY(closer.found());
        QVERIFY2(title.contains("r5.avi"), qPrintable(title));

        // Adding after a removal keeps positions unique.
        w.AddSrcPaths({ MakeFile("remove/r6.avi"), paths[1] }, true);
        QCOMPARE(w.srcFiles.size(), 5);
        CheckRowIndices(w);
    }

    // Files only, no links, names with a dot, through every sub-folder but not linked ones.
    void folderWalk()
    {
        const QString root = fixture.path("media/walk");
        const QStringList expected = { MakeFile("walk/sub/deeper/deep.mkv"), MakeFile("walk/sub/notes.txt"),
                                       MakeFile("walk/top.avi") };
        MakeFile("walk/sub/README");
        QVERIFY(QFile::link(expected.last(), root + "/link.avi"));
        QVERIFY(QFile::link(fixture.path("media/linked"), root + "/linked-folder.d"));
        MakeFile("linked/inside-link.avi");

        MainWindow w;
        TestSupport::ModalCloser<QFileDialog> closer([&](QFileDialog *dlg) {
            dlg->setDirectory(root);
            static_cast<QDialog *>(dlg)->done(QDialog::Accepted);
        });
        w.AddSrcFolder();
        QVERIFY(closer.found());
        QStringList added = w.srcFiles;
        added.sort();
        QCOMPARE(added, expected);
        QCOMPARE(w.selSrcFiles.size(), 3);
        QCOMPARE(QDir(QSettings("Korvent", "Reelway").value("SourceFolder/Current").toString()).canonicalPath(),
                 QDir(root).canonicalPath());
    }

    void cancelledDialogsChangeNothing()
    {
        MainWindow w;
        w.AddSrcPaths({ MakeFile("cancel/a.avi"), MakeFile("cancel/b.avi") }, true);
        w.srcSelModel->select(w.srcModel.index(0, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        const QStringList before = w.selSrcFiles;
        QStringList filters;
        TestSupport::ModalCloser<QFileDialog> files([&](QFileDialog *dlg) {
            filters = dlg->nameFilters();
            dlg->reject();
        });
        w.AddSrcFiles();
        QVERIFY(files.found());
        // The dialog gets the media patterns one by one, so it can list media files.
        QCOMPARE(filters.size(), 2);
        QCOMPARE(filters.first(), QString("All Files (*.*)"));
        QVERIFY(filters.last().startsWith("Media Files (*.4xm *.aac *.ac3 ") && !filters.last().contains(';'));
        TestSupport::ModalCloser<QFileDialog> folder([](QFileDialog *dlg) { dlg->reject(); });
        w.AddSrcFolder();
        QVERIFY(folder.found());
        QCOMPARE(w.selSrcFiles, before);
        QCOMPARE(w.srcFiles.size(), 2);
        QVERIFY(!w.addingSrc && w.updatesEnabled());
        QVERIFY(!QSettings("Korvent", "Reelway").contains("SourceFolder/Current"));
    }

    void targetControlsPersist()
    {
        QStringList folders;
        {
            MainWindow w;
            QCOMPARE(w.tgtFolderCmB->currentText(), QString("Same as source file"));
            QCOMPARE(w.tgtFmtCmB->currentText(), QString("MP4 (.mp4)"));
            // 62 format items and a separator right after the last device profile.
            QCOMPARE(w.tgtFmtCmB->count(), 63);
            QCOMPARE(w.tgtFmtCmB->itemText(23), QString("Xbox 360 (.mp4)"));
            QVERIFY(!w.tgtFmtCmB->itemData(24).isValid());
            QCOMPARE(w.tgtFmtCmB->itemText(25), QString("3GP2 (.3g2)"));
            for (int i = 0; i < 12; ++i) {
                folders << fixture.path(QString("media/history/f%1").arg(i));
                QDir().mkpath(folders.last());
                w.tgtFolderCmB->addItem(folders.last());
            }
            w.tgtFolderCmB->setCurrentIndex(3);
            w.tgtFmtCmB->setCurrentIndex(w.tgtFmtCmB->findText("MKV (.mka)"));
            w.saveTgtCmB->setCurrentIndex(1);
            w.UpdateConvertSettings();
            QCOMPARE(w.convertSettings.tgtFormat, QString(".mka"));
            QCOMPARE(w.convertSettings.tgtID, 57);
            QCOMPARE(w.convertSettings.exists, 1);
        }
        QSettings store("Korvent", "Reelway");
        QCOMPARE(store.value("TgtFolder/Count").toInt(), 10);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(store.value(QString("TgtFolder/%1").arg(i)).toString(), folders.at(i));
        {
            MainWindow again;
            QCOMPARE(again.tgtFolderCmB->count(), 11);
            QCOMPARE(again.tgtFolderCmB->currentText(), folders.at(2));
            QCOMPARE(again.tgtFmtCmB->currentText(), QString("MKV (.mka)"));
            QCOMPARE(again.saveTgtCmB->currentText(), QString("Overwrite"));
        }
        // A save mode out of range falls back to the first.
        store.setValue("CSettings/Exists", 7);
        MainWindow w;
        QCOMPARE(w.saveTgtCmB->currentIndex(), 0);
        w.UpdateConvertSettings();
        QCOMPARE(w.convertSettings.exists, 0);
    }

    void openTargetRules()
    {
        MainWindow w;
        const QString hashFolder = fixture.path("media/C# clips");
        const QString questionFolder = fixture.path("media/What?");
        QDir().mkpath(questionFolder);
        QVERIFY(!w.actOpenTarget->isEnabled());
        w.AddSrcPaths({ MakeFile("C# clips/a.avi") }, true);
        w.OpenTarget();
        w.AddSrcPaths({ MakeFile("C# clips/b.avi") }, false);
        QVERIFY(!w.actOpenTarget->isEnabled()); // two sources, beside their sources
        w.tgtFolderCmB->setEditText(questionFolder);
        QVERIFY(w.actOpenTarget->isEnabled());
        w.OpenTarget();
        QCOMPARE(fixture.urls(), QList<QUrl>({ QUrl::fromLocalFile(hashFolder), QUrl::fromLocalFile(questionFolder) }));
        w.tgtFolderCmB->setEditText(QString());
        QVERIFY(!w.actOpenTarget->isEnabled());

        const QString missing = fixture.path("media/missing folder");
        w.tgtFolderCmB->setEditText(missing);
        QString message;
        TestSupport::ModalCloser<QMessageBox> closer([&](QMessageBox *box) {
            message = box->text();
            box->accept();
        });
        w.OpenTarget();
        QVERIFY(closer.found());
        QCOMPARE(message, QString("Invalid target folder: \"%1\".").arg(missing));
        QCOMPARE(fixture.urls().size(), 2);
    }

    void formatSettingsButton()
    {
        MainWindow w;
        w.tgtFmtCmB->setCurrentIndex(w.tgtFmtCmB->findText("MP3 (.mp3)"));
        QVERIFY(!w.fmtSettingsBtn->isEnabled());
        w.TgtFmtSettingsClicked();
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        for (const char *item : { "MP4 (.mp4)", "3GP2 (.3g2)", "3GP (.3gp)" }) {
            w.tgtFmtCmB->setCurrentIndex(w.tgtFmtCmB->findText(item));
            QVERIFY(w.fmtSettingsBtn->isEnabled());
            QString title;
            TestSupport::ModalCloser<QDialog> closer([&](QDialog *dlg) {
                title = dlg->windowTitle();
                dlg->reject();
            });
            w.TgtFmtSettingsClicked();
            QVERIFY(closer.found());
            QCOMPARE(title, QString(item).startsWith("MP4") ? QString("Format Settings")
                                                            : QString(item).section(' ', 0, 0) + " Settings");
        }
    }

    // Geometry comes back within the minimum; the first close opens the web page once.
    void geometryAndFirstClose()
    {
        {
            QSettings store("Korvent", "Reelway");
            store.setValue("MainWindow/Size", QSize(300, 200));
            store.setValue("MainWindow/Position", QPoint(40, 50));
        }
        for (int run = 0; run < 2; ++run) {
            MainWindow w;
            QVERIFY(w.width() >= 850 && w.height() >= 540);
            QCOMPARE(w.pos(), run == 0 ? QPoint(40, 50) : QPoint(120, 130));
            w.show();
            w.move(120, 130);
            w.resize(900, 600);
            QVERIFY(w.close());
            QCOMPARE(fixture.urls().size(), 1);
            QCOMPARE(fixture.urls().first().scheme(), QString("https"));
        }
        QCOMPARE(QSettings("Korvent", "Reelway").value("MainWindow/Size").toSize(), QSize(900, 600));
    }

    void crashMark()
    {
        // First run ever: nothing to report, and the run is now marked unclean.
        QVERIFY(!ShouldReportCrash(nullptr));
        QSettings store("Korvent", "Reelway");
        QCOMPARE(store.value("MainWindow/Closed").toBool(), false);
        // A second start while the first still runs sees the unclean mark.
        QVERIFY(ShouldReportCrash(nullptr));
        // A clean shutdown (the window's destructor) clears it.
        { MainWindow w; }
        QVERIFY(!ShouldReportCrash(nullptr));
        // Unclean, but the user turned the notice off.
        store.setValue("Settings/ReportCrash", false);
        QVERIFY(!ShouldReportCrash(nullptr));

        // After an unclean run the notice comes up over the shown window.
        store.setValue("Settings/ReportCrash", true);
        store.setValue("MainWindow/Closed", false);
        MainWindow w;
        w.show();
        TestSupport::ModalCloser<ConvertCrashDlg> closer([](ConvertCrashDlg *dlg) { dlg->reject(); });
        ReportCrashIfNeeded(&w);
        QVERIFY(closer.found());
        QCOMPARE(store.value("MainWindow/Closed").toBool(), false);
    }

    void killedRunIsReported()
    {
        // The real program, in its own settings folders, killed while it runs.
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", scratch.path());
        env.insert("XDG_CONFIG_HOME", scratch.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        const QString conf = scratch.filePath("Korvent/Reelway.conf");
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(TestSupport::AppDir() + "/reelway", QStringList());
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QSettings(conf, QSettings::NativeFormat).contains("MainWindow/Closed"), 20000);
        program.kill();
        QVERIFY(program.waitForFinished());
        QCOMPARE(QSettings(conf, QSettings::NativeFormat).value("MainWindow/Closed").toBool(), false);
        QVERIFY(QSettings(scratch.filePath("Korvent/Plugins.conf"), QSettings::NativeFormat).value("FFMPEG").toBool());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
