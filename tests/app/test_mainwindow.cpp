#include "app/mainwindow.h"
#include "app/convertcrashdlg.h"
#include "dialogs/settingsdlg.h"
#include "player/avplayerdlg.h"
#include "testsupport.h"

class TestMainWindow : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    const QFont appFont = QApplication::font();
    static inline const QString NoDialog = QStringLiteral("no dialog");

    QString MakeFile(const QString &relative, qint64 size = 10)
    {
        QFile f(fixture.path("media/" + relative));
        return QDir().mkpath(QFileInfo(f).absolutePath()) && f.open(QIODevice::WriteOnly) && f.resize(size) ? f.fileName() : QString();
    }
    // The status line, then the disabled actions by name.
    static QString State(MainWindow &w)
    {
        QStringList off;
        for (const QAction *a : w.findChildren<QAction *>(QRegularExpression("^act")))
            if (!a->isEnabled())
                off << a->objectName();
        off.sort();
        return w.statusBar()->currentMessage() + "; off: " + off.join(' ');
    }
    // Runs open, which must bring up a modal T, and hands that to close; answers what close read.
    template <typename T>
    static QString Modal(const std::function<void()> &open, const std::function<QString(T *)> &close = Read)
    {
        QString read = NoDialog;
        TestSupport::ModalCloser<T> closer([&](T *dlg) { read = close(dlg); });
        open();
        return read;
    }
    static QString Read(QDialog *dlg)
    {
        dlg->reject();
        return qobject_cast<QMessageBox *>(dlg) ? static_cast<QMessageBox *>(dlg)->text() : dlg->windowTitle();
    }
    // Every row's hidden index must point at that row's own path.
    static void CheckRowIndices(MainWindow &w)
    {
        for (int row = 0; row < w.srcModel.rowCount(); ++row)
            QCOMPARE(QFileInfo(w.srcFiles.value(w.srcModel.item(row, 5)->data(Qt::UserRole).toInt())).completeBaseName(), w.srcModel.item(row, 0)->text());
    }

private slots:
    void init() { TestSupport::ClearSettings(); fixture.urls().clear(); QApplication::setFont(appFont); }

    void addingFiles()
    {
        struct DropWindow : MainWindow { using MainWindow::dropEvent; } w;
        QCOMPARE(State(w), QString("; off: actConvert actOpenTarget actPlaySrc actPlayTgt actRemove actSelectAll"));
        const QString a = MakeFile("add/alpha.avi", 0), b = MakeFile("add/beta.mkv", 1 << 20), c = MakeFile("add/gamma.mp3", 1572864);
        w.AddSrcPaths({ a, b, c, fixture.path("media/add/vanished.avi") }, true);
        QCOMPARE(w.srcModel.item(0, 2)->text() + ", " + w.srcModel.item(2, 2)->text(), QString("0.1 MB, 1.5 MB"));
        QCOMPARE(State(w), QString("3 / 3 source files selected; off: actOpenTarget actPlaySrc actPlayTgt actSelectAll"));
        // A known file again, twice within one choice: selected, not added.
        w.AddSrcPaths({ b, b }, true);
        QCOMPARE(w.selSrcFiles, QStringList({ b }));
        QCOMPARE(State(w), QString("1 / 3 source files selected; off: actPlayTgt"));
        w.srcView->sortByColumn(1, Qt::DescendingOrder);
        // A drop joins the selection; a folder brings the files Add Folder would, a web address nothing.
        const QString d = MakeFile("add/delta.mov"), e = MakeFile("drop/sub/epsilon.mkv");
        QMimeData mime;
        mime.setUrls({ QUrl::fromLocalFile(d), QUrl::fromLocalFile(fixture.path("media/drop")), QUrl("https://x.org/x.avi") });
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        w.dropEvent(&drop);
        QVERIFY(drop.isAccepted() && w.srcFiles == QStringList({ a, b, c, d, e }));
        QCOMPARE(State(w), QString("3 / 5 source files selected; off: actOpenTarget actPlaySrc actPlayTgt"));
        CheckRowIndices(w);
        w.SelectAllSrc(); // from three selected rows to every row
        QCOMPARE(State(w), QString("5 / 5 source files selected; off: actOpenTarget actPlaySrc actPlayTgt actSelectAll"));
    }

    void removeKeepsIndices()
    {
        MainWindow w;
        const QStringList paths = { MakeFile("remove/r1.avi"), MakeFile("remove/r2.avi"), MakeFile("remove/r3.avi"), MakeFile("remove/r4.avi"), MakeFile("remove/r5.avi") };
        w.AddSrcPaths(paths, true);
        w.AddSrcPaths({ paths[1], paths[3] }, true);
        // A header click moves the rows; a batch marks the rows kept in selSrcRows, so they follow.
        w.srcView->sortByColumn(0, Qt::DescendingOrder);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(w.srcModel.item(w.selSrcRows.value(i, -1), 0)->text(), QFileInfo(w.selSrcFiles.at(i)).baseName());
        w.RemoveSrc();
        QCOMPARE(w.srcFiles, QStringList({ paths[0], paths[2], paths[4] }));
        CheckRowIndices(w);
        QCOMPARE(State(w), QString("0 / 3 source files selected; off: actConvert actOpenTarget actPlaySrc actPlayTgt actRemove"));
        // A double-click on a moved row plays that row's own file.
        QVERIFY(Modal<AVPlayerDlg>([&] { w.PlaySrc(w.srcModel.index(2, 0)); }).contains("r1.avi"));
        // Adding after a removal keeps positions unique.
        w.AddSrcPaths({ MakeFile("remove/r6.avi"), paths[1] }, true);
        QCOMPARE(w.srcModel.rowCount(), 5);
        CheckRowIndices(w);
    }

    // Add Folder takes the folder's files, sub-folders included (the walk's rules are checked through
    // reelway-cli, which shares it). Cancelled dialogs then change nothing; the media patterns go
    // one by one, so the file dialog can list media files.
    void addFolderThenCancel()
    {
        const QString root = fixture.path("media/walk");
        const QStringList expected = { MakeFile("walk/sub/deep.mkv"), MakeFile("walk/top.avi") };
        const auto remembered = [&] { return QDir(QSettings("Korvent", "Reelway").value("SourceFolder/Current").toString()).canonicalPath() == QDir(root).canonicalPath(); };
        MainWindow w;
        Modal<QFileDialog>([&] { w.AddSrcFolder(); }, [&](QFileDialog *dlg) { dlg->setDirectory(root); static_cast<QDialog *>(dlg)->done(QDialog::Accepted); return QString(); });
        QVERIFY(w.srcFiles == expected && remembered());
        w.srcSelModel->select(w.srcModel.index(0, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        const QStringList before = w.selSrcFiles;
        const QString filters = Modal<QFileDialog>([&] { w.AddSrcFiles(); }, [](QFileDialog *dlg) { dlg->reject(); return dlg->nameFilters().join('\n'); });
        QVERIFY2(!filters.contains(';') && filters.contains(" *.mp3 *.mp4 *.mpg "), qPrintable(filters));
        QCOMPARE(Modal<QFileDialog>([&] { w.AddSrcFolder(); }), QString("Add Folder"));
        QVERIFY(w.selSrcFiles == before && w.srcFiles.size() == 2 && !w.addingSrc && w.updatesEnabled() && remembered());
    }

    // The target list sorts by its own header, and Play Target follows its selection.
    void targetList()
    {
        MainWindow w;
        w.srcView->sortByColumn(0, Qt::DescendingOrder);
        w.tgtFiles = QStringList{ MakeFile("out/zulu.mp4"), MakeFile("out/alpha.mp4"), fixture.path("media/out/gone.mp4") };
        w.UpdateTgtList();
        QVERIFY(w.tgtModel.rowCount() == 2 && w.tgtModel.item(0, 0)->text() == "alpha" && w.selTgtFile == w.tgtFiles.at(1) && w.actPlayTgt->isEnabled());
        w.tgtSelModel->clearSelection(); QVERIFY(w.selTgtFile.isEmpty() && !w.actPlayTgt->isEnabled());
    }

    void openTargetRules()
    {
        MainWindow w;
        const QString hashFolder = fixture.path("media/C# clips"), questionFolder = fixture.path("media/What?");
        QVERIFY(QDir().mkpath(questionFolder));
        w.AddSrcPaths({ MakeFile("C# clips/a.avi") }, true);
        w.OpenTarget();
        w.AddSrcPaths({ MakeFile("C# clips/b.avi") }, false);
        QVERIFY(!w.actOpenTarget->isEnabled()); // two sources, beside their sources
        w.tgtFolderCmB->setEditText(questionFolder); QVERIFY(w.actOpenTarget->isEnabled());
        w.OpenTarget();
        QCOMPARE(fixture.urls(), QList<QUrl>({ QUrl::fromLocalFile(hashFolder), QUrl::fromLocalFile(questionFolder) }));
        w.tgtFolderCmB->setEditText(QString()); QVERIFY(!w.actOpenTarget->isEnabled());
        const auto open = [&w](const QString &folder) { w.tgtFolderCmB->setEditText(folder); return Modal<QMessageBox>([&w] { w.OpenTarget(); }); };
        const QString missing = fixture.path("media/missing folder");
        QVERIFY(open(missing) == QString("Invalid target folder: \"%1\".").arg(missing) && fixture.urls().size() == 2);
        // A desktop that takes no folder: the user learns which one stayed closed.
        w.openFolderUrl = [](const QUrl &) { return false; };
        QCOMPARE(open(questionFolder), QString("The target folder \"%1\" could not be opened.").arg(questionFolder));
    }

    // Whatever the settings file holds, the window opens at once, with its top-left corner on the
    // 800x600 screen, at most ten stored folders and a valid save mode; no header text is cut.
    // A null place stands for a first run (where on the screen is FitWindowGeometry's, tested
    // on its own: this screen is narrower than the window's minimum).
    void restoresStoredSettings_data()
    {
        QTest::addColumn<int>("points"); QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<QRect>("placed");
        const QString size = "MainWindow/Size", pos = "MainWindow/Position";
        QTest::newRow("first run, 9 pt") << 9 << QVariantMap() << QRect();
        QTest::newRow("first run, 14 pt as at 144 DPI") << 14 << QVariantMap() << QRect();
        QTest::newRow("below the minimum") << 9 << QVariantMap{ { size, QSize(300, 200) }, { pos, QPoint(40, 50) } } << QRect(40, 50, 850, 540);
        QTest::newRow("title bar above the screen, 12 pt") << 12 << QVariantMap{ { size, QSize(860, 500) }, { pos, QPoint(-300, -50) } } << QRect(0, 0, 850, 540);
        QTest::newRow("far off the screen") << 9 << QVariantMap{ { size, QSize(900, 600) }, { pos, QPoint(50000, 50000) } } << QRect();
        QTest::newRow("folder count at INT_MAX, save mode 7") << 9 << QVariantMap{ { "TgtFolder/Count", INT_MAX }, { "TgtFolder/0", "/a" }, { "TgtFolder/1", "/b" }, { "CSettings/Exists", 7 } } << QRect();
    }

    void restoresStoredSettings()
    {
        QFETCH(int, points); QFETCH(QVariantMap, stored); QFETCH(QRect, placed);
        QApplication::setFont(QFont(appFont.family(), points));
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            QSettings("Korvent", "Reelway").setValue(it.key(), it.value());
        MainWindow w;
        w.show(); QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(QRect(w.pos(), w.size()), placed.isNull() ? QRect(w.pos(), w.minimumSize()) : placed);
        // No action behind the tool bar's extension button, and Save Target's longest item whole in its field.
        for (QAction *a : w.mainToolBar->actions())
            QVERIFY2(a->isSeparator() || w.mainToolBar->widgetForAction(a)->isVisible(), qPrintable(a->text()));
        QStyleOptionComboBox box; box.initFrom(w.saveTgtCmB);
        QVERIFY(w.style()->subControlRect(QStyle::CC_ComboBox, &box, QStyle::SC_ComboBoxEditField, w.saveTgtCmB).width()
                >= std::ceil(QFontMetricsF(w.saveTgtCmB->font()).horizontalAdvance("Append with unique number")) + 2);
        QVERIFY(w.screen()->availableGeometry().contains(w.pos()));
        QVERIFY(w.tgtFolderCmB->count() <= 11 && w.tgtFolderCmB->itemText(1) == stored.value("TgtFolder/0").toString()
                && w.tgtFolderCmB->itemText(2) == stored.value("TgtFolder/1").toString());
        w.UpdateConvertSettings();
        QVERIFY(w.saveTgtCmB->currentIndex() == 0 && w.convertSettings.exists == 0);
        for (const QTreeView *view : { w.srcView, w.tgtView })
            for (int c = 0; c < view->header()->count() - 1; ++c)
                QVERIFY2(view->header()->sectionSize(c) >= view->header()->sectionSizeHint(c), qPrintable(view->model()->headerData(c, Qt::Horizontal).toString()));
    }

    // The note names the effects and the chosen target's scaling; a click opens where the first one is set.
    void effectsNote()
    {
        for (const char *key : { "CSettings/Transform", "CSettings/Rotate", "CSettings/Scale" })
            QSettings("Korvent", "Reelway").setValue(key, true);
        MainWindow w;
        QVERIFY2(!w.effectsNote->isHidden() && w.effectsNote->text().contains(">Effects: scale to 768x576, rotate 90\u00b0<"), qPrintable(w.effectsNote->text()));
        const int mp4 = w.tgtFmtCmB->currentIndex(), m4a = w.tgtFmtCmB->findText("(.m4a)", Qt::MatchEndsWith);
        w.tgtFmtCmB->setCurrentIndex(m4a); // sound only: no picture for the rotation
        QVERIFY(m4a >= 0 && w.effectsNote->isHidden());
        w.tgtFmtCmB->setCurrentIndex(mp4);
        QCOMPARE(Modal<SettingsDlg>([&w] { emit w.effectsNote->linkActivated("effects"); }, [](SettingsDlg *dlg) {
            dlg->findChild<QCheckBox *>("transformEnableCheck")->setChecked(false);
            const QString page = dlg->findChild<QTabWidget *>()->tabText(dlg->findChild<QTabWidget *>()->currentIndex());
            dlg->accept();
            return page;
        }), QString("Transform"));
        QVERIFY2(w.effectsNote->text().contains(">Effects: scale to 768x576<"), qPrintable(w.effectsNote->text()));
        QCOMPARE(Modal<QDialog>([&w] { emit w.effectsNote->linkActivated("effects"); }), QString("Format Settings"));
    }

    // A start marks the run unclean and a clean shutdown clears the mark; the crash notice comes
    // after an unclean one. Closing and File > Exit store the place; the first opens the web page, once.
    void startAndClose()
    {
        QVERIFY(!ShouldReportCrash(nullptr)); // first run ever
        QVERIFY(ShouldReportCrash(nullptr)); // a second start while the first still runs
        for (int run = 0; run < 2; ++run) {
            MainWindow w;
            w.show(); w.move(120 + run, 130); w.resize(900, 600);
            if (run == 0) {
                QVERIFY(w.close());
            } else { // as the program quits: inside its event loop
                QTimer::singleShot(0, &w, &MainWindow::Exit);
                QCOMPARE(QApplication::exec(), 0);
            }
            QVERIFY(fixture.urls().size() == 1 && fixture.urls().first().scheme() == "https");
        }
        QSettings store("Korvent", "Reelway");
        QVERIFY(store.value("MainWindow/Size").toSize() == QSize(900, 600) && store.value("MainWindow/Position").toPoint() == QPoint(121, 130) && !ShouldReportCrash(nullptr));
        store.setValue("Settings/ReportCrash", false);
        QVERIFY(!ShouldReportCrash(nullptr)); // unclean, but the user turned the notice off
        store.setValue("Settings/ReportCrash", true);
        MainWindow w;
        w.show();
        QVERIFY(Modal<ConvertCrashDlg>([&w] { ReportCrashIfNeeded(&w); }) != NoDialog);
    }

    // The real program, in this test's settings folders, killed while it runs: its next start
    // finds the run unclean.
    void killedRunIsReported()
    {
        QProcess program;
        program.start(TestSupport::AppDir() + "/reelway", QStringList());
        const auto closed = [] { return QSettings("Korvent", "Reelway").value("MainWindow/Closed"); };
        QTRY_VERIFY_WITH_TIMEOUT(closed().isValid(), 20000);
        program.kill();
        QVERIFY(program.waitForFinished() && !closed().toBool() && QSettings("Korvent", "Plugins").value("FFMPEG").toBool());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
