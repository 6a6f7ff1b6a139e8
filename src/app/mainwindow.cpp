#include "mainwindow.h"

#include "convert/convertcrashdlg.h"
#include "convert/convertresultsdlg.h"
#include "convert/filepath.h"
#include "convert/sourcefolder.h"
#include "convert/transcoderoutput.h"
#include "dialogs/scaledlg.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/threegp2dlg.h"
#include "dialogs/threegpdlg.h"
#include "download/avdownloaddlg.h"
#include "krv/av/avcodec.h"
#include "krv/gen/krvaboutdlg.h"
#include "krv/gen/weblinks.h"
#include "player/avplayerdlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSet>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolBar>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <algorithm>

namespace {

const int SrcIndexColumn = 5;
const int SrcStatusColumn = 4;
const int TgtIndexColumn = 4;

QString SameAsSource()
{
    return QString::fromLatin1(SameAsSourceFile);
}

QString MoviesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
}

// Qt's file dialogs split the patterns of one filter at blanks only, so the
// media filter's "*.aac;*.ac3" would match no file at all; the patterns are
// handed over blank-separated, the filters themselves still apart by ";;".
QString FileDialogNameFilter(const QString &filter)
{
    QStringList filters = filter.split(QStringLiteral(";;"));
    for (QString &one : filters) {
        const int open = one.indexOf(QLatin1Char('('));
        const int close = one.lastIndexOf(QLatin1Char(')'));
        if (open >= 0 && close > open)
            one = one.left(open + 1) + one.mid(open + 1, close - open - 1).replace(QLatin1Char(';'), QLatin1Char(' ')) + one.mid(close);
        one = one.trimmed();
    }
    return filters.join(QStringLiteral(";;"));
}

QString ReadSourceFolder()
{
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("SourceFolder"));
    return settings.value(QStringLiteral("Current"), MoviesFolder()).toString();
}

void WriteSourceFolder(const QString &folder)
{
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("SourceFolder"));
    settings.setValue(QStringLiteral("Current"), folder);
}

QStandardItem *MakeItem(const QString &text, bool centred)
{
    auto *item = new QStandardItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (centred)
        item->setTextAlignment(Qt::AlignCenter);
    return item;
}

// The text a file's row shows in `column`. The folder walk orders paths by it
// before adding them, so it must stay the one source of the row's texts.
QString DisplayText(const QFileInfo &info, int column)
{
    switch (column) {
    case 0:
        return info.baseName();
    case 1:
        return info.suffix().toUpper();
    case 2:
        return QObject::tr("%1 MB").arg(QLocale().toString(std::max(info.size() * (1.0 / (1 << 20)), 0.1), 'f', 1));
    case 3:
        return info.absolutePath();
    default:
        return QString();
    }
}

// The row both lists share: base name, suffix, size, folder, then the columns
// that differ (status and index for sources, index only for targets).
QList<QStandardItem *> MakeFileRow(const QFileInfo &info)
{
    return { MakeItem(DisplayText(info, 0), false), MakeItem(DisplayText(info, 1), true),
             MakeItem(DisplayText(info, 2), true), MakeItem(DisplayText(info, 3), false) };
}

QStandardItem *MakeIndexItem(int index)
{
    auto *item = MakeItem(QString(), false);
    item->setData(index, Qt::UserRole);
    return item;
}

// The hidden index a list row keeps in `column`: its position in the window's
// path list, or -1 for a row that is being removed.
int RowIndex(const QStandardItemModel &model, int row, int column)
{
    const QStandardItem *item = model.item(row, column);
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

// A format item's data: the catalogue identifier in the low 16 bits, the
// position of the extension in the entry's list above them.
struct FmtItem
{
    KRVAVCodecID id = KRVAVCodecID_None;
    int extension = 0;
};

QVariant PackFmtItem(KRVAVCodecID id, int extension)
{
    return QVariant(qint32((extension << 16) | id));
}

FmtItem UnpackFmtItem(const QVariant &data)
{
    if (!data.isValid())
        return {};
    const int packed = data.toInt();
    return { KRVAVCodecID(packed & 0xffff), packed >> 16 };
}

// Widens a column whose header text, with room for the sort arrow, would be cut.
void FitHeaderTexts(QTreeView *view)
{
    const QHeaderView *header = view->header();
    for (int c = 0; c < header->count(); ++c) {
        if (!header->isSectionHidden(c))
            view->setColumnWidth(c, std::max(view->columnWidth(c), header->sectionSizeHint(c)));
    }
}

void SetupHeader(QStandardItemModel &model, const QStringList &headers, const QString &indexHeader)
{
    for (int c = 0; c < headers.size(); ++c)
        model.setHeaderData(c, Qt::Horizontal, headers.at(c), Qt::DisplayRole);
    model.setHeaderData(headers.size(), Qt::Horizontal, indexHeader, Qt::UserRole);
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
    LoadSettings();
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath());
}

void MainWindow::CreateActions()
{
    auto makeAction = [this](const QString &text, const char *icon, const QKeySequence &shortcut,
                             const QString &tip) {
        auto *action = new QAction(text, this);
        if (icon)
            action->setIcon(QIcon(QString::fromLatin1(icon)));
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        action->setToolTip(tip);
        return action;
    };
    actAddSrcFiles = makeAction(tr("Add Source(s)"), ":IMG_ADD_FILE", QKeySequence(tr("Alt+A")), tr("Add one or more source files"));
    actAddSrcFolder = makeAction(tr("Add Folder"), ":IMG_ADD_FOLDER", QKeySequence(), tr("Add a source file folder"));
    actAddUrl = makeAction(tr("Add Url"), ":IMG_ADD_URL", QKeySequence(), tr("Add an url and download the file from the internet"));
    actExit = makeAction(tr("E&xit"), nullptr, QKeySequence(QKeySequence::Quit), tr("Exit the application"));
    actSelectAll = makeAction(tr("Select All"), ":IMG_SELECT_ALL", QKeySequence(QKeySequence::SelectAll), tr("Select all the source file(s)"));
    actRemove = makeAction(tr("Remove"), ":IMG_REMOVE", QKeySequence(QKeySequence::Delete), tr("Remove the selected source file(s)"));
    actPlaySrc = makeAction(tr("Play Source"), ":IMG_MOVIE", QKeySequence(), tr("Play the selected source file"));
    actPlayTgt = makeAction(tr("Play Target"), ":IMG_MOVIE", QKeySequence(), tr("Play the selected target file"));
    actConvert = makeAction(tr("Convert Source(s)"), ":IMG_CONVERT", QKeySequence(tr("Alt+C")), tr("Convert the selected source file(s)"));
    actOpenTarget = makeAction(tr("Open Target(s)"), ":IMG_OPENTARGET", QKeySequence(tr("Alt+T")), tr("Open the target(s) folder"));
    actEdit = makeAction(tr("Edit"), ":IMG_EDIT", QKeySequence(), tr("Edit settings during conversion"));
    actContactUs = makeAction(tr("Contact Us"), nullptr, QKeySequence(), tr("Contact us through email"));
    actAbout = makeAction(tr("&About"), nullptr, QKeySequence(), tr("Show the application's  About box"));
}

void MainWindow::CreateMenusAndToolBar()
{
    fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(actAddSrcFiles);
    fileMenu->addAction(actAddSrcFolder);
    fileMenu->addAction(actAddUrl);
    fileMenu->addSeparator();
    fileMenu->addAction(actPlaySrc);
    fileMenu->addAction(actPlayTgt);
    fileMenu->addSeparator();
    fileMenu->addAction(actEdit);
    fileMenu->addSeparator();
    fileMenu->addAction(actConvert);
    fileMenu->addAction(actOpenTarget);
    fileMenu->addSeparator();
    fileMenu->addAction(actExit);
    helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->addAction(actContactUs);
    helpMenu->addAction(actAbout);

    mainToolBar = addToolBar(tr("Reelway Video Converter"));
    mainToolBar->setMovable(false);
    mainToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    mainToolBar->addAction(actAddSrcFiles);
    mainToolBar->addAction(actAddSrcFolder);
    mainToolBar->addAction(actAddUrl);
    mainToolBar->addSeparator();
    mainToolBar->addAction(actSelectAll);
    mainToolBar->addAction(actRemove);
    mainToolBar->addSeparator();
    mainToolBar->addAction(actPlaySrc);
    mainToolBar->addAction(actPlayTgt);
    mainToolBar->addSeparator();
    mainToolBar->addAction(actEdit);
    mainToolBar->addSeparator();
    mainToolBar->addAction(actConvert);
    mainToolBar->addAction(actOpenTarget);
    mainToolBar->addSeparator();
}

void MainWindow::CreateViews()
{
    srcView = new QTreeView;
    srcView->setObjectName(QStringLiteral("srcView"));
    SetupHeader(srcModel, { tr("Source"), tr("Format"), tr("Size(MB)"), tr("Folder"), tr("Convert") },
                QStringLiteral("SourceFileListIndex"));
    srcView->setModel(&srcModel);
    srcView->setRootIsDecorated(false);
    srcView->setSortingEnabled(true);
    // Qt's header starts out descending; a list of names reads best A to Z.
    srcView->sortByColumn(0, Qt::AscendingOrder);
    srcView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    srcView->setSelectionBehavior(QAbstractItemView::SelectRows);
    srcView->header()->setStretchLastSection(true);
    srcView->header()->setDefaultAlignment(Qt::AlignCenter);
    srcView->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    srcView->setColumnWidth(0, 100);
    for (int c = 1; c < SrcIndexColumn; ++c)
        srcView->setColumnWidth(c, 80);
    srcView->setColumnHidden(SrcIndexColumn, true);
    FitHeaderTexts(srcView);
    srcSelModel = srcView->selectionModel();

    tgtView = new QTreeView;
    tgtView->setObjectName(QStringLiteral("tgtView"));
    SetupHeader(tgtModel, { tr("Target (Read-Only)"), tr("Format"), tr("Size(MB)"), tr("Folder") },
                QStringLiteral("TgtFileListIndex"));
    tgtView->setModel(&tgtModel);
    tgtView->setRootIsDecorated(false);
    tgtView->setSortingEnabled(true);
    tgtView->sortByColumn(0, Qt::AscendingOrder);
    tgtView->header()->setStretchLastSection(true);
    tgtView->header()->setDefaultAlignment(Qt::AlignCenter);
    tgtView->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    tgtView->setColumnWidth(0, 110);
    tgtView->setColumnHidden(TgtIndexColumn, true);
    FitHeaderTexts(tgtView);
    tgtSelModel = tgtView->selectionModel();

    listSplitter = new QSplitter(Qt::Horizontal);
    listSplitter->addWidget(srcView);
    listSplitter->addWidget(tgtView);
    listSplitter->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void MainWindow::CreateTargetControls()
{
    tgtFolderLabel = new QLabel(tr("Target Folder:"));
    tgtFolderCmB = new QComboBox;
    tgtFolderCmB->setObjectName(QStringLiteral("tgtFolderCmB"));
    tgtFolderCmB->setEditable(true);
    tgtFolderCmB->setDuplicatesEnabled(false);
    tgtFolderCmB->setInsertPolicy(QComboBox::InsertAlphabetically);
    browseBtn = new QPushButton(tr("Browse..."));
    browseBtn->setObjectName(QStringLiteral("browseBtn"));
    tgtFmtLabel = new QLabel(tr("Target Format:"));
    tgtFmtCmB = new QComboBox;
    tgtFmtCmB->setObjectName(QStringLiteral("tgtFmtCmB"));
    tgtFmtCmB->setMaxVisibleItems(20);
    // Styles that open the list as a popup over the current item ignore the
    // limit and cover the screen with all seventy formats; a plain list scrolls.
    tgtFmtCmB->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    fmtSettingsBtn = new QPushButton(tr("Format Settings..."));
    fmtSettingsBtn->setObjectName(QStringLiteral("fmtSettingsBtn"));
    saveTgtLabel = new QLabel(tr("Save Target:"));
    saveTgtCmB = new QComboBox;
    saveTgtCmB->setObjectName(QStringLiteral("saveTgtCmB"));
    effectsNote = new QLabel;
    effectsNote->setObjectName(QStringLiteral("effectsNote"));
    effectsNote->setToolTip(tr("Change the effects"));
    effectsNote->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    effectsNote->hide();

    controlGrid = new QGridLayout;
    controlGrid->addWidget(tgtFolderLabel, 0, 0);
    controlGrid->addWidget(tgtFolderCmB, 0, 1, 1, 4);
    controlGrid->addWidget(browseBtn, 0, 5);
    controlGrid->addWidget(tgtFmtLabel, 1, 0);
    controlGrid->addWidget(tgtFmtCmB, 1, 1);
    controlGrid->addWidget(fmtSettingsBtn, 1, 2);
    controlGrid->addWidget(saveTgtLabel, 1, 4);
    controlGrid->addWidget(saveTgtCmB, 1, 5);
    controlGrid->addWidget(effectsNote, 2, 1, 1, 5);
    controlBox = new QWidget;
    controlBox->setLayout(controlGrid);
    controlBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);

    mainLayout = new QVBoxLayout;
    mainLayout->addWidget(listSplitter);
    mainLayout->addWidget(controlBox);
    centralBox = new QWidget;
    centralBox->setLayout(mainLayout);
    setCentralWidget(centralBox);
}

void MainWindow::ConnectSignals()
{
    connect(actAddSrcFiles, &QAction::triggered, this, &MainWindow::AddSrcFiles);
    connect(actAddSrcFolder, &QAction::triggered, this, &MainWindow::AddSrcFolder);
    connect(actAddUrl, &QAction::triggered, this, &MainWindow::AddUrl);
    connect(actExit, &QAction::triggered, this, &MainWindow::Exit);
    connect(actSelectAll, &QAction::triggered, this, &MainWindow::SelectAllSrc);
    connect(actRemove, &QAction::triggered, this, &MainWindow::RemoveSrc);
    connect(actPlaySrc, &QAction::triggered, this, qOverload<>(&MainWindow::PlaySrc));
    connect(actPlayTgt, &QAction::triggered, this, qOverload<>(&MainWindow::PlayTgt));
    connect(actConvert, &QAction::triggered, this, &MainWindow::Convert);
    connect(actOpenTarget, &QAction::triggered, this, &MainWindow::OpenTarget);
    connect(actEdit, &QAction::triggered, this, &MainWindow::Settings);
    connect(actContactUs, &QAction::triggered, this, &MainWindow::ContactUs);
    connect(actAbout, &QAction::triggered, this, &MainWindow::About);
    connect(tgtFolderCmB, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { UpdateOpenTgtBtn(tgtFolderCmB->itemText(index)); });
    connect(tgtFolderCmB, &QComboBox::editTextChanged, this, qOverload<const QString &>(&MainWindow::UpdateOpenTgtBtn));
    connect(browseBtn, &QPushButton::clicked, this, &MainWindow::BrowseTgtFolder);
    connect(tgtFmtCmB, qOverload<int>(&QComboBox::currentIndexChanged), this, &MainWindow::TgtFmtChanged);
    connect(fmtSettingsBtn, &QPushButton::clicked, this, &MainWindow::TgtFmtSettingsClicked);
    connect(effectsNote, &QLabel::linkActivated, this, &MainWindow::Settings);
    connect(srcSelModel, &QItemSelectionModel::selectionChanged, this, &MainWindow::SrcSelChanged);
    // A header click moves the selected rows without a selection signal; the
    // batch writes its results into the rows kept here, so they must follow.
    connect(&srcModel, &QAbstractItemModel::layoutChanged, this,
            [this] { SrcSelChanged(QItemSelection(), QItemSelection()); });
    connect(srcView, &QTreeView::doubleClicked, this, qOverload<const QModelIndex &>(&MainWindow::PlaySrc));
    connect(tgtSelModel, &QItemSelectionModel::selectionChanged, this, &MainWindow::TgtSelChanged);
    connect(tgtView, &QTreeView::doubleClicked, this, qOverload<const QModelIndex &>(&MainWindow::PlayTgt));
    connect(&convertWatcher, &QFutureWatcher<ItemConvertResult>::resultReadyAt, this, &MainWindow::ConvertResultReadyAt);
}

void MainWindow::CreateStatusBar()
{
    auto *titleLabel = new QLabel(QStringLiteral("Reelway Video Converter 1.0.4  \u00a9 Korvent"));
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    statusBar()->addPermanentWidget(titleLabel);
}

// After the connections, so that filling the combos already sets the button and
// the action from the initial items.
void MainWindow::LoadSettings()
{
    convertSettings.Load();
    InitTgtFoldersCmB();
    InitTgtFmtCmB();
    InitSaveTgtCmB();
    UpdateActions();
    UpdateEffectsNote();
}

void MainWindow::RestoreGeometry()
{
    setMinimumSize(850, 540);

    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("MainWindow"));
    const QPoint position = settings.value(QStringLiteral("Position"), QPoint(200, 200)).toPoint();
    // The first run opens wide enough for every tool bar button; a stored size
    // is the user's own and stays.
    const QSize firstRun(std::max(850, mainToolBar->sizeHint().width()), 540);
    const QSize size = settings.value(QStringLiteral("Size"), firstRun).toSize();
    settings.endGroup();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect placed = FitWindowGeometry(QRect(position, size), QRect(QPoint(200, 200), firstRun),
                                           screen ? screen->availableVirtualGeometry() : QRect());
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
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("MainWindow"));
    settings.setValue(QStringLiteral("Closed"), true);
    settings.endGroup();
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
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("MainWindow"));
    settings.setValue(QStringLiteral("Position"), pos());
    settings.setValue(QStringLiteral("Size"), size());
    if (settings.value(QStringLiteral("FirstRun"), true).toBool()) {
        OpenReelwayWebsite();
        settings.setValue(QStringLiteral("FirstRun"), false);
    }
    settings.endGroup();
    QMainWindow::closeEvent(event);
}

void MainWindow::Exit()
{
    qWarning() << "MainWindow::Exit";
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

void MainWindow::UpdateEffectsNote()
{
    const QString note = EffectsNote(convertSettings);
    effectsNote->setText(QStringLiteral("<a href=\"effects\">%1</a>").arg(note.toHtmlEscaped()));
    effectsNote->setVisible(!note.isEmpty());
}

QRect FitWindowGeometry(const QRect &stored, const QRect &firstRun, const QRect &available)
{
    if (available.isEmpty())
        return stored.isValid() ? stored : firstRun;
    // A stored size that is no size, or a window that would lie wholly off the screen, is
    // not the user's choice: start as on the first run.
    QRect placed = stored.isValid() && available.intersects(stored) ? stored : firstRun;
    // Never larger than the screen, nor smaller than the program's own first choice.
    placed.setSize(placed.size().boundedTo(available.size().expandedTo(firstRun.size())));
    // The title bar must be reachable to move the window at all.
    if (!available.contains(placed.topLeft()))
        placed.moveTopLeft(QPoint(qBound(available.left(), placed.left(), available.right() - 100),
                                  qBound(available.top(), placed.top(), available.bottom() - 100)));
    return placed;
}

bool ShouldReportCrash(MainWindow *window)
{
    Q_UNUSED(window)
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("MainWindow"));
    const bool closed = settings.value(QStringLiteral("Closed"), true).toBool();
    settings.setValue(QStringLiteral("Closed"), false);
    settings.endGroup();
    settings.beginGroup(QStringLiteral("Settings"));
    const bool reportCrash = settings.value(QStringLiteral("ReportCrash"), true).toBool();
    settings.endGroup();
    return !closed && reportCrash;
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
    const auto known = srcPositions.constFind(path);
    if (known != srcPositions.constEnd()) {
        pendingSelection.append(known.value());
        return;
    }
    const int position = srcFiles.size();
    srcFiles.append(path);
    srcPositions.insert(path, position);
    QList<QStandardItem *> row = MakeFileRow(QFileInfo(path));
    row << MakeItem(QString(), true);
    row << MakeIndexItem(position);
    srcModel.appendRow(row);
    pendingSelection.append(position);
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

    if (!pendingSelection.isEmpty()) {
        QVector<int> rowOfPosition(srcFiles.size(), -1);
        for (int row = 0; row < srcModel.rowCount(); ++row) {
            const int position = RowIndex(srcModel, row, SrcIndexColumn);
            if (position >= 0 && position < rowOfPosition.size())
                rowOfPosition[position] = row;
        }
        QVector<int> rows;
        rows.reserve(pendingSelection.size());
        for (int position : qAsConst(pendingSelection)) {
            if (rowOfPosition.value(position, -1) >= 0)
                rows.append(rowOfPosition.at(position));
        }
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        QItemSelection selection;
        for (int i = 0; i < rows.size();) {
            int last = i;
            while (last + 1 < rows.size() && rows.at(last + 1) == rows.at(last) + 1)
                ++last;
            selection.select(srcModel.index(rows.at(i), 0), srcModel.index(rows.at(last), SrcIndexColumn));
            i = last + 1;
        }
        srcSelModel->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        pendingSelection.clear();
    }

    addingSrc = false;
    SrcSelChanged(QItemSelection(), QItemSelection());
    setUpdatesEnabled(true);
}

void MainWindow::AddSrcFiles()
{
    qDebug() << "MainWindow::AddFile";
    addingSrc = true;
    setUpdatesEnabled(false);
    const QString folder = ReadSourceFolder();
    const QStringList files =
        QFileDialog::getOpenFileNames(this, tr("Add File(s)"), folder, FileDialogNameFilter(GetSrcFmtFilter()));
    if (files.isEmpty()) {
        addingSrc = false;
        setUpdatesEnabled(true);
        return;
    }
    WriteSourceFolder(QFileInfo(files.first()).absolutePath());
    AddSrcPaths(files, true);
}

void MainWindow::AddSrcFolder()
{
    qDebug() << "MainWindow::AddSrcFolder";
    addingSrc = true;
    setUpdatesEnabled(false);
    const QString start = ReadSourceFolder();
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Add Folder"), start, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        addingSrc = false;
        setUpdatesEnabled(true);
        return;
    }
    WriteSourceFolder(folder);
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
    const SourceSortKey key = [column](const QFileInfo &info) { return DisplayText(info, column); };
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
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        paths.append(LocalPathFromUrl(url));
    AddSrcPaths(paths, false);
    event->acceptProposedAction();
}

void MainWindow::RemoveSrc()
{
    qDebug() << "MainWindow::RemoveSrc";
    setUpdatesEnabled(false);
    const int n = srcFiles.size();

    const QModelIndexList selectedRows = srcSelModel->selectedRows(0);
    QVector<bool> selected(n, false);
    for (const QModelIndex &index : selectedRows) {
        const int position = RowIndex(srcModel, index.row(), SrcIndexColumn);
        if (position >= 0 && position < n)
            selected[position] = true;
    }

    // Every kept row's hidden index moves down by the number of removed entries
    // before it, so it keeps pointing at its own path.
    QStringList keptFiles;
    keptFiles.reserve(n);
    QVector<int> newPosition(n, -1);
    QSet<QString> removedPaths;
    for (int i = 0; i < n; ++i) {
        if (selected.at(i)) {
            removedPaths.insert(srcFiles.at(i));
        } else {
            newPosition[i] = keptFiles.size();
            keptFiles.append(srcFiles.at(i));
        }
    }
    // The hidden index column is bookkeeping no view shows: a change signal per
    // row would cost more than the removal itself, for nothing to repaint.
    srcModel.blockSignals(true);
    for (int row = 0; row < srcModel.rowCount(); ++row) {
        QStandardItem *indexItem = srcModel.item(row, SrcIndexColumn);
        const int position = indexItem ? indexItem->data(Qt::UserRole).toInt() : -1;
        if (position >= 0 && position < n && newPosition.at(position) != position)
            indexItem->setData(newPosition.at(position), Qt::UserRole);
    }
    srcModel.blockSignals(false);
    // Paths are unique, so dropping them by set equals removing each one's
    // first occurrence, without a list search per removed row.
    QStringList stillSelected;
    for (const QString &path : qAsConst(selSrcFiles)) {
        if (!removedPaths.contains(path))
            stillSelected.append(path);
    }
    selSrcFiles = stillSelected;
    srcFiles = keptFiles;
    srcPositions.clear();
    srcPositions.reserve(srcFiles.size());
    for (int i = 0; i < srcFiles.size(); ++i)
        srcPositions.insert(srcFiles.at(i), i);

    QVector<int> rows;
    rows.reserve(selectedRows.size());
    for (const QModelIndex &index : selectedRows)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    // Contiguous runs go in one call each, from the bottom up, so the rows
    // above a run keep their numbers.
    removingSrc = true;
    for (int last = rows.size() - 1; last >= 0;) {
        int first = last;
        while (first > 0 && rows.at(first - 1) == rows.at(first) - 1)
            --first;
        srcModel.removeRows(rows.at(first), last - first + 1);
        last = first - 1;
    }
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
    const int oldLength = selSrcFiles.size();
    selSrcFiles.clear();
    selSrcRows.clear();
    if (srcSelModel->hasSelection()) {
        const QModelIndexList rows = srcSelModel->selectedRows(0);
        for (const QModelIndex &index : rows) {
            const int position = RowIndex(srcModel, index.row(), SrcIndexColumn);
            if (position >= 0 && position < srcFiles.size()) {
                selSrcFiles.append(srcFiles.at(position));
                selSrcRows.append(index.row());
            }
        }
    }
    if (oldLength <= 1 || selSrcFiles.size() <= 1) {
        UpdateActions();
        UpdateOpenTgtBtn(tgtFolderCmB->currentText());
    }
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
    if (rows.isEmpty())
        return;
    const int index = RowIndex(tgtModel, rows.first().row(), TgtIndexColumn);
    if (index >= 0 && index < tgtFiles.size()) {
        selTgtFile = tgtFiles.at(index);
        UpdateActions();
    }
}

void MainWindow::UpdateActions()
{
    actSelectAll->setEnabled(selSrcFiles.size() < srcFiles.size());
    actRemove->setEnabled(!selSrcFiles.isEmpty());
    actPlaySrc->setEnabled(selSrcFiles.size() == 1);
    actPlayTgt->setEnabled(!selTgtFile.isEmpty());
    actConvert->setEnabled(!selSrcFiles.isEmpty());
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
    if (!index.isValid())
        return;
    const int position = RowIndex(model, index.row(), indexColumn);
    if (position >= 0 && position < files.size())
        Play(files.at(position));
}

void MainWindow::InitTgtFoldersCmB()
{
    qDebug() << "MainWindow::InitTgtFoldersCmB";
    tgtFolderCmB->addItem(SameAsSource());
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("TgtFolder"));
    // Only ten are ever written; a larger count comes from a damaged or hostile file.
    const int count = qBound(0, settings.value(QStringLiteral("Count"), 0).toInt(), 10);
    for (int i = 0; i < count; ++i) {
        const QString folder = settings.value(QString::number(i), QString()).toString();
        if (!folder.isEmpty())
            tgtFolderCmB->addItem(folder);
    }
    settings.endGroup();
    tgtFolderCmB->setCurrentIndex(tgtFolderCmB->findText(convertSettings.tgtFolder, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void MainWindow::SaveTgtFolders()
{
    qDebug() << "MainWindow::SaveTgtFolders";
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("TgtFolder"));
    int written = 0;
    for (int i = 0; i < tgtFolderCmB->count() && written < 10; ++i) {
        const QString text = tgtFolderCmB->itemText(i);
        if (text == SameAsSource())
            continue;
        settings.setValue(QString::number(written), text);
        ++written;
    }
    settings.setValue(QStringLiteral("Count"), written);
    settings.endGroup();
}

void MainWindow::InitTgtFmtCmB()
{
    qDebug() << "MainWindow::InitTgtFmtCmB";
    AVCodecVetoer vetoer;
    int counter = 0;
    int chosen = 0;
    for (int id = 0; id < KRVAVCodecID_Count; ++id) {
        const auto codecID = KRVAVCodecID(id);
        if (vetoer.IsEnabled(codecID, KRVAVIOType_Output)) {
            const KRVAVCodec codec(codecID);
            const QString name = codec.GetName();
            const QStringList extensions = codec.GetExtensions();
            for (int k = 0; k < extensions.size(); ++k) {
                const QString &extension = extensions.at(k);
                tgtFmtCmB->addItem(name + QStringLiteral(" (") + extension + QLatin1Char(')'),
                                   PackFmtItem(codecID, k));
                if (extension.compare(convertSettings.tgtFormat, Qt::CaseInsensitive) == 0 && id == convertSettings.tgtID)
                    chosen = counter;
                ++counter;
            }
        }
        if (id == KRVAVCodecID_Xbox360) {
            tgtFmtCmB->insertSeparator(tgtFmtCmB->count());
            ++counter;
        }
    }
    tgtFmtCmB->setCurrentIndex(chosen);
}

void MainWindow::InitSaveTgtCmB()
{
    for (int i = 0; i < SaveModesCount; ++i)
        saveTgtCmB->addItem(QIcon(), QString::fromLatin1(SaveModes[i]), i);
    const int exists = convertSettings.exists;
    int current = -1;
    if (exists >= 0 && exists < SaveModesCount)
        current = saveTgtCmB->findText(QString::fromLatin1(SaveModes[exists]), Qt::MatchExactly | Qt::MatchCaseSensitive);
    // A hand-edited index that names no save mode falls back to the first one,
    // so every conversion still gets a target name.
    saveTgtCmB->setCurrentIndex(current >= 0 ? current : 0);
}

void MainWindow::UpdateConvertSettings()
{
    convertSettings.SetTgtFolder(tgtFolderCmB->currentText());
    const FmtItem item = UnpackFmtItem(tgtFmtCmB->currentData(Qt::UserRole));
    convertSettings.tgtID = item.id;
    convertSettings.tgtFormat = KRVAVCodec(item.id).GetExtension(item.extension);
    convertSettings.exists = saveTgtCmB->currentIndex();
}

void MainWindow::UpdateOpenTgtBtn()
{
    UpdateOpenTgtBtn(tgtFolderCmB->currentText());
}

void MainWindow::UpdateOpenTgtBtn(const QString &sTgtFolder)
{
    if (sTgtFolder == SameAsSource())
        actOpenTarget->setEnabled(selSrcFiles.size() == 1);
    else
        actOpenTarget->setEnabled(!sTgtFolder.isEmpty());
}

void MainWindow::OpenTarget()
{
    qDebug() << "MainWindow::OpenTarget";
    QString folder = tgtFolderCmB->currentText();
    if (folder == SameAsSource() && selSrcFiles.size() == 1)
        folder = QFileInfo(selSrcFiles.first()).absolutePath();
    if (!folder.isEmpty() && QDir(folder).exists()) {
        const QString path = QDir(folder).absolutePath();
        if (!openFolderUrl(QUrl::fromLocalFile(path))) {
            QMessageBox::warning(this, tr("Reelway Video Converter"),
                                 tr("The target folder \"%1\" could not be opened.")
                                     .arg(QDir::toNativeSeparators(path)),
                                 QMessageBox::Ok);
        }
        return;
    }
    QMessageBox::warning(this, tr("Reelway Video Converter"), tr("Invalid target folder: \"%1\".").arg(folder),
                         QMessageBox::Ok);
}

void MainWindow::BrowseTgtFolder()
{
    qDebug() << "MainWindow::BrowseTgtFolder";
    QString start = tgtFolderCmB->currentText();
    if (start == SameAsSource())
        start = selSrcFiles.size() == 1 ? QFileInfo(selSrcFiles.first()).absolutePath() : MoviesFolder();
    if (!QDir(start).exists())
        start = MoviesFolder();
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Set Target Folder"), start, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    int index = tgtFolderCmB->findText(folder, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        tgtFolderCmB->addItem(folder);
        index = tgtFolderCmB->count() - 1;
    }
    tgtFolderCmB->setCurrentIndex(index);
}

void MainWindow::TgtFmtChanged(int iFmtCBIndex)
{
    const FmtItem item = UnpackFmtItem(tgtFmtCmB->itemData(iFmtCBIndex, Qt::UserRole));
    fmtSettingsBtn->setEnabled(KRVAVCodec::HasSettings(item.id));
}

void MainWindow::TgtFmtSettingsClicked()
{
    const KRVAVCodecID id = UnpackFmtItem(tgtFmtCmB->currentData(Qt::UserRole)).id;
    if (id == KRVAVCodecID_3GP2) {
        ThreeGP2Dlg dlg(&convertSettings, this);
        dlg.exec();
    } else if (id == KRVAVCodecID_3GP) {
        ThreeGPDlg dlg(&convertSettings, this);
        dlg.exec();
    } else if (IsScalableFormat(id)) {
        ScaleDlg dlg(&convertSettings, this);
        dlg.exec();
    }
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

    // The dialog stays the one place where the user's cancel lands; the jobs on
    // the pool read the batch's flag instead of calling into a GUI object. Every
    // source in the list is out of the jobs' reach, not only the selected ones.
    const auto batch = std::make_shared<ConvertBatch>(srcFiles);
    connect(&progressDlg, &QProgressDialog::canceled, this, [batch]() { batch->Cancel(); });
    // The jobs report from the pool; only the GUI thread touches the rows and the dialog.
    batch->progress = [this](int srcRow, qint64 doneMs, qint64 totalMs) {
        QMetaObject::invokeMethod(
            this, [this, srcRow, doneMs, totalMs]() { ConvertProgress(srcRow, doneMs, totalMs); },
            Qt::QueuedConnection);
    };
    batch->logFile = NewBatchLogFile();
    connect(&convertWatcher, &QFutureWatcher<ItemConvertResult>::finished, &progressDlg, &QProgressDialog::reset);
    // The future itself is not canceled: jobs that have not started end at once on the
    // flag, and a job that moved its file into place before the cancel still reports it.
    connect(&progressDlg, &QProgressDialog::canceled, this, &MainWindow::ConvertCanceled);
    batchCanceled = false;

    convertJobs.clear();
    jobProgress.fill(JobProgress(), selSrcFiles.size());
    jobOfSrcRow.clear();
    finishedJobs = 0;
    failureDetails.clear();
    batchLogFile = batch->logFile;
    batchTimer.start();
    for (int i = 0; i < selSrcFiles.size(); ++i) {
        jobOfSrcRow.insert(selSrcRows.at(i), i);
        AVConvertData job;
        job.srcFile = selSrcFiles.at(i);
        job.settings = &convertSettings;
        job.srcRow = selSrcRows.at(i);
        job.result = OutcomeCanceled;
        job.batch = batch;
        convertJobs.append(job);
    }

    QThreadPool::globalInstance()->setMaxThreadCount(BatchThreadCount(convertJobs.size(), QThread::idealThreadCount()));
    convertWatcher.setFuture(QtConcurrent::mapped(convertJobs, ThreadFunction));

    std::fill(std::begin(convertCounts), std::end(convertCounts), 0);
    convertCounts[CountSelected] = convertJobs.size();

    UpdateConvertProgress();

    if (!convertWatcher.isFinished())
        progressDlg.exec();

    // After a cancel the running transcoders take a moment to die; keep painting
    // meanwhile, but take no input that could start another batch.
    if (!convertWatcher.isFinished()) {
        QEventLoop loop;
        connect(&convertWatcher, &QFutureWatcher<ItemConvertResult>::finished, &loop, &QEventLoop::quit);
        if (!convertWatcher.isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    convertWatcher.waitForFinished();
    QCoreApplication::processEvents();

    disconnect(&convertWatcher, nullptr, &progressDlg, nullptr);

    UpdateTgtList();
    if (ShouldReportCResults())
        ShowConvertResults();
}

void MainWindow::ConvertResultReadyAt(int iCurSelSrcIndex)
{
    qDebug().noquote() << QStringLiteral("MainWindow::convertResultReadyAt %1").arg(iCurSelSrcIndex);
    if (iCurSelSrcIndex < 0 || iCurSelSrcIndex >= convertJobs.size())
        return;
    AVConvertData &job = convertJobs[iCurSelSrcIndex];
    const ItemConvertResult result = convertWatcher.resultAt(iCurSelSrcIndex);
    // The cancel counted this row before the job could tell how it really ended.
    if (batchCanceled && job.result == OutcomeCanceled && result.result != OutcomeCanceled)
        --convertCounts[CountCanceled];
    job.result = result.result;
    if (iCurSelSrcIndex < jobProgress.size() && !jobProgress.at(iCurSelSrcIndex).finished) {
        jobProgress[iCurSelSrcIndex].finished = true;
        ++finishedJobs;
    }
    QStandardItem *statusItem = srcModel.item(job.srcRow, SrcStatusColumn);
    QStandardItem *nameItem = srcModel.item(job.srcRow, 0);
    if (statusItem)
        statusItem->setToolTip(result.reason);
    if (nameItem)
        nameItem->setToolTip(result.reason);
    if (result.result == OutcomeSucceeded) {
        ++convertCounts[CountSucceeded];
        if (statusItem)
            statusItem->setText(QStringLiteral("Succeeded"));
        tgtFiles.append(result.tgtFiles);
        if (nameItem)
            nameItem->setIcon(QIcon(QStringLiteral(":IMG_SUCCEEDED")));
    } else if (result.result == OutcomeFailed) {
        ++convertCounts[CountFailed];
        if (statusItem)
            statusItem->setText(QStringLiteral("Failed"));
        if (nameItem)
            nameItem->setIcon(QIcon(QStringLiteral(":IMG_FAILED")));
        failureDetails << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(job.srcFile), result.reason);
    }
    UpdateConvertProgress();
}

void MainWindow::ConvertProgress(int srcRow, qint64 doneMs, qint64 totalMs)
{
    const int index = jobOfSrcRow.value(srcRow, -1);
    // Late news of a job that has ended, or of a batch the user canceled, changes nothing.
    if (index < 0 || index >= jobProgress.size() || jobProgress.at(index).finished || batchCanceled)
        return;
    jobProgress[index].doneMs = doneMs;
    jobProgress[index].totalMs = totalMs;
    if (QStandardItem *statusItem = srcModel.item(srcRow, SrcStatusColumn)) {
        statusItem->setText(totalMs > 0 ? QStringLiteral("%1 %").arg(qBound<qint64>(0, doneMs * 100 / totalMs, 99))
                                        : QString());
    }
    UpdateConvertProgress();
}

// The bar follows the work done, each job weighted by the length of its source; a job
// whose length is not known yet counts as long as the known ones on average.
void MainWindow::UpdateConvertProgress()
{
    QProgressDialog *dlg = convertProgressDlg;
    if (!dlg || jobProgress.isEmpty())
        return;
    qint64 knownTotal = 0;
    int known = 0;
    for (const JobProgress &job : qAsConst(jobProgress)) {
        if (job.totalMs > 0) {
            knownTotal += job.totalMs;
            ++known;
        }
    }
    QString line = tr("%1 of %2 files").arg(finishedJobs).arg(jobProgress.size());
    if (known == 0) {
        // Nothing tells how long the work is: count files, or just show that it goes on.
        if (jobProgress.size() == 1) {
            dlg->setRange(0, 0);
        } else {
            dlg->setRange(0, jobProgress.size());
            dlg->setValue(finishedJobs);
        }
        dlg->setLabelText(tr("Converting...") + QLatin1Char('\n') + line);
        return;
    }
    const double average = double(knownTotal) / known;
    double done = 0;
    double all = 0;
    for (const JobProgress &job : qAsConst(jobProgress)) {
        const double weight = job.totalMs > 0 ? job.totalMs : average;
        all += weight;
        done += job.finished ? weight : weight * qBound(0.0, double(job.doneMs) / qMax<qint64>(1, job.totalMs), 1.0);
    }
    const double fraction = all > 0 ? done / all : 0;
    dlg->setRange(0, 1000);
    dlg->setValue(qBound(0, int(fraction * 1000), 1000));
    const qint64 elapsedMs = batchTimer.elapsed();
    if (fraction >= 0.01 && fraction < 1 && elapsedMs >= 2000) {
        const qint64 leftSeconds = qint64(elapsedMs * (1 - fraction) / fraction / 1000 + 0.5);
        line += QStringLiteral(" \u00b7 ") + tr("about %1 left").arg(FormatTimeLeft(leftSeconds));
    }
    dlg->setLabelText(tr("Converting...") + QLatin1Char('\n') + line);
}

void MainWindow::ConvertCanceled()
{
    batchCanceled = true;
    setUpdatesEnabled(false);
    for (const AVConvertData &job : qAsConst(convertJobs)) {
        if (job.result != OutcomeCanceled)
            continue;
        if (QStandardItem *statusItem = srcModel.item(job.srcRow, SrcStatusColumn))
            statusItem->setText(QStringLiteral("Canceled"));
        if (QStandardItem *nameItem = srcModel.item(job.srcRow, 0))
            nameItem->setIcon(QIcon(QStringLiteral(":IMG_CANCELLED")));
        ++convertCounts[CountCanceled];
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
    tgtModel.sort(srcView->header()->sortIndicatorSection(), srcView->header()->sortIndicatorOrder());
    tgtSelModel->select(tgtModel.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    setUpdatesEnabled(true);
}

void MainWindow::AddTgtFile(const QString &path, int index)
{
    QList<QStandardItem *> row = MakeFileRow(QFileInfo(path));
    row << MakeIndexItem(index);
    tgtModel.appendRow(row);
}

bool MainWindow::ShouldReportCResults()
{
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("Settings"));
    const bool report = settings.value(QStringLiteral("ReportCResults"), true).toBool();
    settings.endGroup();
    return report;
}

void MainWindow::ShowConvertResults()
{
    QString folder = convertSettings.tgtFolder;
    if (folder == SameAsSource() && !tgtFiles.isEmpty())
        folder = QFileInfo(tgtFiles.first()).absolutePath();
    ConvertResultsDlg dlg(convertCounts, folder, this);
    if (!failureDetails.isEmpty()) {
        QString details = failureDetails.join(QLatin1Char('\n'));
        if (QFileInfo::exists(batchLogFile))
            details += QLatin1String("\n\n") + tr("The transcoder's full messages: %1").arg(QDir::toNativeSeparators(batchLogFile));
        dlg.SetDetails(details);
    }
    dlg.exec();
    std::fill(std::begin(convertCounts), std::end(convertCounts), 0);
}
