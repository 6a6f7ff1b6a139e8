#pragma once

#include "app/sourcelistmodel.h"
#include "app/windowactions.h"
#include "convert/avconvertthread.h"
#include "convert/batchrunner.h"
#include "convert/convertsettings.h"

#include <QDesktopServices>
#include <QFutureWatcher>
#include <QHash>
#include <QItemSelection>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStandardItemModel>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

class BatchNotifier;
class QAction;
class QComboBox;
class QGridLayout;
class QLabel;
class QMenu;
class QProgressDialog;
class QPushButton;
class QSplitter;
class QToolBar;
class QTreeView;
class QVBoxLayout;

class MainWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    const QString &GetSrcFmtFilter();
    // Inside an adding frame only: the frame selects the new or known rows at its end.
    void AddSrcFile(const QString &path);
    void Play(const QString &path);
    void UpdateActions();
    void UpdateConvertSettings();
    void SaveTgtFolders();
    void UpdateStatusBar();
    void UpdateTgtList();
    void AddTgtFile(const QString &path, int index);
    bool ShouldReportCResults();
    void ShowConvertResults();

    // Runs the common adding frame over `paths`; files, folder and download clear
    // the selection first, a drop does not.
    void AddSrcPaths(const QStringList &paths, bool clearSelection);
    // Every file of the tree under folder: files only, no links, names with a dot.
    void AddSrcFolderTree(const QString &folder);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

public slots:
    void AddSrcFiles();
    void AddSrcFolder();
    void AddUrl();
    void Exit();
    void SrcSelChanged(const QItemSelection &refSelected, const QItemSelection &refDeselected);
    void TgtSelChanged(const QItemSelection &refSelected, const QItemSelection &refDeselected);
    void SelectAllSrc();
    void RemoveSrc();
    void PlaySrc();
    void PlayTgt();
    void PlaySrc(const QModelIndex &index);
    void PlayTgt(const QModelIndex &index);
    void BrowseTgtFolder();
    void TgtFmtChanged(int iFmtCBIndex);
    void TgtFmtSettingsClicked();
    void Convert();
    void ConvertResultReadyAt(int iCurSelSrcIndex);
    void ConvertCanceled();
    void OpenTarget();
    void UpdateOpenTgtBtn();
    void UpdateOpenTgtBtn(const QString &sTgtFolder);
    void Settings();
    void ContactUs();
    void About();
    void OpenReelwayWebsite();

private:
    void InitTgtFoldersCmB();
    void InitTgtFmtCmB();
    void InitSaveTgtCmB();
    void FinishAdding(int oldCount);
    void CreateActions();
    void CreateMenusAndToolBar();
    void CreateViews();
    void CreateTargetControls();
    void ConnectSignals();
    void RestoreGeometry();
    void CreateStatusBar();
    // Wider than their size hints where the style's text field would cut the longest item.
    void WidenCombosToItems();
    // Save Target on a row of its own, below Target Format, or on Target Format's row.
    void PlaceSaveTarget(bool ownRow);
    void FitControlsToWidth();
    void FitToolBarToWidth();
    void LoadSettings();
    void UpdateEffectsNote();
    // Opens the dialog where the note's first effect is set.
    void OpenEffectsNote();
    void PlayRow(const QStandardItemModel &model, const QModelIndex &index, int indexColumn, const QStringList &files);
    // Geometry and the first-run mark, stored on every normal way out.
    void SaveWindowState();
    QAction *Action(WindowAction action) const;
    WindowListState ListState(const QString &tgtFolder) const;

public:
    QMenu *fileMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QToolBar *mainToolBar = nullptr;
    QWidget *centralBox = nullptr;
    QVBoxLayout *mainLayout = nullptr;
    QTreeView *srcView = nullptr;
    QTreeView *tgtView = nullptr;
    QSplitter *listSplitter = nullptr;
    QLabel *tgtFmtLabel = nullptr;
    QComboBox *tgtFmtCmB = nullptr;
    QPushButton *fmtSettingsBtn = nullptr;
    QLabel *tgtFolderLabel = nullptr;
    QComboBox *tgtFolderCmB = nullptr;
    QPushButton *browseBtn = nullptr;
    QLabel *saveTgtLabel = nullptr;
    QComboBox *saveTgtCmB = nullptr;
    QLabel *effectsNote = nullptr;
    QGridLayout *controlGrid = nullptr;
    QWidget *controlBox = nullptr;
    bool saveTgtOwnRow = false;
    // The controls' width on one row, kept while Save Target has a row of its own.
    int oneRowControlsWidth = 0;
    // The tool bar's width with the texts under the icons, kept while it shows icons only.
    int textToolBarWidth = 0;
    QAction *actAddSrcFiles = nullptr;
    QAction *actAddSrcFolder = nullptr;
    QAction *actAddUrl = nullptr;
    QAction *actExit = nullptr;
    QAction *actSelectAll = nullptr;
    QAction *actRemove = nullptr;
    QAction *actPlaySrc = nullptr;
    QAction *actPlayTgt = nullptr;
    QAction *actConvert = nullptr;
    QAction *actOpenTarget = nullptr;
    QAction *actEdit = nullptr;
    QAction *actContactUs = nullptr;
    QAction *actAbout = nullptr;
    QFutureWatcher<ItemConvertResult> convertWatcher;
    SourceListModel srcModel{ 0, 6 };
    QItemSelectionModel *srcSelModel = nullptr;
    QStandardItemModel tgtModel{ 0, 5 };
    QItemSelectionModel *tgtSelModel = nullptr;
    QStringList selSrcFiles;
    QList<int> selSrcRows;
    QString selTgtFile;
    // The model owns the paths; the window reads and writes them under this name.
    QStringList &srcFiles = srcModel.paths;
    QStringList tgtFiles;
    ConvertSettings convertSettings;
    QList<AVConvertData> convertJobs;
    bool addingSrc = false;
    int convertCounts[ConvertCountKinds] = {};
    // How "Open Target(s)" hands a folder to the desktop; false when nothing took it.
    std::function<bool(const QUrl &)> openFolderUrl = &QDesktopServices::openUrl;

private:
    bool removingSrc = false;
    // The running batch's progress dialog, which lives on Convert()'s stack.
    QPointer<QProgressDialog> convertProgressDlg;
    // The current or last batch, kept until the next one starts; it runs on convertWatcher.
    std::unique_ptr<BatchRunner> batchRunner;
    // Each job's source row, followed through header clicks.
    QVector<QPersistentModelIndex> jobRows;
    BatchNotifier *batchNotifier = nullptr;

    void ConvertProgress(int index, qint64 doneMs, qint64 totalMs);
    void UpdateConvertProgress();
    // A job's outcome on its row: the word, its icon and why.
    void SetSrcStatus(const QModelIndex &name, int result, const QString &reason);
};

// The crash check of start-up: marks this run as unclean and answers whether
// the previous one ended without a clean shutdown and the user wants to hear of it.
bool ShouldReportCrash(MainWindow *window);

// Start-up's last step before the event loop: the crash check, and the crash
// notice over the shown window when it says so.
void ReportCrashIfNeeded(MainWindow *window);
