#pragma once

#include <QDialog>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>


class QAbstractButton;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

// Fetches one media file from a web address with the external downloader and
// copies it into the user's downloads folder; *outPath names the copy.
class AVDownloadDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(AVDownloadDlg)

public:
    explicit AVDownloadDlg(QString *outPath, QWidget *parent = nullptr);
    ~AVDownloadDlg() override;

protected slots:
    void download(QAbstractButton *button);
    void accept() override;
    void reject() override;
    void downloaded(int exitCode, QProcess::ExitStatus exitStatus);

private:
    void StartDownload(const QString &url);
    void StopProcess();

    QString *outPath = nullptr;
    QLabel *urlLabel = nullptr;
    QLineEdit *urlEdit = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
    QPushButton *downloadBtn = nullptr;
    QPushButton *okBtn = nullptr;
    QProgressBar *progressBar = nullptr;
    QLabel *statusLabel = nullptr;
    QVBoxLayout *mainLayout = nullptr;
    // A child of the dialog; each attempt replaces the last one's.
    QProcess *process = nullptr;
    QTemporaryDir tempDir;
    QString tempPath;
};
