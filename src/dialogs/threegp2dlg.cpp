#include "dialogs/threegp2dlg.h"

#include "convert/convertsettings.h"
#include "dialogs/growtocontents.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

ThreeGP2Dlg::ThreeGP2Dlg(ConvertSettings *settings, QWidget *parent)
    : AVCodecDlg(tr("3GP2 Settings"), settings, parent)
{
    BuildWidgets();
    GrowToContents(this, QSize(400, 100));
}

void ThreeGP2Dlg::BuildWidgets()
{
    videoSizeLabel = new QLabel(tr("Video Size: "), this);
    videoSizeLabel->setObjectName(QStringLiteral("videoSizeLabel"));
    videoSizeCombo = new QComboBox(this);
    videoSizeCombo->setObjectName(QStringLiteral("videoSizeCombo"));
    for (int i = 0; i < ThreeGPSizesCount; ++i)
        videoSizeCombo->addItem(QString::fromLatin1(ThreeGPSizes[i]), i);

    auto *container = new QWidget(this);
    auto *grid = new QGridLayout(container);
    grid->addWidget(videoSizeLabel, 0, 0);
    grid->addWidget(videoSizeCombo, 0, 1);
    mainLayout->insertWidget(mainLayout->indexOf(buttonBox), container);

    LoadSettings();
}

void ThreeGP2Dlg::LoadSettings()
{
    // The index comes from the record unchecked; one outside the list selects nothing.
    const int size = settings->threeGPSize;
    const QString text = size >= 0 && size < ThreeGPSizesCount ? QString::fromLatin1(ThreeGPSizes[size]) : QString();
    videoSizeCombo->setCurrentIndex(videoSizeCombo->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive));
}

bool ThreeGP2Dlg::SaveSettings()
{
    settings->threeGPSize = videoSizeCombo->currentData().toInt();
    return true;
}

void ThreeGP2Dlg::accept()
{
    if (SaveSettings())
        AVCodecDlg::accept();
}
