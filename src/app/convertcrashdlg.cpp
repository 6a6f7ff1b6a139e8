#include "convertcrashdlg.h"

#include "convert/preferences.h"
#include "dialogs/growtocontents.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

void SaveReportCrash(bool report)
{
    Preferences::SetReportCrash(report);
}

ConvertCrashDlg::ConvertCrashDlg(QWidget *parent)
    : QDialog(parent, Qt::WindowCloseButtonHint)
{
    messageLabel = new QLabel(QStringLiteral("Reelway Video Converter did not shut down correctly.\n"
                                             "Note: Files failed in a batch conversion on a computer with multi-core processer\n"
                                             "may succeed if they are converted separately."),
                              this);
    messageLabel->setObjectName(QStringLiteral("messageLabel"));

    noShowCheck = new QCheckBox(QStringLiteral("Do not show again"), this);
    noShowCheck->setObjectName(QStringLiteral("noShowCheck"));

    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    connect(buttonBox, &QDialogButtonBox::accepted, this, &ConvertCrashDlg::accept);

    mainLayout = new QVBoxLayout(this);
    mainLayout->addWidget(messageLabel);
    mainLayout->addWidget(noShowCheck);
    mainLayout->addWidget(buttonBox);

    GrowToContents(this, QSize(410, 160));
}

// Only the OK button stores the choice; the close button and Escape go through
// QDialog's own reject and leave the setting untouched.
void ConvertCrashDlg::accept()
{
    SaveReportCrash(!noShowCheck->isChecked());
    QDialog::accept();
}
