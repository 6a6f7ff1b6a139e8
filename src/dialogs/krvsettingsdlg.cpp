#include "dialogs/krvsettingsdlg.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

KRVSettingsDlg::KRVSettingsDlg(QWidget *parent)
    : QDialog(parent, Qt::WindowCloseButtonHint)
{
    tabWidget = new QTabWidget(this);
    tabWidget->setObjectName(QStringLiteral("tabWidget"));
    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttonBox->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));

    mainLayout = new QVBoxLayout;
    mainLayout->addWidget(tabWidget);
    mainLayout->addWidget(buttonBox);
    setLayout(mainLayout);

    connect(buttonBox, &QDialogButtonBox::accepted, this, &KRVSettingsDlg::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &KRVSettingsDlg::reject);
}

void KRVSettingsDlg::accept()
{
    QDialog::accept();
}

void KRVSettingsDlg::reject()
{
    QDialog::reject();
}
