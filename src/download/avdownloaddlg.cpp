#include "download/avdownloaddlg.h"

#include "convert/avconvertthread.h"
#include "convert/boundprocess.h"
#include "dialogs/growtocontents.h"
#include "krv/gen/plugins.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

// The downloader keeps an unfinished file as "<name>.part" (fragments as
// "<name>.part-FragN", with its state in "<name>.ytdl") and leaves it behind
// when a transfer breaks off; such a file is never the result.
bool IsUnfinishedFile(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".part")) || fileName.endsWith(QLatin1String(".ytdl"))
           || fileName.contains(QLatin1String(".part-Frag"));
}

// The one finished file in folder, or an empty string when there is none, more than one,
// or anything an unfinished transfer left behind.
QString SingleFinishedFile(const QString &folder)
{
    const QFileInfoList files = QDir(folder).entryInfoList({ QStringLiteral("*.*") },
                                                           QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                                                           QDir::Unsorted);
    QString found;
    for (const QFileInfo &file : files) {
        if (IsUnfinishedFile(file.fileName()) || !found.isEmpty())
            return QString();
        found = file.absoluteFilePath();
    }
    return QFileInfo(found).size() > 0 ? found : QString();
}

// A server that breaks off without having sent a length leaves a file the downloader
// believes whole; only reading it tells.
bool IsReadableMedia(const QString &file)
{
    BoundProcess probe;
    probe.setStandardInputFile(QProcess::nullDevice());
    probe.setStandardOutputFile(QProcess::nullDevice());
    probe.setStandardErrorFile(QProcess::nullDevice());
    probe.start(HelperProgramPath(HelperProgram::Prober),
                { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_format"), file });
    if (!probe.waitForFinished(10000)) {
        probe.kill();
        probe.waitForFinished(1000);
        return false;
    }
    return probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

bool EmptyFolder(const QString &folder)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        const bool removed = entry.isDir() && !entry.isSymLink()
                                 ? QDir(entry.absoluteFilePath()).removeRecursively()
                                 : QFile::remove(entry.absoluteFilePath());
        if (!removed)
            return false;
    }
    return true;
}

} // namespace

AVDownloadDlg::AVDownloadDlg(QString *outPath, QWidget *parent)
    : QDialog(parent, Qt::WindowCloseButtonHint), outPath(outPath)
{
    outPath->clear();

    auto *urlWidget = new QWidget(this);
    auto *urlGrid = new QGridLayout(urlWidget);
    urlGrid->setContentsMargins(0, 0, 0, 0);
    urlLabel = new QLabel(tr("Url: "), urlWidget);
    urlEdit = new QLineEdit(urlWidget);
    urlEdit->setObjectName(QStringLiteral("urlEdit"));
    urlEdit->setPlaceholderText(tr("e.g. ") + QStringLiteral("https://www.youtube.com/watch?v=aqz-KE-bpKQ"));
    // Room for the whole example: the line edit's own hint is 17 "x" wide plus its frame.
    const QFontMetrics metrics = urlEdit->fontMetrics();
    urlEdit->setMinimumWidth(urlEdit->sizeHint().width() - 17 * metrics.horizontalAdvance(QLatin1Char('x'))
                             + metrics.horizontalAdvance(urlEdit->placeholderText()));
    urlGrid->addWidget(urlLabel, 0, 0);
    urlGrid->addWidget(urlEdit, 0, 1);

    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    downloadBtn = buttonBox->button(QDialogButtonBox::Apply);
    downloadBtn->setObjectName(QStringLiteral("downloadBtn"));
    downloadBtn->setText(tr("Download"));
    okBtn = buttonBox->button(QDialogButtonBox::Ok);
    okBtn->setObjectName(QStringLiteral("okBtn"));
    okBtn->setEnabled(false);

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 0);
    progressBar->setTextVisible(false);
    progressBar->hide();
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->hide();

    mainLayout = new QVBoxLayout(this);
    mainLayout->addWidget(urlWidget);
    mainLayout->addWidget(progressBar);
    mainLayout->addWidget(statusLabel);
    mainLayout->addWidget(buttonBox);

    connect(buttonBox, &QDialogButtonBox::clicked, this, &AVDownloadDlg::download);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &AVDownloadDlg::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &AVDownloadDlg::reject);

    setWindowTitle(tr("Download Video/Audio from internet"));
    GrowToContents(this, QSize(410, 120));
}

AVDownloadDlg::~AVDownloadDlg()
{
    // The temporary folder goes with the members; the downloader must not be
    // left writing into it, nor outlive the dialog.
    StopProcess();
}

void AVDownloadDlg::download(QAbstractButton *button)
{
    if (button != downloadBtn)
        return;
    urlEdit->setEnabled(false);
    okBtn->setEnabled(false);
    downloadBtn->setEnabled(false);
    statusLabel->hide();
    progressBar->show();
    StartDownload(urlEdit->text());
}

void AVDownloadDlg::accept()
{
    QDialog::accept();
}

void AVDownloadDlg::reject()
{
    if (!outPath->isEmpty() && QFileInfo::exists(*outPath))
        QFile::remove(*outPath);
    outPath->clear();
    StopProcess();
    QDialog::reject();
}

void AVDownloadDlg::StopProcess()
{
    if (!process)
        return;
    // A run that ends while the dialog is being rejected or destroyed must not
    // copy a file any more.
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(5000);
    }
}

void AVDownloadDlg::StartDownload(const QString &url)
{
    outPath->clear();
    // Set again only once the folder is empty, so an attempt that stops early
    // never counts what an earlier attempt left there.
    tempPath.clear();

    StopProcess();
    delete process;
    process = new BoundProcess(this);
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &AVDownloadDlg::downloaded);

    const QString program = HelperProgramPath(HelperProgram::Downloader);
    if (!QFileInfo::exists(program) || !tempDir.isValid() || !EmptyFolder(tempDir.path())) {
        downloaded(-1, QProcess::CrashExit);
        return;
    }
    tempPath = tempDir.path();

    // "--" ends the options, so an address beginning with "-" stays an address.
    process->start(program,
                   { QStringLiteral("-o"), tempPath + QStringLiteral("/%(title)s.%(ext)s"), QStringLiteral("--"), url },
                   QIODevice::ReadWrite);
    if (!process->waitForStarted(10000)) {
        StopProcess();
        downloaded(-1, QProcess::CrashExit);
    }
}

void AVDownloadDlg::downloaded(int exitCode, QProcess::ExitStatus exitStatus)
{
    outPath->clear();

    // The downloader says when a transfer broke off, even where the server sent no length
    // that the file could be measured against.
    const bool exitedCleanly = exitStatus == QProcess::NormalExit && exitCode == 0;
    const QString file = exitedCleanly && !tempPath.isEmpty() ? SingleFinishedFile(tempPath) : QString();
    if (!file.isEmpty() && IsReadableMedia(file)) {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        if (folder.isEmpty())
            folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        const QFileInfo info(file);
        QString destination;
        // The standard folder may not have been made yet on a fresh account.
        if (!folder.isEmpty() && QDir().mkpath(folder))
            MakeUniqueFilePath(destination, folder, info.completeBaseName(), QLatin1Char('.') + info.suffix());
        if (!destination.isEmpty() && QFile::copy(file, destination) && QFileInfo::exists(destination))
            *outPath = destination;
    }

    urlEdit->setEnabled(true);
    progressBar->hide();
    statusLabel->setText(outPath->isEmpty()
                             ? tr("Download failed. Please check the url or internet connection.")
                             : tr("Download completed. The downloaded file will be added into source files."));
    statusLabel->show();
    GrowToContents(this, QSize(410, 120));
    okBtn->setEnabled(!outPath->isEmpty());
    downloadBtn->setEnabled(outPath->isEmpty());
    // Disabling Download moved the focus on to Cancel, where a typed blank would close
    // the dialog; after a failure the address is what the user corrects.
    if (outPath->isEmpty())
        urlEdit->setFocus();
}
