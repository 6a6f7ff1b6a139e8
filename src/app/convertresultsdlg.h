#pragma once

#include "convert/convertcount.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;
class QVBoxLayout;

void SaveReportCResults(bool report);

// Summary of a finished batch. `counts` points at the caller's ConvertCountKinds
// counters and must outlive the dialog.
class ConvertResultsDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(ConvertResultsDlg)

public:
    ConvertResultsDlg(const int *counts, const QString &folder, QWidget *parent = nullptr);

    // What went wrong, behind a "Details" button; the dialog's first look stays as it is.
    void SetDetails(const QString &text);

protected slots:
    void accept() override;
    void reject() override;

private:
    QLabel *summaryLabel = nullptr;
    QLabel *noteLabel = nullptr;
    QCheckBox *noShowCheck = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
    QPlainTextEdit *detailsEdit = nullptr;
    QVBoxLayout *mainLayout = nullptr;
    const int *counts = nullptr;
    const QString folder;
};
