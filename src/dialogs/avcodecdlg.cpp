#include "dialogs/avcodecdlg.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

AVCodecDlg::AVCodecDlg(const QString &title, ConvertSettings *settings, QWidget *parent)
    : QDialog(parent, Qt::WindowCloseButtonHint)
    , settings(settings)
{
    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttonBox->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));

    mainLayout = new QVBoxLayout;
    mainLayout->addWidget(buttonBox);
    setLayout(mainLayout);

    connect(buttonBox, &QDialogButtonBox::accepted, this, &AVCodecDlg::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &AVCodecDlg::reject);

    setWindowTitle(title);
    // No size yet: each dialog grows to its own widgets once it has built them.
}

void AVCodecDlg::accept()
{
    QDialog::accept();
}

void AVCodecDlg::reject()
{
    QDialog::reject();
}
