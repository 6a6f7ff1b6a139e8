#include "mainwindow.h"

#include "app/batchnotifier.h"
#include "app/convertcrashdlg.h"
#include "app/convertresultsdlg.h"
#include "convert/filepath.h"
#include "convert/jobtext.h"
#include "convert/preferences.h"
#include "convert/sourcefolder.h"
#include "convert/transcoderoutput.h"
#include "dialogs/settingsdlg.h"
#include "download/avdownloaddlg.h"
#include "krv/av/avcodec.h"
#include "krv/gen/krvaboutdlg.h"
#include "krv/gen/weblinks.h"
#include "player/avplayerdlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QProgressDialog>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>
#include <QThread>

#include <sys/stat.h>

#include <algorithm>

namespace {

const int SrcIndexColumn = SourceListModel::IndexColumn;
const int SrcStatusColumn = SourceListModel::StatusColumn;
const int TgtIndexColumn = 4;

QString SameAsSource()
{
    return QString::fromLatin1(SameAsSourceFile);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    qDebug() << "MainWindow::MainWndow";
    CreateActions();
    CreateMenusAndToolBar();
    CreateViews();
    CreateTargetControls();
    ConnectSignals();
    RestoreGeometry();
    CreateStatusBar();
    setAcceptDrops(true);
    batchNotifier = new BatchNotifier(this);
    LoadSettings();
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath());
}

// After the connections, so that filling the combos already sets the button and
// the action from the initial items.
void MainWindow::LoadSettings()
{
    convertSettings.Load();
    InitTgtFoldersCmB();
    InitTgtFmtCmB();
    InitSaveTgtCmB();
    WidenCombosToItems();
    UpdateActions();
    UpdateEffectsNote();
}

void MainWindow::RestoreGeometry()
{
    setMinimumSize(850, 540);
    // The first run opens wide enough for every tool bar button where the screen allows it.
    const QSize firstRun(std::max(850, mainToolBar->sizeHint().width()), 540);
    const QRect stored = Preferences::WindowGeometry();
    const QScreen *screen = stored.isValid() ? QGuiApplication::screenAt(stored.center()) : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // The window manager's frame is unknown before the window shows: room for a title bar
    // a little taller than a line of text, and thin borders.
    const int title = fontMetrics().height() + 12;
    const QRect available = screen ? screen->availableGeometry().adjusted(0, 0, -8, -title - 4) : QRect();
    const QRect placed = FitWindowGeometry(stored, firstRun, available);
    resize(placed.size());
    move(placed.topLeft());
}

MainWindow::~MainWindow()
{
    qDebug() << "MainWindow::~MainWindow";
    convertJobs.clear();
    SaveTgtFolders();
    UpdateConvertSettings();
    convertSettings.Save();
    Preferences::SetCleanShutdown(true);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    qDebug() << "MainWindow::closeEvent";
    // A close request that slips past the modal progress dialog must not tear
    // the window down under running jobs: cancel the batch the way the user's
    // click would, and let it drain.
    if (convertWatcher.isRunning()) {
        if (convertProgressDlg && convertProgressDlg->isVisible())
            convertProgressDlg->close();
        event->ignore();
        return;
    }
    SaveWindowState();
    QMainWindow::closeEvent(event);
}

void MainWindow::SaveWindowState()
{
    Preferences::SetWindowGeometry(QRect(pos(), size()));
    if (Preferences::FirstRun()) {
        OpenReelwayWebsite();
        Preferences::SetFirstRun(false);
    }
}

void MainWindow::Exit()
{
    qWarning() << "MainWindow::Exit";
    SaveWindowState();
    QCoreApplication::quit();
}

void MainWindow::OpenReelwayWebsite()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(ReelwayWebsite)));
}

void MainWindow::ContactUs()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(ContactWebsite)));
}

void MainWindow::About()
{
    KRVAboutDlg dlg;
    dlg.exec();
}

void MainWindow::Settings()
{
    qDebug() << "MainWindow::Settings";
    SettingsDlg dlg(this, &convertSettings);
    dlg.exec();
    UpdateEffectsNote();
}

bool ShouldReportCrash(MainWindow *window)
{
    Q_UNUSED(window)
    const bool closed = Preferences::CleanShutdown();
    Preferences::SetCleanShutdown(false);
    return !closed && Preferences::ReportCrash();
}

void ReportCrashIfNeeded(MainWindow *window)
{
    if (ShouldReportCrash(window)) {
        ConvertCrashDlg crashDlg;
        crashDlg.exec();
    }
}

const QString &MainWindow::GetSrcFmtFilter()
{
    qDebug() << "MainWindow::GetSrcFmtFilter";
    static bool built = false;
    static QString filter;
    if (!built) {
        AVCodecVetoer vetoer;
        BuildMediaFileFilter(filter, vetoer);
        built = true;
    }
    return filter;
}

void MainWindow::AddSrcFile(const QString &path)
{
    srcModel.Add(path);
}

void MainWindow::AddSrcPaths(const QStringList &paths, bool clearSelection)
{
    addingSrc = true;
    setUpdatesEnabled(false);
    if (clearSelection)
        srcSelModel->clearSelection();
    const int oldCount = srcFiles.size();
    for (const QString &path : paths) {
        if (!path.isEmpty() && QFileInfo::exists(path))
            AddSrcFile(path);
    }
    FinishAdding(oldCount);
}

// The end of every adding frame: one sort, one selection update, one rebuild.
// Rows are selected here rather than one by one in AddSrcFile, which gives the
// same selection without merging thousands of single-row ranges.
void MainWindow::FinishAdding(int oldCount)
{
    if (srcFiles.size() != oldCount)
        srcModel.sort(srcView->header()->sortIndicatorSection(), srcView->header()->sortIndicatorOrder());
    srcSelModel->select(srcModel.TakeMarkedRows(), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    addingSrc = false;
    SrcSelChanged(QItemSelection(), QItemSelection());
    setUpdatesEnabled(true);
}

void MainWindow::AddSrcFiles()
{
    qDebug() << "MainWindow::AddFile";
    addingSrc = true;
    setUpdatesEnabled(false);
    const QStringList files = QFileDialog::getOpenFileNames(this, tr("Add File(s)"), Preferences::SourceFolder(),
                                                            FileDialogNameFilter(GetSrcFmtFilter()));
    if (files.isEmpty()) {
        addingSrc = false;
        setUpdatesEnabled(true);
        return;
    }
    Preferences::SetSourceFolder(QFileInfo(files.first()).absolutePath());
    AddSrcPaths(files, true);
}

void MainWindow::AddSrcFolder()
{
    qDebug() << "MainWindow::AddSrcFolder";
    addingSrc = true;
    setUpdatesEnabled(false);
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Add Folder"), Preferences::SourceFolder(),
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        addingSrc = false;
        setUpdatesEnabled(true);
        return;
    }
    Preferences::SetSourceFolder(folder);
    AddSrcFolderTree(folder);
}

void MainWindow::AddSrcFolderTree(const QString &folder)
{
    // The walk's order is ours to choose. Into an empty list, adding the files
    // in the order the sort will give leaves every row where it was appended,
    // which keeps later removals of thousands of rows fast.
    if (srcModel.rowCount() != 0) {
        AddSrcPaths(WalkSourceFolder(folder), true);
        return;
    }
    const int column = srcView->header()->sortIndicatorSection();
    const SourceSortKey key = [column](const QFileInfo &info) { return SourceListModel::DisplayText(info, column); };
    AddSrcPaths(WalkSourceFolder(folder, key, srcView->header()->sortIndicatorOrder()), true);
}

void MainWindow::AddUrl()
{
    QString path;
    AVDownloadDlg dlg(&path, nullptr);
    dlg.exec();
    if (!path.isEmpty() && QFileInfo::exists(path))
        AddSrcPaths({ path }, true);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    // A folder is no file to convert: it brings what Add Folder would take from it.
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        const QString path = LocalPathFromUrl(url);
        struct stat info;
        // Through the name's own bytes: Qt's file info misses a folder whose name is not UTF-8.
        if (!path.isEmpty() && ::stat(EncodePath(path).constData(), &info) == 0 && S_ISDIR(info.st_mode))
            paths += WalkSourceFolder(path);
        else
            paths.append(path);
    }
    AddSrcPaths(paths, false);
    event->acceptProposedAction();
}

void MainWindow::RemoveSrc()
{
    qDebug() << "MainWindow::RemoveSrc";
    setUpdatesEnabled(false);
    // The selection shrinks run by run; the mirrors are rebuilt once, at the end.
    removingSrc = true;
    srcModel.Remove(srcSelModel->selectedRows(0));
    removingSrc = false;
    SrcSelChanged(QItemSelection(), QItemSelection());
    setUpdatesEnabled(true);
}

void MainWindow::SelectAllSrc()
{
    qDebug() << "MainWindow::SelectAllSrc";
    srcView->selectAll();
}

void MainWindow::SrcSelChanged(const QItemSelection &refSelected, const QItemSelection &refDeselected)
{
    Q_UNUSED(refSelected)
    Q_UNUSED(refDeselected)
    qDebug() << "MainWindow::SrcSelChanged";
    if (addingSrc || removingSrc)
        return;
    srcModel.Mirror(*srcSelModel, selSrcFiles, selSrcRows);
    UpdateActions();
    UpdateStatusBar();
}

void MainWindow::UpdateStatusBar()
{
    qDebug() << "MainWindow::UpdateStatusBar";
    statusBar()->showMessage(QStringLiteral("%1 / %2 source files selected").arg(selSrcFiles.size()).arg(srcFiles.size()));
}

void MainWindow::TgtSelChanged(const QItemSelection &refSelected, const QItemSelection &refDeselected)
{
    Q_UNUSED(refSelected)
    Q_UNUSED(refDeselected)
    qDebug() << "MainWindow::TgtSelChanged";
    selTgtFile.clear();
    const QModelIndexList rows = tgtSelModel->selectedRows(0);
    if (!rows.isEmpty())
        selTgtFile = tgtFiles.value(SourceListModel::RowIndex(tgtModel, rows.first().row(), TgtIndexColumn));
    UpdateActions();
}

WindowListState MainWindow::ListState(const QString &tgtFolder) const
{
    return { int(srcFiles.size()), int(selSrcFiles.size()), !selTgtFile.isEmpty(), tgtFolder };
}

void MainWindow::UpdateActions()
{
    const WindowListState state = ListState(tgtFolderCmB->currentText());
    for (int a = 0; a < WindowActionCount; ++a)
        Action(WindowAction(a))->setEnabled(ActionEnabled(WindowAction(a), state));
}

void MainWindow::Play(const QString &path)
{
    qDebug() << "MainWindow::Preview(QString)";
    AVPlayerDlg dlg(path, this);
    dlg.exec();
}

void MainWindow::PlaySrc()
{
    qDebug() << "MainWindow::PlaySrc";
    if (selSrcFiles.size() == 1)
        Play(selSrcFiles.first());
}

void MainWindow::PlayTgt()
{
    qDebug() << "MainWindow::PlayTgt";
    if (!selTgtFile.isEmpty())
        Play(selTgtFile);
}

void MainWindow::PlaySrc(const QModelIndex &index)
{
    qDebug() << "MainWindow::Preview(QModelIndex)";
    PlayRow(srcModel, index, SrcIndexColumn, srcFiles);
}

void MainWindow::PlayTgt(const QModelIndex &index)
{
    qDebug() << "MainWindow::PlayTgt(QModelIndex)";
    PlayRow(tgtModel, index, TgtIndexColumn, tgtFiles);
}

void MainWindow::PlayRow(const QStandardItemModel &model, const QModelIndex &index, int indexColumn,
                         const QStringList &files)
{
    const int position = index.isValid() ? SourceListModel::RowIndex(model, index.row(), indexColumn) : -1;
    if (position >= 0 && position < files.size())
        Play(files.at(position));
}


void MainWindow::Convert()
{
    qDebug() << "MainWindow::Convert";
    const QString folder = tgtFolderCmB->currentText();
    if (folder != SameAsSource() && (folder.isEmpty() || !QDir(folder).exists())) {
        QToolTip::showText(tgtFolderCmB->mapToGlobal(QPoint(0, 0)), tr("Invalid targt folder!"), tgtFolderCmB);
        return;
    }

    tgtFiles.clear();
    SaveTgtFolders();
    UpdateConvertSettings();
    convertSettings.Save();

    QProgressDialog progressDlg;
    progressDlg.setObjectName(QStringLiteral("convertProgressDlg"));
    convertProgressDlg = &progressDlg;
    progressDlg.setMinimum(0);
    progressDlg.setMaximum(selSrcFiles.size());
    progressDlg.setMinimumSize(400, 100);
    progressDlg.setLabelText(tr("Converting..."));

    // Every source in the list is out of the jobs' reach, not only the selected ones. The runner
    // works on a copy of the record, so nothing the window does can reach a job.
    batchRunner.reset();
    batchRunner = std::make_unique<BatchRunner>(selSrcFiles, srcFiles, convertSettings, &convertWatcher);
    BatchRunner *runner = batchRunner.get();
    convertJobs.clear();
    jobRows.clear();
    for (int i = 0; i < selSrcFiles.size(); ++i) {
        convertJobs.append(runner->Jobs().at(i));
        convertJobs.last().srcRow = selSrcRows.at(i);
        jobRows.append(QPersistentModelIndex(srcModel.index(selSrcRows.at(i), 0)));
    }
    connect(runner, &BatchRunner::jobProgress, this, &MainWindow::ConvertProgress);
    connect(runner, &BatchRunner::jobFinished, this, &MainWindow::ConvertResultReadyAt);
    connect(runner, &BatchRunner::finished, &progressDlg, &QProgressDialog::reset);
    connect(&progressDlg, &QProgressDialog::canceled, this, &MainWindow::ConvertCanceled);
    std::copy(runner->Counts(), runner->Counts() + ConvertCountKinds, convertCounts);

    runner->Start(QThread::idealThreadCount());
    UpdateConvertProgress();
    if (!runner->IsFinished())
        progressDlg.exec();
    // After a cancel the running transcoders take a moment to die; keep painting
    // meanwhile, but take no input that could start another batch.
    if (!runner->IsFinished()) {
        QEventLoop loop;
        connect(runner, &BatchRunner::finished, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    batchNotifier->BatchEnded(convertCounts[CountSucceeded], convertCounts[CountFailed], convertCounts[CountCanceled]);
    UpdateTgtList();
    if (ShouldReportCResults())
        ShowConvertResults();
}

void MainWindow::ConvertResultReadyAt(int iCurSelSrcIndex)
{
    qDebug().noquote() << QStringLiteral("MainWindow::convertResultReadyAt %1").arg(iCurSelSrcIndex);
    // The watcher's own signal comes before the runner has taken the result; the runner's
    // jobFinished brings the index again once it has.
    if (!batchRunner || !batchRunner->HasEnded(iCurSelSrcIndex) || iCurSelSrcIndex >= convertJobs.size())
        return;
    const ItemConvertResult result = batchRunner->Result(iCurSelSrcIndex);
    convertJobs[iCurSelSrcIndex].result = result.result;
    std::copy(batchRunner->Counts(), batchRunner->Counts() + ConvertCountKinds, convertCounts);
    if (result.result == OutcomeSucceeded)
        tgtFiles.append(result.tgtFiles);
    // A copy is as much a success as an encode; the tool tip says why it took seconds.
    SetSrcStatus(jobRows.value(iCurSelSrcIndex), result.result, result.copied ? CopiedNote() : result.reason);
    UpdateConvertProgress();
}

void MainWindow::SetSrcStatus(const QModelIndex &name, int result, const QString &reason)
{
    if (!name.isValid())
        return;
    static const char *const icons[] = { ":IMG_SUCCEEDED", ":IMG_FAILED", ":IMG_CANCELLED" };
    const QModelIndex status = name.sibling(name.row(), SrcStatusColumn);
    srcModel.setData(status, OutcomeWord(result));
    srcModel.setData(status, reason, Qt::ToolTipRole);
    srcModel.setData(name, reason, Qt::ToolTipRole);
    srcModel.setData(name, QIcon(QString::fromLatin1(icons[qBound(0, result, 2)])), Qt::DecorationRole);
}

void MainWindow::ConvertProgress(int index, qint64 doneMs, qint64 totalMs)
{
    const QModelIndex name = jobRows.value(index);
    const int percent = BatchProgress::Percent(doneMs, totalMs);
    if (name.isValid())
        srcModel.setData(name.sibling(name.row(), SrcStatusColumn), percent < 0 ? QString() : QStringLiteral("%1 %").arg(percent));
    UpdateConvertProgress();
}

void MainWindow::UpdateConvertProgress()
{
    QProgressDialog *dlg = convertProgressDlg;
    if (!dlg || !batchRunner || batchRunner->Jobs().isEmpty())
        return;
    const BatchProgress progress = batchRunner->Progress();
    const int all = progress.jobs.size();
    QString line = tr("%1 of %2 files").arg(progress.Ended()).arg(all);
    // Nothing tells how long a lone file takes while it has no length: the bar just shows that it goes on.
    const bool endless = all == 1 && progress.jobs.first().totalMs <= 0 && !progress.Ended();
    const qint64 left = endless ? -1 : progress.SecondsLeft();
    if (left >= 0)
        line += QStringLiteral(" \u00b7 ") + tr("about %1 left").arg(FormatTimeLeft(left));
    // The text first: a modal dialog's setValue runs the event loop, which must not find the
    // new counts beside the old text.
    dlg->setLabelText(tr("Converting...") + QLatin1Char('\n') + line);
    dlg->setRange(0, endless ? 0 : 1000);
    if (!endless)
        dlg->setValue(qBound(0, int(progress.Fraction() * 1000), 1000));
}

// The rows show the cancel at once; the counts take each job as it ends, so that one that moved
// its file into place first still counts, and shows, as succeeded.
void MainWindow::ConvertCanceled()
{
    if (!batchRunner)
        return;
    batchRunner->Cancel();
    setUpdatesEnabled(false);
    for (int i = 0; i < jobRows.size(); ++i) {
        if (!batchRunner->HasEnded(i))
            SetSrcStatus(jobRows.at(i), OutcomeCanceled, QString());
    }
    setUpdatesEnabled(true);
}

void MainWindow::UpdateTgtList()
{
    setUpdatesEnabled(false);
    tgtSelModel->clearSelection();
    tgtModel.removeRows(0, tgtModel.rowCount());
    for (int n = 0; n < tgtFiles.size(); ++n) {
        if (QFileInfo::exists(tgtFiles.at(n)))
            AddTgtFile(tgtFiles.at(n), n);
    }
    tgtModel.sort(tgtView->header()->sortIndicatorSection(), tgtView->header()->sortIndicatorOrder());
    tgtSelModel->select(tgtModel.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    setUpdatesEnabled(true);
}

void MainWindow::AddTgtFile(const QString &path, int index)
{
    QList<QStandardItem *> row = SourceListModel::FileRow(QFileInfo(path));
    row << SourceListModel::IndexItem(index);
    tgtModel.appendRow(row);
}

bool MainWindow::ShouldReportCResults()
{
    return Preferences::ReportCResults();
}

void MainWindow::ShowConvertResults()
{
    QString folder = convertSettings.tgtFolder;
    if (folder == SameAsSource() && !tgtFiles.isEmpty())
        folder = QFileInfo(tgtFiles.first()).absolutePath();
    ConvertResultsDlg dlg(convertCounts, folder, this);
    if (batchRunner && !batchRunner->Failures().isEmpty()) {
        QString details = batchRunner->Failures().join(QLatin1Char('\n'));
        if (!batchRunner->LogFile().isEmpty())
            details += QLatin1String("\n\n") + tr("The transcoder's full messages: %1").arg(QDir::toNativeSeparators(batchRunner->LogFile()));
        dlg.SetDetails(details);
    }
    dlg.exec();
    std::fill(std::begin(convertCounts), std::end(convertCounts), 0);
}
