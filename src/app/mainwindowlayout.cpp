#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>

// The window's widgets and their wiring; what they do lives beside, in mainwindow.cpp
// and mainwindowtargets.cpp.

namespace {

const int SrcIndexColumn = SourceListModel::IndexColumn;

// Both lists: headers, a hidden index column, sorting A to Z (Qt's header starts out
// descending), and columns widened where a header text with its sort arrow would be cut.
void SetupList(QTreeView *view, QStandardItemModel &model, const QStringList &headers, const QString &indexHeader)
{
    for (int c = 0; c < headers.size(); ++c)
        model.setHeaderData(c, Qt::Horizontal, headers.at(c), Qt::DisplayRole);
    model.setHeaderData(headers.size(), Qt::Horizontal, indexHeader, Qt::UserRole);
    view->setModel(&model);
    view->setRootIsDecorated(false);
    view->setSortingEnabled(true);
    view->sortByColumn(0, Qt::AscendingOrder);
    view->header()->setStretchLastSection(true);
    view->header()->setDefaultAlignment(Qt::AlignCenter);
    view->setColumnHidden(headers.size(), true);
}

void FitHeaderTexts(QTreeView *view)
{
    QHeaderView *header = view->header();
    int last = -1;
    for (int c = 0; c < header->count(); ++c) {
        if (!header->isSectionHidden(c)) {
            view->setColumnWidth(c, std::max(view->columnWidth(c), header->sectionSizeHint(c)));
            last = c;
        }
    }
    // The last column stretches into what the others leave, down to the header's minimum,
    // which on a narrow window with large fonts cut "Convert" to "Co" for good.
    if (last >= 0)
        header->setMinimumSectionSize(std::max(header->minimumSectionSize(), header->sectionSizeHint(last)));
}

// How many pixels the combo's text field, at the combo's size hint, lacks for its longest
// item. The hint counts whole pixels of text while fractional font sizes (144 DPI) draw
// a little wider, and the style draws the label one pixel in from each side of the field.
int ComboFieldShortfall(const QComboBox *combo)
{
    const QFontMetricsF metrics(combo->font());
    qreal longest = 0;
    for (int i = 0; i < combo->count(); ++i) {
        const qreal icon = combo->itemIcon(i).isNull() ? 0 : combo->iconSize().width() + 4;
        longest = std::max(longest, metrics.horizontalAdvance(combo->itemText(i)) + icon);
    }
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.rect = QRect(QPoint(), combo->sizeHint());
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    return std::max(0, int(std::ceil(longest)) + 2 - field.width());
}

// The thirteen actions in WindowAction's order.
struct ActionEntry
{
    QAction *MainWindow::*member;
    const char *text;
    const char *icon;
    const char *shortcut;
    QKeySequence::StandardKey standardKey;
    const char *tip;
};

const ActionEntry Actions[WindowActionCount] = {
    { &MainWindow::actAddSrcFiles, QT_TR_NOOP("Add Source(s)"), ":IMG_ADD_FILE", QT_TR_NOOP("Alt+A"), QKeySequence::UnknownKey, QT_TR_NOOP("Add one or more source files") },
    { &MainWindow::actAddSrcFolder, QT_TR_NOOP("Add Folder"), ":IMG_ADD_FOLDER", nullptr, QKeySequence::UnknownKey, QT_TR_NOOP("Add a source file folder") },
    { &MainWindow::actAddUrl, QT_TR_NOOP("Add Url"), ":IMG_ADD_URL", nullptr, QKeySequence::UnknownKey, QT_TR_NOOP("Add an url and download the file from the internet") },
    { &MainWindow::actExit, QT_TR_NOOP("E&xit"), nullptr, nullptr, QKeySequence::Quit, QT_TR_NOOP("Exit the application") },
    { &MainWindow::actSelectAll, QT_TR_NOOP("Select All"), ":IMG_SELECT_ALL", nullptr, QKeySequence::SelectAll, QT_TR_NOOP("Select all the source file(s)") },
    { &MainWindow::actRemove, QT_TR_NOOP("Remove"), ":IMG_REMOVE", nullptr, QKeySequence::Delete, QT_TR_NOOP("Remove the selected source file(s)") },
    { &MainWindow::actPlaySrc, QT_TR_NOOP("Play Source"), ":IMG_MOVIE", nullptr, QKeySequence::UnknownKey, QT_TR_NOOP("Play the selected source file") },
    { &MainWindow::actPlayTgt, QT_TR_NOOP("Play Target"), ":IMG_MOVIE", nullptr, QKeySequence::UnknownKey, QT_TR_NOOP("Play the selected target file") },
    { &MainWindow::actConvert, QT_TR_NOOP("Convert Source(s)"), ":IMG_CONVERT", QT_TR_NOOP("Alt+C"), QKeySequence::UnknownKey, QT_TR_NOOP("Convert the selected source file(s)") },
    { &MainWindow::actOpenTarget, QT_TR_NOOP("Open Target(s)"), ":IMG_OPENTARGET", QT_TR_NOOP("Alt+T"), QKeySequence::UnknownKey, QT_TR_NOOP("Open the target(s) folder") },
    { &MainWindow::actEdit, QT_TR_NOOP("Edit"), ":IMG_EDIT", nullptr, QKeySequence::UnknownKey, QT_TR_NOOP("Edit settings during conversion") },
    { &MainWindow::actContactUs, QT_TR_NOOP("Contact Us"), nullptr, nullptr, QKeySequence::UnknownKey, QT_TR_NOOP("Contact us through email") },
    { &MainWindow::actAbout, QT_TR_NOOP("&About"), nullptr, nullptr, QKeySequence::UnknownKey, QT_TR_NOOP("Show the application's  About box") },
};
} // namespace

void MainWindow::CreateActions()
{
    for (int a = 0; a < WindowActionCount; ++a) {
        const ActionEntry &entry = Actions[a];
        auto *action = new QAction(tr(entry.text), this);
        action->setObjectName(QString::fromLatin1(WindowActionName(WindowAction(a))));
        if (entry.icon)
            action->setIcon(QIcon(QString::fromLatin1(entry.icon)));
        if (entry.shortcut)
            action->setShortcut(QKeySequence(tr(entry.shortcut)));
        else if (entry.standardKey != QKeySequence::UnknownKey)
            action->setShortcut(QKeySequence(entry.standardKey));
        action->setToolTip(tr(entry.tip));
        this->*entry.member = action;
    }
}

void MainWindow::CreateMenusAndToolBar()
{
    fileMenu = menuBar()->addMenu(tr("&File"));
    helpMenu = menuBar()->addMenu(tr("&Help"));
    mainToolBar = addToolBar(tr("Reelway Video Converter"));
    mainToolBar->setMovable(false);
    mainToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    // nullptr stands for a separator.
    const QList<QAction *> menu = { actAddSrcFiles, actAddSrcFolder, actAddUrl, nullptr, actPlaySrc, actPlayTgt, nullptr,
                                    actEdit, nullptr, actConvert, actOpenTarget, nullptr, actExit };
    const QList<QAction *> tools = { actAddSrcFiles, actAddSrcFolder, actAddUrl, nullptr, actSelectAll, actRemove, nullptr,
                                     actPlaySrc, actPlayTgt, nullptr, actEdit, nullptr, actConvert, actOpenTarget, nullptr };
    for (QAction *action : menu)
        action ? void(fileMenu->addAction(action)) : void(fileMenu->addSeparator());
    for (QAction *action : tools)
        action ? mainToolBar->addAction(action) : void(mainToolBar->addSeparator());
    mainToolBar->installEventFilter(this);
    helpMenu->addAction(actContactUs);
    helpMenu->addAction(actAbout);
}

void MainWindow::CreateViews()
{
    srcView = new QTreeView;
    srcView->setObjectName(QStringLiteral("srcView"));
    SetupList(srcView, srcModel, { tr("Source"), tr("Format"), tr("Size(MB)"), tr("Folder"), tr("Convert") },
              QStringLiteral("SourceFileListIndex"));
    srcView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    srcView->setSelectionBehavior(QAbstractItemView::SelectRows);
    srcView->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    srcView->setColumnWidth(0, 100);
    for (int c = 1; c < SrcIndexColumn; ++c)
        srcView->setColumnWidth(c, 80);
    FitHeaderTexts(srcView);
    srcSelModel = srcView->selectionModel();

    tgtView = new QTreeView;
    tgtView->setObjectName(QStringLiteral("tgtView"));
    SetupList(tgtView, tgtModel, { tr("Target (Read-Only)"), tr("Format"), tr("Size(MB)"), tr("Folder") },
              QStringLiteral("TgtFileListIndex"));
    tgtView->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    tgtView->setColumnWidth(0, 110);
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
    // A long stored folder must not widen the window past the screen: the field scrolls.
    tgtFolderCmB->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    tgtFolderCmB->setMinimumContentsLength(20);
    browseBtn = new QPushButton(tr("Browse..."));
    browseBtn->setObjectName(QStringLiteral("browseBtn"));
    tgtFmtLabel = new QLabel(tr("Target Format:"));
    tgtFmtCmB = new QComboBox;
    tgtFmtCmB->setObjectName(QStringLiteral("tgtFmtCmB"));
    tgtFmtCmB->setMaxVisibleItems(20);
    tgtFmtCmB->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // Styles that open the list as a popup over the current item ignore the
    // limit and cover the screen with all seventy formats; a plain list scrolls.
    tgtFmtCmB->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    fmtSettingsBtn = new QPushButton(tr("Format Settings..."));
    fmtSettingsBtn->setObjectName(QStringLiteral("fmtSettingsBtn"));
    saveTgtLabel = new QLabel(tr("Save Target:"));
    saveTgtCmB = new QComboBox;
    saveTgtCmB->setObjectName(QStringLiteral("saveTgtCmB"));
    saveTgtCmB->setSizeAdjustPolicy(QComboBox::AdjustToContents);
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
    controlGrid->addWidget(effectsNote, 3, 1, 1, 5);
    controlBox = new QWidget;
    controlBox->setLayout(controlGrid);
    PlaceSaveTarget(false);
    controlBox->installEventFilter(this);
    controlBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);

    mainLayout = new QVBoxLayout;
    mainLayout->addWidget(listSplitter);
    mainLayout->addWidget(controlBox);
    centralBox = new QWidget;
    centralBox->setLayout(mainLayout);
    setCentralWidget(centralBox);
}

void MainWindow::WidenCombosToItems()
{
    for (QComboBox *combo : { tgtFmtCmB, saveTgtCmB }) {
        if (const int shortfall = ComboFieldShortfall(combo))
            combo->setMinimumWidth(combo->sizeHint().width() + shortfall);
    }
}

// Row 2 stays empty, and takes no room, while Save Target shares Target Format's row.
void MainWindow::PlaceSaveTarget(bool ownRow)
{
    controlGrid->removeWidget(saveTgtLabel);
    controlGrid->removeWidget(saveTgtCmB);
    controlGrid->addWidget(saveTgtLabel, ownRow ? 2 : 1, ownRow ? 0 : 4);
    controlGrid->addWidget(saveTgtCmB, ownRow ? 2 : 1, ownRow ? 1 : 5);
    saveTgtOwnRow = ownRow;
}

// One row for Target Format and Save Target needs more than 1100 px with 144-DPI fonts,
// more than a 1024-wide screen holds: below the width one row needs, Save Target moves down.
void MainWindow::FitControlsToWidth()
{
    if (!saveTgtOwnRow)
        oneRowControlsWidth = controlGrid->minimumSize().width();
    if (saveTgtOwnRow != (controlBox->width() < oneRowControlsWidth))
        PlaceSaveTarget(!saveTgtOwnRow);
}

// Narrower than its buttons with their texts, the tool bar shows the icons only, the texts
// staying in the tips and the File menu, rather than hide actions behind its extension button.
void MainWindow::FitToolBarToWidth()
{
    if (mainToolBar->toolButtonStyle() == Qt::ToolButtonTextUnderIcon)
        textToolBarWidth = mainToolBar->sizeHint().width();
    mainToolBar->setToolButtonStyle(mainToolBar->width() < textToolBarWidth ? Qt::ToolButtonIconOnly
                                                                           : Qt::ToolButtonTextUnderIcon);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == controlBox)
            FitControlsToWidth();
        else if (watched == mainToolBar)
            FitToolBarToWidth();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::ConnectSignals()
{
    const QList<void (MainWindow::*)()> handlers = { &MainWindow::AddSrcFiles, &MainWindow::AddSrcFolder, &MainWindow::AddUrl,
        &MainWindow::Exit, &MainWindow::SelectAllSrc, &MainWindow::RemoveSrc, qOverload<>(&MainWindow::PlaySrc),
        qOverload<>(&MainWindow::PlayTgt), &MainWindow::Convert, &MainWindow::OpenTarget, &MainWindow::Settings,
        &MainWindow::ContactUs, &MainWindow::About };
    for (int a = 0; a < WindowActionCount; ++a)
        connect(this->*Actions[a].member, &QAction::triggered, this, handlers.at(a));
    connect(tgtFolderCmB, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { UpdateOpenTgtBtn(tgtFolderCmB->itemText(index)); });
    connect(tgtFolderCmB, &QComboBox::editTextChanged, this, qOverload<const QString &>(&MainWindow::UpdateOpenTgtBtn));
    connect(browseBtn, &QPushButton::clicked, this, &MainWindow::BrowseTgtFolder);
    connect(tgtFmtCmB, qOverload<int>(&QComboBox::currentIndexChanged), this, &MainWindow::TgtFmtChanged);
    connect(fmtSettingsBtn, &QPushButton::clicked, this, &MainWindow::TgtFmtSettingsClicked);
    connect(effectsNote, &QLabel::linkActivated, this, &MainWindow::OpenEffectsNote);
    connect(srcSelModel, &QItemSelectionModel::selectionChanged, this, &MainWindow::SrcSelChanged);
    // A header click moves the selected rows without a selection signal; the
    // batch writes its results into the rows kept here, so they must follow.
    connect(&srcModel, &QAbstractItemModel::layoutChanged, this,
            [this] { SrcSelChanged(QItemSelection(), QItemSelection()); });
    connect(srcView, &QTreeView::doubleClicked, this, qOverload<const QModelIndex &>(&MainWindow::PlaySrc));
    connect(tgtSelModel, &QItemSelectionModel::selectionChanged, this, &MainWindow::TgtSelChanged);
    connect(tgtView, &QTreeView::doubleClicked, this, qOverload<const QModelIndex &>(&MainWindow::PlayTgt));
    connect(&convertWatcher, &QFutureWatcher<ItemConvertResult>::resultReadyAt, this, &MainWindow::ConvertResultReadyAt);
    // A session that ends, or any other quit, leaves as closing the window does.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::SaveWindowState);
}

void MainWindow::CreateStatusBar()
{
    auto *titleLabel = new QLabel(QStringLiteral("Reelway Video Converter 1.0.4  \u00a9 Korvent"));
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    statusBar()->addPermanentWidget(titleLabel);
}
QAction *MainWindow::Action(WindowAction action) const
{
    return this->*Actions[action].member;
}
