#pragma once

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QString;
class QVBoxLayout;

void SaveReportCResults(bool report);

// Summary of a finished batch. `counts` points at the caller's four counters
// (selected, succeeded, failed, canceled); both it and `folder` must outlive the dialog.
class ConvertResultsDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(ConvertResultsDlg)

public:
    ConvertResultsDlg(const int *counts, const QString &folder, QWidget *parent = nullptr);

protected slots:
    void accept() override;
    void reject() override;

private:
    QLabel *summaryLabel = nullptr;
    QLabel *noteLabel = nullptr;
    QCheckBox *noShowCheck = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
    QVBoxLayout *mainLayout = nullptr;
    const int *counts = nullptr;
    const QString &folder;
};
