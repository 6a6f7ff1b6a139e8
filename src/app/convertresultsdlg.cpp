#include "convertresultsdlg.h"

#include "convert/preferences.h"
#include "dialogs/growtocontents.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

void SaveReportCResults(bool report)
{
    Preferences::SetReportCResults(report);
}

ConvertResultsDlg::ConvertResultsDlg(const int *counts, const QString &folder, QWidget *parent)
    : QDialog(parent, Qt::WindowCloseButtonHint), counts(counts), folder(folder)
{
    const int selected = counts[CountSelected];
    const int succeeded = counts[CountSucceeded];
    const int failed = counts[CountFailed];
    const int canceled = counts[CountCanceled];

    summaryLabel = new QLabel(QStringLiteral("Selected Files: %1\nSucceeded Files: %2\nFailed Files: %3\nCanceled Files: %4")
                                  .arg(selected)
                                  .arg(succeeded)
                                  .arg(failed)
                                  .arg(canceled),
                              this);
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));

    if (failed > 0) {
        noteLabel = new QLabel(QStringLiteral("Note: Files failed in a batch conversion on a computer with multi-core processer\n"
                                              "may succeed if they are converted separately."),
                               this);
        noteLabel->setObjectName(QStringLiteral("noteLabel"));
    }

    noShowCheck = new QCheckBox(QStringLiteral("Do not show again"), this);
    noShowCheck->setObjectName(QStringLiteral("noShowCheck"));

    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    QPushButton *openBtn = buttonBox->button(QDialogButtonBox::Ok);
    openBtn->setText(QStringLiteral("Open Target"));
    openBtn->setEnabled(succeeded > 0);
    buttonBox->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("OK"));
    connect(buttonBox, &QDialogButtonBox::accepted, this, &ConvertResultsDlg::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &ConvertResultsDlg::reject);

    mainLayout = new QVBoxLayout(this);
    mainLayout->addWidget(summaryLabel);
    if (noteLabel)
        mainLayout->addWidget(noteLabel);
    mainLayout->addWidget(noShowCheck);
    mainLayout->addWidget(buttonBox);

    setWindowTitle(QStringLiteral("Convert Results"));
    GrowToContents(this, QSize(410, 160));
}

void ConvertResultsDlg::SetDetails(const QString &text)
{
    if (detailsEdit || text.isEmpty())
        return;
    detailsEdit = new QPlainTextEdit(text, this);
    detailsEdit->setObjectName(QStringLiteral("detailsEdit"));
    detailsEdit->setReadOnly(true);
    detailsEdit->setMinimumHeight(fontMetrics().lineSpacing() * 8);
    detailsEdit->hide();
    mainLayout->insertWidget(mainLayout->indexOf(noShowCheck), detailsEdit, 1);

    QPushButton *detailsBtn = buttonBox->addButton(tr("Details"), QDialogButtonBox::ActionRole);
    detailsBtn->setObjectName(QStringLiteral("detailsBtn"));
    detailsBtn->setCheckable(true);
    connect(detailsBtn, &QPushButton::toggled, this, [this](bool shown) {
        detailsEdit->setVisible(shown);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        adjustSize();
    });
}

void ConvertResultsDlg::accept()
{
    SaveReportCResults(!noShowCheck->isChecked());
    // An empty or relative text would resolve against the working directory,
    // which is not a folder the user chose.
    if (QDir::isAbsolutePath(folder) && QDir(folder).exists())
        QDesktopServices::openUrl(QUrl::fromLocalFile(QDir(folder).absolutePath()));
    QDialog::accept();
}

void ConvertResultsDlg::reject()
{
    SaveReportCResults(!noShowCheck->isChecked());
    QDialog::reject();
}
