#include "dialogs/scaledlg.h"

#include "convert/convertsettings.h"
#include "dialogs/growtocontents.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int MinSize = 1;
constexpr int MaxSize = 50000;

int HeightFromWidth(int aspect, int width, int height)
{
    switch (aspect) {
    case 0:
        return width * 3 / 4;
    case 1:
        return width * 9 / 16;
    default:
        return height;
    }
}

int WidthFromHeight(int aspect, int height, int width)
{
    switch (aspect) {
    case 0:
        return height * 4 / 3;
    case 1:
        return height * 16 / 9;
    default:
        return width;
    }
}

} // namespace

ScaleDlg::ScaleDlg(ConvertSettings *settings, QWidget *parent)
    : AVCodecDlg(tr("Format Settings"), settings, parent)
{
    BuildWidgets();
    GrowToContents(this, QSize(400, 180));
}

void ScaleDlg::BuildWidgets()
{
    scaleCheck = new QCheckBox(tr("Scale"), this);
    scaleCheck->setObjectName(QStringLiteral("scaleCheck"));
    keepAspectCheck = new QCheckBox(tr("Keep Aspect"), this);
    keepAspectCheck->setObjectName(QStringLiteral("keepAspectCheck"));
    aspectCombo = new QComboBox(this);
    aspectCombo->setObjectName(QStringLiteral("aspectCombo"));
    // "Auto" is deliberately not offered.
    for (int i = 0; i < 2; ++i)
        aspectCombo->addItem(QString::fromLatin1(AspectRatios[i]), i);
    widthLabel = new QLabel(tr("Width:"), this);
    widthLabel->setObjectName(QStringLiteral("widthLabel"));
    widthSpin = new QSpinBox(this);
    widthSpin->setObjectName(QStringLiteral("widthSpin"));
    widthSpin->setRange(MinSize, MaxSize);
    heightLabel = new QLabel(tr("Height:"), this);
    heightLabel->setObjectName(QStringLiteral("heightLabel"));
    heightSpin = new QSpinBox(this);
    heightSpin->setObjectName(QStringLiteral("heightSpin"));
    heightSpin->setRange(MinSize, MaxSize);

    auto *container = new QWidget(this);
    auto *grid = new QGridLayout(container);
    grid->addWidget(scaleCheck, 0, 0);
    grid->addWidget(keepAspectCheck, 1, 1);
    grid->addWidget(aspectCombo, 1, 2, 1, 2);
    grid->addWidget(widthLabel, 2, 1);
    grid->addWidget(widthSpin, 2, 2);
    grid->addWidget(heightLabel, 3, 1);
    grid->addWidget(heightSpin, 3, 2);
    mainLayout->insertWidget(mainLayout->indexOf(buttonBox), container);

    LoadSettings();

    // Connected only after loading, so filling the controls recomputes nothing.
    connect(scaleCheck, &QCheckBox::clicked, this, &ScaleDlg::Scale);
    connect(keepAspectCheck, &QCheckBox::clicked, this, &ScaleDlg::ScaleKeepAspect);
    connect(aspectCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, &ScaleDlg::scaleAspectChanged);
    connect(widthSpin, qOverload<int>(&QSpinBox::valueChanged), this, &ScaleDlg::scaleWidthChanged);
    connect(heightSpin, qOverload<int>(&QSpinBox::valueChanged), this, &ScaleDlg::scaleHeightChanged);
}

void ScaleDlg::LoadSettings()
{
    scaleCheck->setChecked(settings->scale);
    keepAspectCheck->setChecked(settings->scaleKA);
    keepAspectCheck->setEnabled(settings->scale);
    aspectCombo->setCurrentIndex(settings->scaleA);
    aspectCombo->setEnabled(settings->scale && settings->scaleKA);
    widthSpin->setValue(settings->scaleW);
    heightSpin->setValue(settings->scaleH);
    widthLabel->setEnabled(settings->scale);
    widthSpin->setEnabled(settings->scale);
    heightLabel->setEnabled(settings->scale);
    heightSpin->setEnabled(settings->scale);
}

bool ScaleDlg::SaveSettings()
{
    settings->scale = scaleCheck->isChecked();
    settings->scaleKA = keepAspectCheck->isChecked();
    settings->scaleA = aspectCombo->currentIndex();
    settings->scaleW = widthSpin->value();
    settings->scaleH = heightSpin->value();
    return true;
}

void ScaleDlg::accept()
{
    if (widthSpin->value() % 2 == 0 && heightSpin->value() % 2 == 0) {
        if (SaveSettings())
            AVCodecDlg::accept();
        return;
    }
    QMessageBox::warning(this, tr("Format Settings"), tr("Scale width or height must be even number!"),
                         QMessageBox::Ok);
}

void ScaleDlg::Scale(bool checked)
{
    keepAspectCheck->setEnabled(checked);
    aspectCombo->setEnabled(checked && keepAspectCheck->isChecked());
    widthLabel->setEnabled(checked);
    widthSpin->setEnabled(checked);
    heightLabel->setEnabled(checked);
    heightSpin->setEnabled(checked);
}

void ScaleDlg::ScaleKeepAspect(bool checked)
{
    aspectCombo->setEnabled(checked);
    if (checked)
        UpdateHeight(aspectCombo->currentIndex(), widthSpin->value());
}

void ScaleDlg::scaleAspectChanged(int index)
{
    UpdateHeight(index, widthSpin->value());
}

void ScaleDlg::scaleWidthChanged(int width)
{
    if (keepAspectCheck->isChecked())
        UpdateHeight(aspectCombo->currentIndex(), width);
}

void ScaleDlg::scaleHeightChanged(int height)
{
    if (!keepAspectCheck->isChecked())
        return;
    const QSignalBlocker blocker(widthSpin);
    widthSpin->setValue(WidthFromHeight(aspectCombo->currentIndex(), height, widthSpin->value()));
}

void ScaleDlg::UpdateHeight(int aspect, int width)
{
    // Blocked so that an update never runs the reverse recomputation.
    const QSignalBlocker blocker(heightSpin);
    heightSpin->setValue(HeightFromWidth(aspect, width, heightSpin->value()));
}
