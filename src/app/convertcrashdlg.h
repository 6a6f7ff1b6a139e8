#pragma once

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QVBoxLayout;

void SaveReportCrash(bool report);

// Shown at start-up after a run that did not shut down cleanly.
class ConvertCrashDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(ConvertCrashDlg)

public:
    explicit ConvertCrashDlg(QWidget *parent = nullptr);

protected slots:
    void accept() override;

private:
    QLabel *messageLabel = nullptr;
    QCheckBox *noShowCheck = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
    QVBoxLayout *mainLayout = nullptr;
};
