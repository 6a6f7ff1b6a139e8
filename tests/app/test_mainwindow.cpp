#include "app/mainwindow.h"
#include "convert/convertcrashdlg.h"
#include "player/avplayerdlg.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>


class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void layoutAndActions();
    void minimumSize();
    void updateActionsRules();
    void addingFiles();
    void dropJoinsSelection();
    void removeKeepsIndices();
    void sizeTexts();
    void folderWalk();
    void cancelledDialogsChangeNothing();
    void combosOnFreshSettings();
    void folderHistory();
    void formatChoicePersists();
    void saveModeOutOfRange();
    void openTargetRules();
    void formatSettingsButton();
    void firstCloseOpensWebPageOnce();
    void crashMark();
    void killedRunIsReported();

private:
    QString makeFile(const QString &relative, qint64 size = 10);
    QString statusText(MainWindow &w) { return w.statusBar()->currentMessage(); }
    QString rowPath(MainWindow &w, int row)
    {
        const int index = w.srcModel.item(row, 5)->data(Qt::UserRole).toInt();
        return w.srcFiles.at(index);
    }

    QTemporaryDir home;
    QTemporaryDir media;
    TestSupport::UrlCatcher catcher;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(home.isValid());
    QVERIFY(media.isValid());
    TestSupport::IsolateUserDirs(home.path());
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    QDesktopServices::setUrlHandler("file", &catcher, "open");
}

void TestMainWindow::init()
{
    TestSupport::ClearSettings();
    catcher.urls.clear();
}

QString TestMainWindow::makeFile(const QString &relative, qint64 size)
{
    const QString path = media.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    f.resize(size);
    return path;
}

void TestMainWindow::layoutAndActions()
{
    MainWindow w;
    QCOMPARE(w.windowTitle(), QString());
    const QList<QAction *> actions = w.findChildren<QAction *>();
    QStringList texts;
    for (QAction *a : { w.actAddSrcFiles, w.actAddSrcFolder, w.actAddUrl, w.actExit, w.actSelectAll, w.actRemove,
                        w.actPlaySrc, w.actPlayTgt, w.actConvert, w.actOpenTarget, w.actEdit, w.actContactUs,
                        w.actAbout }) {
        QVERIFY(actions.contains(a));
        texts << a->text();
    }
    QCOMPARE(texts, QStringList({ "Add Source(s)", "Add Folder", "Add Url", "E&xit", "Select All", "Remove",
                                  "Play Source", "Play Target", "Convert Source(s)", "Open Target(s)", "Edit",
                                  "Contact Us", "&About" }));
    QCOMPARE(w.actAddSrcFiles->shortcut(), QKeySequence("Alt+A"));
    QCOMPARE(w.actConvert->shortcut(), QKeySequence("Alt+C"));
    QCOMPARE(w.actOpenTarget->shortcut(), QKeySequence("Alt+T"));
    QCOMPARE(w.actAbout->toolTip(), QString("Show the application's  About box"));
    QVERIFY(!w.actAddSrcFiles->icon().isNull());
    QVERIFY(!w.actConvert->icon().isNull());

    const QList<QAction *> menus = w.menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus.at(0)->text(), QString("&File"));
    QCOMPARE(menus.at(1)->text(), QString("&Help"));
    QCOMPARE(w.fileMenu->actions().size(), 13);
    QCOMPARE(w.mainToolBar->actions().size(), 15);
    QVERIFY(!w.mainToolBar->isMovable());
    QCOMPARE(w.mainToolBar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);

    QCOMPARE(w.srcModel.columnCount(), 6);
    QCOMPARE(w.tgtModel.columnCount(), 5);
    QVERIFY(w.srcView->isColumnHidden(5));
    QVERIFY(w.tgtView->isColumnHidden(4));
    QCOMPARE(w.srcModel.headerData(5, Qt::Horizontal, Qt::UserRole).toString(), QString("SourceFileListIndex"));
    QCOMPARE(w.tgtModel.headerData(0, Qt::Horizontal).toString(), QString("Target (Read-Only)"));
    QCOMPARE(w.srcView->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(w.tgtView->selectionMode(), QAbstractItemView::SingleSelection);

    // The permanent label names the product and its version.
    bool found = false;
    for (QLabel *label : w.statusBar()->findChildren<QLabel *>())
        found |= label->text().startsWith("Reelway Video Converter 1.0.4");
    QVERIFY(found);
}

void TestMainWindow::minimumSize()
{
    {
        QSettings store("Korvent", "Reelway");
        store.setValue("MainWindow/Size", QSize(300, 200));
        store.setValue("MainWindow/Position", QPoint(40, 50));
    }
    MainWindow w;
    QCOMPARE(w.minimumSize(), QSize(850, 540));
    QVERIFY(w.width() >= 850);
    QVERIFY(w.height() >= 540);
    QCOMPARE(w.pos(), QPoint(40, 50));
}

void TestMainWindow::updateActionsRules()
{
    MainWindow w;
    QVERIFY(!w.actSelectAll->isEnabled());
    QVERIFY(!w.actRemove->isEnabled());
    QVERIFY(!w.actPlaySrc->isEnabled());
    QVERIFY(!w.actConvert->isEnabled());
    QVERIFY(!w.actPlayTgt->isEnabled());

    const QString a = makeFile("rules/a.avi"), b = makeFile("rules/b.avi");
    w.AddSrcPaths({ a }, true);
    QVERIFY(!w.actSelectAll->isEnabled());
    QVERIFY(w.actPlaySrc->isEnabled());
    w.srcSelModel->clearSelection();
    QVERIFY(w.actSelectAll->isEnabled());
    QVERIFY(!w.actConvert->isEnabled());
    w.AddSrcPaths({ b }, false);
    w.SelectAllSrc();
    QCOMPARE(w.selSrcFiles.size(), 2);
    QVERIFY(!w.actPlaySrc->isEnabled());
    QVERIFY(w.actRemove->isEnabled());
    QVERIFY(w.actConvert->isEnabled());
    QVERIFY(!w.actSelectAll->isEnabled());
}

void TestMainWindow::addingFiles()
{
    MainWindow w;
    const QString a = makeFile("add/alpha.avi"), b = makeFile("add/beta.mkv"), c = makeFile("add/gamma.mp3");
    w.AddSrcPaths({ a, b, c, media.filePath("add/vanished.avi") }, true);
    QCOMPARE(w.srcFiles.size(), 3);
    QCOMPARE(w.selSrcFiles.size(), 3);
    QCOMPARE(statusText(w), QString("3 / 3 source files selected"));
    QCOMPARE(w.srcModel.item(0, 0)->text(), QString("alpha"));
    QCOMPARE(w.srcModel.item(1, 1)->text(), QString("MKV"));
    QCOMPARE(w.srcModel.item(0, 3)->text(), QFileInfo(a).absolutePath());
    QCOMPARE(w.srcModel.item(0, 0)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

    // The same file again, once in a new choice and twice within one choice.
    w.AddSrcPaths({ b, b }, true);
    QCOMPARE(w.srcFiles.size(), 3);
    QCOMPARE(w.selSrcFiles, QStringList({ b }));
    QCOMPARE(statusText(w), QString("1 / 3 source files selected"));

    // Every row's hidden index points at its own path, whatever the sort.
    w.srcView->sortByColumn(1, Qt::DescendingOrder);
    for (int row = 0; row < w.srcModel.rowCount(); ++row)
        QCOMPARE(QFileInfo(rowPath(w, row)).baseName(), w.srcModel.item(row, 0)->text());
}

void TestMainWindow::dropJoinsSelection()
{
    // Drop events sent from outside a real drag never reach the handler, so call it.
    struct DropWindow : MainWindow
    {
        using MainWindow::dropEvent;
    } w;
    const QString a = makeFile("drop/a.avi"), b = makeFile("drop/b.avi"), c = makeFile("drop/c.avi");
    const QString folder = media.filePath("drop/sub");
    QDir().mkpath(folder);
    w.AddSrcPaths({ a, b }, true);
    QCOMPARE(w.selSrcFiles.size(), 2);

    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(c), QUrl::fromLocalFile(folder), QUrl("https://example.org/x.avi") });
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    w.dropEvent(&drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(w.srcFiles.size(), 4);
    QCOMPARE(w.selSrcFiles.size(), 4);
    QVERIFY(w.srcFiles.contains(folder));
    QCOMPARE(statusText(w), QString("4 / 4 source files selected"));
}

void TestMainWindow::removeKeepsIndices()
{
    MainWindow w;
    QStringList paths;
    for (const char *name : { "r1.avi", "r2.avi", "r3.avi", "r4.avi", "r5.avi" })
        paths << makeFile(QString("remove/") + name);
    w.AddSrcPaths(paths, true);
    w.srcSelModel->clearSelection();
    w.srcSelModel->select(w.srcModel.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.srcSelModel->select(w.srcModel.index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(w.selSrcFiles.size(), 2);
    w.RemoveSrc();

    QCOMPARE(w.srcFiles, QStringList({ paths[0], paths[2], paths[4] }));
    QCOMPARE(w.srcModel.rowCount(), 3);
    QList<int> indices;
    for (int row = 0; row < 3; ++row) {
        indices << w.srcModel.item(row, 5)->data(Qt::UserRole).toInt();
        QCOMPARE(QFileInfo(rowPath(w, row)).baseName(), w.srcModel.item(row, 0)->text());
    }
    QCOMPARE(indices, QList<int>({ 0, 1, 2 }));
    QVERIFY(w.selSrcFiles.isEmpty());
    QCOMPARE(statusText(w), QString("0 / 3 source files selected"));
    QVERIFY(!w.actRemove->isEnabled());

    // A double-click on a kept row plays that row's own file.
    for (int row = 0; row < 3; ++row) {
        QString title;
        TestSupport::ModalCloser<AVPlayerDlg> closer([&](AVPlayerDlg *dlg) {
            title = dlg->windowTitle();
            dlg->reject();
        });
        w.PlaySrc(w.srcModel.index(row, 0));
        QVERIFY(closer.found());
        QVERIFY2(title.contains(w.srcModel.item(row, 0)->text() + ".avi"), qPrintable(title));
    }

    // Adding again after a removal keeps positions unique.
    const QString extra = makeFile("remove/r6.avi");
    w.AddSrcPaths({ extra, paths[1] }, true);
    QCOMPARE(w.srcFiles.size(), 5);
    for (int row = 0; row < w.srcModel.rowCount(); ++row)
        QCOMPARE(QFileInfo(rowPath(w, row)).baseName(), w.srcModel.item(row, 0)->text());
}

void TestMainWindow::sizeTexts()
{
    MainWindow w;
    const QString empty = makeFile("size/empty.avi", 0);
    const QString one = makeFile("size/one.avi", 1 << 20);
    const QString half = makeFile("size/half.avi", 1572864);
    const QString tiny = makeFile("size/tiny.avi", 104857);
    w.AddSrcPaths({ empty, one, half, tiny }, true);
    QHash<QString, QString> sizes;
    for (int row = 0; row < w.srcModel.rowCount(); ++row)
        sizes.insert(w.srcModel.item(row, 0)->text(), w.srcModel.item(row, 2)->text());
    QCOMPARE(sizes.value("empty"), QString("0.1 MB"));
    QCOMPARE(sizes.value("one"), QString("1.0 MB"));
    QCOMPARE(sizes.value("half"), QString("1.5 MB"));
    QCOMPARE(sizes.value("tiny"), QString("0.1 MB"));
}

void TestMainWindow::folderWalk()
{
    const QString root = media.filePath("walk");
    const QString top = makeFile("walk/top.avi");
    const QString deep = makeFile("walk/sub/deeper/deep.mkv");
    const QString other = makeFile("walk/sub/notes.txt");
    makeFile("walk/sub/README");
    QVERIFY(QFile::link(top, root + "/link.avi"));
    QVERIFY(QFile::link(media.filePath("add"), root + "/linked-folder.d"));
    makeFile("add/inside-link.avi");

    MainWindow w;
    int shown = 0;
    TestSupport::ModalCloser<QFileDialog> closer([&](QFileDialog *dlg) {
        ++shown;
        dlg->setDirectory(root);
        QMetaObject::invokeMethod(dlg, "accept");
    });
    w.AddSrcFolder();
    QVERIFY(closer.found());
    QCOMPARE(shown, 1);
    QStringList added = w.srcFiles;
    added.sort();
    QStringList expected = { top, deep, other };
    expected.sort();
    QCOMPARE(added, expected);
    QCOMPARE(w.selSrcFiles.size(), 3);
    QSettings store("Korvent", "Reelway");
    QCOMPARE(QDir(store.value("SourceFolder/Current").toString()).canonicalPath(), QDir(root).canonicalPath());
}

void TestMainWindow::cancelledDialogsChangeNothing()
{
    MainWindow w;
    const QString a = makeFile("cancel/a.avi"), b = makeFile("cancel/b.avi");
    w.AddSrcPaths({ a, b }, true);
    w.srcSelModel->select(w.srcModel.index(0, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    const QStringList before = w.selSrcFiles;
    QCOMPARE(before.size(), 1);

    QStringList filters;
    TestSupport::ModalCloser<QFileDialog> filesCloser([&](QFileDialog *dlg) {
        filters = dlg->nameFilters();
        dlg->reject();
    });
    w.AddSrcFiles();
    QVERIFY(filesCloser.found());
    // The dialog gets the media patterns one by one, so it can list media files.
    QCOMPARE(filters.size(), 2);
    QCOMPARE(filters.first(), QString("All Files (*.*)"));
    QVERIFY(filters.last().startsWith("Media Files (*.4xm *.aac *.ac3 "));
    QVERIFY(filters.last().contains(" *.mkv *.mka "));
    QVERIFY(!filters.last().contains(';'));
    TestSupport::ModalCloser<QFileDialog> folderCloser([](QFileDialog *dlg) { dlg->reject(); });
    w.AddSrcFolder();
    QVERIFY(folderCloser.found());

    QCOMPARE(w.selSrcFiles, before);
    QCOMPARE(w.srcFiles.size(), 2);
    QVERIFY(!w.addingSrc);
    QVERIFY(w.updatesEnabled());
    QVERIFY(!QSettings("Korvent", "Reelway").contains("SourceFolder/Current"));
}

void TestMainWindow::combosOnFreshSettings()
{
    MainWindow w;
    QCOMPARE(w.tgtFolderCmB->count(), 1);
    QCOMPARE(w.tgtFolderCmB->currentText(), QString("Same as source file"));
    QCOMPARE(w.tgtFmtCmB->currentText(), QString("MP4 (.mp4)"));
    QCOMPARE(w.tgtFmtCmB->currentData().toInt(), 61);
    QCOMPARE(w.saveTgtCmB->currentText(), QString("Append with unique number"));
    QCOMPARE(w.saveTgtCmB->itemData(1).toInt(), 1);

    // 62 format items and one separator, right after the last device profile.
    QCOMPARE(w.tgtFmtCmB->count(), 63);
    QCOMPARE(w.tgtFmtCmB->itemText(23), QString("Xbox 360 (.mp4)"));
    QVERIFY(!w.tgtFmtCmB->itemData(24).isValid());
    QCOMPARE(w.tgtFmtCmB->itemText(25), QString("3GP2 (.3g2)"));
    const int mka = w.tgtFmtCmB->findText("MKV (.mka)");
    QCOMPARE(w.tgtFmtCmB->itemData(mka).toInt(), (1 << 16) | 57);
    QCOMPARE(w.tgtFmtCmB->findText("4X (.4xm)"), -1);
}

void TestMainWindow::folderHistory()
{
    QStringList folders;
    {
        MainWindow w;
        for (int i = 0; i < 12; ++i) {
            folders << media.filePath(QString("history/f%1").arg(i));
            QDir().mkpath(folders.last());
            w.tgtFolderCmB->addItem(folders.last());
        }
        w.tgtFolderCmB->setCurrentIndex(3);
    }
    QSettings store("Korvent", "Reelway");
    QCOMPARE(store.value("TgtFolder/Count").toInt(), 10);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(store.value(QString("TgtFolder/%1").arg(i)).toString(), folders.at(i));
    QCOMPARE(store.value("MainWindow/Closed").toBool(), true);

    MainWindow again;
    QCOMPARE(again.tgtFolderCmB->count(), 11);
    QCOMPARE(again.tgtFolderCmB->currentText(), folders.at(2));
}

void TestMainWindow::formatChoicePersists()
{
    {
        MainWindow w;
        w.tgtFmtCmB->setCurrentIndex(w.tgtFmtCmB->findText("MKV (.mka)"));
        w.saveTgtCmB->setCurrentIndex(1);
        w.UpdateConvertSettings();
        QCOMPARE(w.convertSettings.tgtFormat, QString(".mka"));
        QCOMPARE(w.convertSettings.tgtID, 57);
        QCOMPARE(w.convertSettings.exists, 1);
    }
    MainWindow again;
    QCOMPARE(again.tgtFmtCmB->currentText(), QString("MKV (.mka)"));
    QCOMPARE(again.saveTgtCmB->currentText(), QString("Overwrite"));
}

void TestMainWindow::saveModeOutOfRange()
{
    QSettings("Korvent", "Reelway").setValue("CSettings/Exists", 7);
    MainWindow w;
    QCOMPARE(w.saveTgtCmB->currentIndex(), 0);
    w.UpdateConvertSettings();
    QCOMPARE(w.convertSettings.exists, 0);
}

void TestMainWindow::openTargetRules()
{
    MainWindow w;
    const QString hashFolder = media.filePath("C# clips");
    const QString questionFolder = media.filePath("What?");
    const QString a = makeFile("C# clips/a.avi"), b = makeFile("C# clips/b.avi");
    QDir().mkpath(questionFolder);

    QVERIFY(!w.actOpenTarget->isEnabled());
    w.AddSrcPaths({ a }, true);
    QVERIFY(w.actOpenTarget->isEnabled());
    w.OpenTarget();
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls.first().toLocalFile(), hashFolder);
    w.AddSrcPaths({ b }, false);
    QCOMPARE(w.selSrcFiles.size(), 2);
    QVERIFY(!w.actOpenTarget->isEnabled());

    w.tgtFolderCmB->setEditText(questionFolder);
    QVERIFY(w.actOpenTarget->isEnabled());
    w.OpenTarget();
    QCOMPARE(catcher.urls.size(), 2);
    QCOMPARE(catcher.urls.last().toLocalFile(), questionFolder);

    w.tgtFolderCmB->setEditText(QString());
    QVERIFY(!w.actOpenTarget->isEnabled());

    const QString missing = media.filePath("missing folder");
    w.tgtFolderCmB->setEditText(missing);
    QString message;
    TestSupport::ModalCloser<QMessageBox> closer([&](QMessageBox *box) {
        message = box->text();
        box->accept();
    });
    w.OpenTarget();
    QVERIFY(closer.found());
    QCOMPARE(message, QString("Invalid target folder: \"%1\".").arg(missing));
    QCOMPARE(catcher.urls.size(), 2);
}

void TestMainWindow::formatSettingsButton()
{
    MainWindow w;
    w.tgtFmtCmB->setCurrentIndex(w.tgtFmtCmB->findText("MP3 (.mp3)"));
    QVERIFY(!w.fmtSettingsBtn->isEnabled());
    w.TgtFmtSettingsClicked();
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    struct Case { const char *item; const char *title; };
    for (const Case &c : { Case{ "MP4 (.mp4)", "Format Settings" }, Case{ "3GP2 (.3g2)", "3GP2 Settings" },
                           Case{ "3GP (.3gp)", "3GP Settings" } }) {
        w.tgtFmtCmB->setCurrentIndex(w.tgtFmtCmB->findText(c.item));
        QVERIFY(w.fmtSettingsBtn->isEnabled());
        QString title;
        TestSupport::ModalCloser<QDialog> closer([&](QDialog *dlg) {
            title = dlg->windowTitle();
            dlg->reject();
        });
        w.TgtFmtSettingsClicked();
        QVERIFY(closer.found());
        QCOMPARE(title, QString(c.title));
    }
}

void TestMainWindow::firstCloseOpensWebPageOnce()
{
    {
        MainWindow w;
        w.show();
        w.move(120, 130);
        w.resize(900, 600);
        QVERIFY(w.close());
    }
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls.first().scheme(), QString("https"));
    QSettings store("Korvent", "Reelway");
    QCOMPARE(store.value("MainWindow/FirstRun").toBool(), false);
    QCOMPARE(store.value("MainWindow/Size").toSize(), QSize(900, 600));
    {
        MainWindow w;
        w.show();
        QVERIFY(w.close());
    }
    QCOMPARE(catcher.urls.size(), 1);
}

void TestMainWindow::crashMark()
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

void TestMainWindow::killedRunIsReported()
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
    program.start(QDir(TestSupport::AppDir()).absoluteFilePath("reelway"), QStringList());
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QSettings(conf, QSettings::NativeFormat).contains("MainWindow/Closed"), 20000);
    QCOMPARE(QSettings(conf, QSettings::NativeFormat).value("MainWindow/Closed").toBool(), false);
    program.kill();
    QVERIFY(program.waitForFinished());
    QCOMPARE(QSettings(conf, QSettings::NativeFormat).value("MainWindow/Closed").toBool(), false);

    QVERIFY(QSettings(scratch.filePath("Korvent/Plugins.conf"), QSettings::NativeFormat).value("FFMPEG").toBool());
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
