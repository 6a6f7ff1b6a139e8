#include "dialogs/settingsdlg.h"

#include "convert/convertsettings.h"
#include "convert/preferences.h"
#include "dialogs/growtocontents.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QLabel *NewLabel(const QString &text, const char *name, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QSlider *NewSlider(int minimum, int maximum, const char *name, QWidget *parent)
{
    auto *slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QLatin1String(name));
    slider->setRange(minimum, maximum);
    return slider;
}

QSpinBox *NewOffsetSpin(const char *name, QWidget *parent)
{
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(0, 100);
    return spin;
}

QComboBox *NewListCombo(const char *const *texts, int count, const char *name, QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->setEditable(false);
    for (int i = 0; i < count; ++i)
        combo->addItem(QObject::tr(texts[i]), i);
    return combo;
}

QString TenthText(int position)
{
    return QString::number(position * 0.1, 'g', 6);
}

// The record's value is stored unchecked, so it is bounded before rounding
// (a huge or NaN value would overflow the conversion to int).
int TenthPosition(double value, const QSlider *slider)
{
    const double position = value / 0.1;
    if (!(position >= slider->minimum()))
        return slider->minimum();
    if (position > slider->maximum())
        return slider->maximum();
    return qRound(position);
}

bool IsOn(int state)
{
    return state != Qt::Unchecked;
}

} // namespace

SettingsDlg::SettingsDlg(QWidget *parent, ConvertSettings *settings)
    : KRVSettingsDlg(parent)
    , settings(settings)
{
    BuildPages();
    // Scroll arrows would hide the last tabs; the dialog grows to show every tab instead.
    tabWidget->tabBar()->setUsesScrollButtons(false);
    tabWidget->tabBar()->setElideMode(Qt::ElideNone);
    GrowToContents(this, QSize(550, 400));
}

void SettingsDlg::ShowPage(int index)
{
    tabWidget->setCurrentIndex(index);
}

void SettingsDlg::BuildPages()
{
    tabWidget->addTab(BuildColorPage(), tr("Color"));
    tabWidget->addTab(BuildWatermarkTextPage(), tr("Watermark Text"));
    tabWidget->addTab(BuildWatermarkImagePage(), tr("Watermark Image"));
    tabWidget->addTab(BuildTransformPage(), tr("Transform"));

    noCrashReportCheck = new QCheckBox(tr("Do not show crash report after startup"));
    noCrashReportCheck->setObjectName(QStringLiteral("noCrashReportCheck"));
    QWidget *startupPage = BuildOptionPage(noCrashReportCheck);
    startupPage->setObjectName(QStringLiteral("startupPage"));
    tabWidget->addTab(startupPage, tr("Startup"));

    noConvertResultsCheck = new QCheckBox(tr("Do not show convert results after conversion"));
    noConvertResultsCheck->setObjectName(QStringLiteral("noConvertResultsCheck"));
    QWidget *convertPage = BuildOptionPage(noConvertResultsCheck);
    convertPage->setObjectName(QStringLiteral("convertPage"));
    copyStreamsCheck = new QCheckBox(tr("Copy streams that already fit (faster, no quality loss)"));
    copyStreamsCheck->setObjectName(QStringLiteral("copyStreamsCheck"));
    static_cast<QVBoxLayout *>(convertPage->layout())->insertWidget(1, copyStreamsCheck);
    tabWidget->addTab(convertPage, tr("Convert"));

    connect(clrEnableCheck, &QCheckBox::stateChanged, this, &SettingsDlg::EnableColor);
    connect(brightnessSlider, &QSlider::valueChanged, this, &SettingsDlg::SetBrightness);
    connect(contrastSlider, &QSlider::valueChanged, this, &SettingsDlg::SetContrast);
    connect(saturationSlider, &QSlider::valueChanged, this, &SettingsDlg::SetSaturation);
    connect(gammaSlider, &QSlider::valueChanged, this, &SettingsDlg::SetGamma);
    connect(wtEnableCheck, &QCheckBox::stateChanged, this, &SettingsDlg::EnableWatermarkText);
    connect(wtColorButton, &QToolButton::clicked, this, &SettingsDlg::textColorClicked);
    connect(wtOpacitySlider, &QSlider::valueChanged, this, &SettingsDlg::textOpacityChanged);
    connect(wtAlign.normalRadio, &QRadioButton::clicked, this, &SettingsDlg::textNormalAlignmentClicked);
    connect(wtAlign.customRadio, &QRadioButton::clicked, this, &SettingsDlg::textCustomAlignmentClicked);
    connect(wiEnableCheck, &QCheckBox::stateChanged, this, &SettingsDlg::EnableWatermarkImage);
    connect(wiBrowseButton, &QPushButton::clicked, this, &SettingsDlg::selectWatermarkImage);
    connect(wiScaleSlider, &QSlider::valueChanged, this, &SettingsDlg::scaleWatermarkImage);
    connect(wiAlign.normalRadio, &QRadioButton::clicked, this, &SettingsDlg::imageNormalAlignmentClicked);
    connect(wiAlign.customRadio, &QRadioButton::clicked, this, &SettingsDlg::imageCustomAlignmentClicked);
    connect(transformEnableCheck, &QCheckBox::stateChanged, this, &SettingsDlg::EnableTransform);
    connect(rotateCheck, &QCheckBox::clicked, this, &SettingsDlg::Rotate);

    LoadSettings();
}

QWidget *SettingsDlg::BuildColorPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("colorPage"));
    auto *grid = new QGridLayout(page);

    clrEnableCheck = new QCheckBox(tr("Enable color adjustment during conversion"), page);
    clrEnableCheck->setObjectName(QStringLiteral("clrEnableCheck"));
    grid->addWidget(clrEnableCheck, 0, 0, 1, 6);

    brightnessLabel = NewLabel(tr("Brightness"), "brightnessLabel", page);
    brightnessSlider = NewSlider(-10, 10, "brightnessSlider", page);
    brightnessSlider->setValue(0);
    brightnessValueLabel = NewLabel(TenthText(0), "brightnessValueLabel", page);

    contrastLabel = NewLabel(tr("Contrast"), "contrastLabel", page);
    contrastSlider = NewSlider(-20, 20, "contrastSlider", page);
    contrastSlider->setValue(10);
    contrastValueLabel = NewLabel(TenthText(10), "contrastValueLabel", page);

    saturationLabel = NewLabel(tr("Saturation"), "saturationLabel", page);
    saturationSlider = NewSlider(0, 30, "saturationSlider", page);
    saturationSlider->setValue(10);
    saturationValueLabel = NewLabel(TenthText(10), "saturationValueLabel", page);

    gammaLabel = NewLabel(tr("Gamma"), "gammaLabel", page);
    gammaSlider = NewSlider(1, 100, "gammaSlider", page);
    gammaSlider->setValue(10);
    gammaValueLabel = NewLabel(TenthText(10), "gammaValueLabel", page);

    const struct {
        QLabel *label;
        QSlider *slider;
        QLabel *value;
    } rows[] = {
        { brightnessLabel, brightnessSlider, brightnessValueLabel },
        { contrastLabel, contrastSlider, contrastValueLabel },
        { saturationLabel, saturationSlider, saturationValueLabel },
        { gammaLabel, gammaSlider, gammaValueLabel },
    };
    int row = 1;
    for (const auto &r : rows) {
        grid->addWidget(r.label, row, 0);
        grid->addWidget(r.slider, row, 1, 1, 4);
        grid->addWidget(r.value, row, 5);
        ++row;
    }
    grid->setRowStretch(row, 1);
    return page;
}

// Letters in the style they stand for, drawn in the palette's text colour: the small icon
// images were too faint to tell from disabled ones.
void SettingsDlg::BuildFontStyleBox(QWidget *page)
{
    wtFontStyleBox = new QWidget(page);
    wtFontStyleBox->setObjectName(QStringLiteral("wtFontStyleBox"));
    auto *styleRow = new QHBoxLayout(wtFontStyleBox);
    styleRow->setContentsMargins(0, 0, 0, 0);
    const struct {
        QToolButton **button;
        char glyph;
        const char *name;
        void (QFont::*setStyle)(bool);
    } styles[] = {
        { &wtBoldButton, 'B', "wtBoldButton", &QFont::setBold },
        { &wtItalicButton, 'I', "wtItalicButton", &QFont::setItalic },
        { &wtUnderlineButton, 'U', "wtUnderlineButton", &QFont::setUnderline },
    };
    for (const auto &style : styles) {
        auto *button = new QToolButton(wtFontStyleBox);
        button->setObjectName(QLatin1String(style.name));
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setText(QString(QLatin1Char(style.glyph)));
        QFont font = button->font();
        (font.*style.setStyle)(true);
        button->setFont(font);
        button->setCheckable(true);
        button->setChecked(false);
        styleRow->addWidget(button);
        *style.button = button;
    }
    styleRow->addStretch();
}

QWidget *SettingsDlg::BuildWatermarkTextPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("watermarkTextPage"));
    auto *grid = new QGridLayout(page);

    wtEnableCheck = new QCheckBox(tr("Enable watermark text during conversion"), page);
    wtEnableCheck->setObjectName(QStringLiteral("wtEnableCheck"));
    grid->addWidget(wtEnableCheck, 0, 0, 1, 3);

    wtContentLabel = NewLabel(tr("Watermark Text:"), "wtContentLabel", page);
    wtContentEdit = new QLineEdit(page);
    wtContentEdit->setObjectName(QStringLiteral("wtContentEdit"));
    grid->addWidget(wtContentLabel, 1, 0);
    grid->addWidget(wtContentEdit, 1, 1, 1, 2);

    wtFontNameLabel = NewLabel(tr("Font Name:"), "wtFontNameLabel", page);
    wtFontNameCombo = new QFontComboBox(page);
    wtFontNameCombo->setObjectName(QStringLiteral("wtFontNameCombo"));
    wtFontNameCombo->setEditable(false);
    grid->addWidget(wtFontNameLabel, 2, 0);
    grid->addWidget(wtFontNameCombo, 2, 1, 1, 2);

    wtFontSizeLabel = NewLabel(tr("Font Size:"), "wtFontSizeLabel", page);
    wtFontSizeCombo = new QComboBox(page);
    wtFontSizeCombo->setObjectName(QStringLiteral("wtFontSizeCombo"));
    wtFontSizeCombo->setEditable(true);
    for (int size = 8; size <= 72; size += 2)
        wtFontSizeCombo->addItem(QString::number(size));
    wtFontSizeCombo->setValidator(new QIntValidator(1, 100, wtFontSizeCombo));
    wtPointsLabel = NewLabel(tr("points"), "wtPointsLabel", page);
    grid->addWidget(wtFontSizeLabel, 3, 0);
    grid->addWidget(wtFontSizeCombo, 3, 1);
    grid->addWidget(wtPointsLabel, 3, 2);

    wtFontStyleLabel = NewLabel(tr("Font Style:"), "wtFontStyleLabel", page);
    BuildFontStyleBox(page);
    grid->addWidget(wtFontStyleLabel, 4, 0);
    grid->addWidget(wtFontStyleBox, 4, 1, 1, 2);

    wtColorLabel = NewLabel(tr("Color:"), "wtColorLabel", page);
    wtColorButton = new QToolButton(page);
    wtColorButton->setObjectName(QStringLiteral("wtColorButton"));
    grid->addWidget(wtColorLabel, 5, 0);
    grid->addWidget(wtColorButton, 5, 1);

    wtOpacityLabel = NewLabel(tr("Opacity:"), "wtOpacityLabel", page);
    wtOpacitySlider = NewSlider(1, 100, "wtOpacitySlider", page);
    wtOpacityValueLabel = NewLabel(QString::number(wtOpacitySlider->value()), "wtOpacityValueLabel", page);
    grid->addWidget(wtOpacityLabel, 6, 0);
    grid->addWidget(wtOpacitySlider, 6, 1);
    grid->addWidget(wtOpacityValueLabel, 6, 2);

    wtAlign.Build(grid, 7, QStringLiteral("wt"), page);
    return page;
}

QWidget *SettingsDlg::BuildWatermarkImagePage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("watermarkImagePage"));
    auto *grid = new QGridLayout(page);

    wiEnableCheck = new QCheckBox(tr("Enable watermark image during conversion"), page);
    wiEnableCheck->setObjectName(QStringLiteral("wiEnableCheck"));
    grid->addWidget(wiEnableCheck, 0, 0, 1, 3);

    wiFileLabel = NewLabel(tr("Watermark Image:"), "wiFileLabel", page);
    wiFileEdit = new QLineEdit(page);
    wiFileEdit->setObjectName(QStringLiteral("wiFileEdit"));
    wiFileEdit->setEnabled(false);
    wiBrowseButton = new QPushButton(tr("Browse..."), page);
    wiBrowseButton->setObjectName(QStringLiteral("wiBrowseButton"));
    grid->addWidget(wiFileLabel, 1, 0);
    grid->addWidget(wiFileEdit, 1, 1);
    grid->addWidget(wiBrowseButton, 1, 2);

    wiScaleLabel = NewLabel(tr("Scale:"), "wiScaleLabel", page);
    wiScaleSlider = NewSlider(10, 500, "wiScaleSlider", page);
    wiScaleValueLabel =
        NewLabel(QStringLiteral("%1%").arg(wiScaleSlider->value()), "wiScaleValueLabel", page);
    grid->addWidget(wiScaleLabel, 2, 0);
    grid->addWidget(wiScaleSlider, 2, 1);
    grid->addWidget(wiScaleValueLabel, 2, 2);

    wiAlign.Build(grid, 3, QStringLiteral("wi"), page);
    grid->setRowStretch(8, 1);
    return page;
}

QWidget *SettingsDlg::BuildTransformPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("transformPage"));
    auto *grid = new QGridLayout(page);

    transformEnableCheck = new QCheckBox(tr("Enable transform during conversion"), page);
    transformEnableCheck->setObjectName(QStringLiteral("transformEnableCheck"));
    grid->addWidget(transformEnableCheck, 0, 0, 1, 4);

    rotateCheck = new QCheckBox(tr("Rotate"), page);
    rotateCheck->setObjectName(QStringLiteral("rotateCheck"));
    rotateCombo = NewListCombo(RotateDegrees, RotateDegreesCount, "rotateCombo", page);
    grid->addWidget(rotateCheck, 1, 0);
    grid->addWidget(rotateCombo, 1, 1, 1, 3);

    hFlipCheck = new QCheckBox(tr("Horizontal Flip"), page);
    hFlipCheck->setObjectName(QStringLiteral("hFlipCheck"));
    grid->addWidget(hFlipCheck, 2, 0);
    vFlipCheck = new QCheckBox(tr("Vertical Flip"), page);
    vFlipCheck->setObjectName(QStringLiteral("vFlipCheck"));
    grid->addWidget(vFlipCheck, 3, 0);
    grid->setRowStretch(4, 1);
    return page;
}

QWidget *SettingsDlg::BuildOptionPage(QCheckBox *check)
{
    auto *page = new QWidget;
    auto *column = new QVBoxLayout(page);
    column->addWidget(check);
    column->addStretch();
    return page;
}

void SettingsDlg::LoadSettings()
{
    noCrashReportCheck->setChecked(!Preferences::ReportCrash());
    noConvertResultsCheck->setChecked(!Preferences::ReportCResults());
    copyStreamsCheck->setChecked(settings->copyStreams);

    clrEnableCheck->setChecked(settings->clrEnable);
    brightnessSlider->setValue(TenthPosition(settings->clrB, brightnessSlider));
    contrastSlider->setValue(TenthPosition(settings->clrC, contrastSlider));
    saturationSlider->setValue(TenthPosition(settings->clrS, saturationSlider));
    gammaSlider->setValue(TenthPosition(settings->clrG, gammaSlider));
    SetBrightness(brightnessSlider->value());
    SetContrast(contrastSlider->value());
    SetSaturation(saturationSlider->value());
    SetGamma(gammaSlider->value());
    EnableColor(clrEnableCheck->checkState());

    wtEnableCheck->setChecked(settings->wtEnable);
    wtContentEdit->setText(settings->wtContent);
    wtFontNameCombo->setCurrentFont(QFont(settings->wtFontName));
    wtFontSizeCombo->setEditText(QString::number(settings->wtFontSize, 'g', 6));
    wtBoldButton->setChecked(settings->wtFontB);
    wtItalicButton->setChecked(settings->wtFontI);
    wtUnderlineButton->setChecked(settings->wtFontU);
    textColor = QColor(settings->wtCR, settings->wtCG, settings->wtCB, 255);
    ShowTextColor();
    wtOpacitySlider->setValue(settings->wtOpc);
    textOpacityChanged(wtOpacitySlider->value());
    wtAlign.Load(settings->wtCAlign, settings->wtAlign, settings->wtCAlignX, settings->wtCAlignY);
    EnableWatermarkText(wtEnableCheck->checkState());

    wiEnableCheck->setChecked(settings->wiEnable);
    wiFileEdit->setText(settings->wiFile);
    wiScaleSlider->setValue(settings->wiScale);
    scaleWatermarkImage(wiScaleSlider->value());
    wiAlign.Load(settings->wiCAlign, settings->wiAlign, settings->wiCAlignX, settings->wiCAlignY);
    EnableWatermarkImage(wiEnableCheck->checkState());

    transformEnableCheck->setChecked(settings->transform);
    rotateCheck->setChecked(settings->rotate);
    rotateCombo->setCurrentIndex(settings->rotateDegree);
    hFlipCheck->setChecked(settings->hFlip);
    vFlipCheck->setChecked(settings->vFlip);
    rotateCheck->setEnabled(settings->transform);
    hFlipCheck->setEnabled(settings->transform);
    vFlipCheck->setEnabled(settings->transform);
    rotateCombo->setEnabled(settings->transform && rotateCheck->isChecked());
}

void SettingsDlg::SaveSettings()
{
    Preferences::SetReportCrash(!noCrashReportCheck->isChecked());
    Preferences::SetReportCResults(!noConvertResultsCheck->isChecked());
    settings->copyStreams = copyStreamsCheck->isChecked();

    settings->clrEnable = clrEnableCheck->isChecked();
    settings->clrB = brightnessSlider->value() * 0.1;
    settings->clrC = contrastSlider->value() * 0.1;
    settings->clrS = saturationSlider->value() * 0.1;
    settings->clrG = gammaSlider->value() * 0.1;

    settings->wtEnable = wtEnableCheck->isChecked();
    settings->wtContent = wtContentEdit->text();
    settings->wtFontName = wtFontNameCombo->currentFont().family();
    settings->wtFontSize = double(wtFontSizeCombo->currentText().toFloat());
    settings->wtFontB = wtBoldButton->isChecked();
    settings->wtFontI = wtItalicButton->isChecked();
    settings->wtFontU = wtUnderlineButton->isChecked();
    settings->wtOpc = wtOpacitySlider->value();
    settings->wtCR = textColor.red();
    settings->wtCG = textColor.green();
    settings->wtCB = textColor.blue();
    wtAlign.Save(settings->wtCAlign, settings->wtAlign, settings->wtCAlignX, settings->wtCAlignY);

    settings->wiEnable = wiEnableCheck->isChecked();
    settings->wiFile = wiFileEdit->text();
    settings->wiScale = wiScaleSlider->value();
    wiAlign.Save(settings->wiCAlign, settings->wiAlign, settings->wiCAlignX, settings->wiCAlignY);

    settings->transform = transformEnableCheck->isChecked();
    settings->rotate = rotateCheck->isChecked();
    settings->rotateDegree = rotateCombo->currentIndex();
    settings->hFlip = hFlipCheck->isChecked();
    settings->vFlip = vFlipCheck->isChecked();
}

void SettingsDlg::accept()
{
    if (wtEnableCheck->isChecked() && wtContentEdit->text().isEmpty()) {
        QMessageBox::warning(this, tr("Watermark Text"), tr("Watermmark text is empty!"), QMessageBox::Ok);
        return;
    }
    if (wiEnableCheck->isChecked() && wiFileEdit->text().isEmpty()) {
        QMessageBox::warning(this, tr("Watermark Image"), tr("Watermmark image is empty!"), QMessageBox::Ok);
        return;
    }
    if (transformEnableCheck->isChecked() && !rotateCheck->isChecked() && !hFlipCheck->isChecked()
        && !vFlipCheck->isChecked()) {
        QMessageBox::warning(this, tr("Transform"), tr("No transform is set!"), QMessageBox::Ok);
        return;
    }
    SaveSettings();
    KRVSettingsDlg::accept();
}

void SettingsDlg::EnableColor(int state)
{
    const bool on = IsOn(state);
    const QList<QWidget *> widgets = {
        brightnessLabel, brightnessSlider, brightnessValueLabel, contrastLabel, contrastSlider,
        contrastValueLabel, saturationLabel, saturationSlider, saturationValueLabel, gammaLabel, gammaSlider,
        gammaValueLabel,
    };
    for (QWidget *w : widgets)
        w->setEnabled(on);
}

void SettingsDlg::SetBrightness(int position)
{
    brightnessValueLabel->setText(TenthText(position));
}

void SettingsDlg::SetContrast(int position)
{
    contrastValueLabel->setText(TenthText(position));
}

void SettingsDlg::SetSaturation(int position)
{
    saturationValueLabel->setText(TenthText(position));
}

void SettingsDlg::SetGamma(int position)
{
    gammaValueLabel->setText(TenthText(position));
}

void SettingsDlg::EnableWatermarkText(int state)
{
    const bool on = IsOn(state);
    const QList<QWidget *> followers = {
        wtContentLabel, wtContentEdit, wtFontNameLabel, wtFontNameCombo, wtFontSizeLabel, wtFontSizeCombo,
        wtPointsLabel, wtFontStyleLabel, wtFontStyleBox, wtColorLabel, wtColorButton, wtOpacityLabel,
        wtOpacitySlider, wtOpacityValueLabel, wtAlign.normalRadio, wtAlign.customRadio,
    };
    for (QWidget *w : followers)
        w->setEnabled(on);
    wtAlign.SetEnabled(on && wtAlign.normalRadio->isChecked(), on && wtAlign.customRadio->isChecked());
}

void SettingsDlg::textColorClicked()
{
    const QColor color = PickColor();
    if (!color.isValid())
        return;
    textColor = color;
    ShowTextColor();
}

void SettingsDlg::textOpacityChanged(int position)
{
    wtOpacityValueLabel->setText(QString::number(position));
}

void SettingsDlg::textNormalAlignmentClicked(bool checked)
{
    wtAlign.SetEnabled(checked, !checked);
}

void SettingsDlg::textCustomAlignmentClicked(bool checked)
{
    wtAlign.SetEnabled(!checked, checked);
}

void SettingsDlg::EnableWatermarkImage(int state)
{
    const bool on = IsOn(state);
    const QList<QWidget *> followers = {
        wiFileLabel, wiBrowseButton, wiScaleLabel, wiScaleSlider, wiScaleValueLabel, wiAlign.normalRadio,
        wiAlign.customRadio,
    };
    for (QWidget *w : followers)
        w->setEnabled(on);
    wiFileEdit->setEnabled(false);
    wiAlign.SetEnabled(on && wiAlign.normalRadio->isChecked(), on && wiAlign.customRadio->isChecked());
}

void SettingsDlg::selectWatermarkImage()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    // Qt's file dialogs split the patterns of one filter at blanks only; with
    // any other separator the filter would match no file at all.
    const QString filter = tr("Image Files (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    const QString path = PickImageFile(folder, filter);
    if (!path.isEmpty())
        wiFileEdit->setText(path);
}

void SettingsDlg::scaleWatermarkImage(int position)
{
    wiScaleValueLabel->setText(QStringLiteral("%1%").arg(position));
}

void SettingsDlg::imageNormalAlignmentClicked(bool checked)
{
    wiAlign.SetEnabled(checked, !checked);
}

void SettingsDlg::imageCustomAlignmentClicked(bool checked)
{
    wiAlign.SetEnabled(!checked, checked);
}

void SettingsDlg::EnableTransform(int state)
{
    const bool on = IsOn(state);
    rotateCheck->setEnabled(on);
    hFlipCheck->setEnabled(on);
    vFlipCheck->setEnabled(on);
    rotateCombo->setEnabled(on && rotateCheck->isChecked());
}

void SettingsDlg::Rotate(bool checked)
{
    rotateCombo->setEnabled(checked);
}

QColor SettingsDlg::PickColor()
{
    return QColorDialog::getColor(Qt::black, this, tr("Select Text Color"));
}

QString SettingsDlg::PickImageFile(const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileName(this, tr("Select Watermark Image"), folder, filter);
}

void SettingsDlg::AlignmentRows::Build(QGridLayout *grid, int firstRow, const QString &prefix, QWidget *page)
{
    const auto name = [&prefix](const char *suffix) { return prefix + QLatin1String(suffix); };
    // Both radio buttons are children of the page, which makes them exclusive.
    normalRadio = new QRadioButton(tr("Normal Alignment"), page);
    normalRadio->setObjectName(name("NormalAlignRadio"));
    combo = NewListCombo(Alignments, AlignmentsCount, qPrintable(name("AlignCombo")), page);
    customRadio = new QRadioButton(tr("Custom Alignment"), page);
    customRadio->setObjectName(name("CustomAlignRadio"));
    grid->addWidget(normalRadio, firstRow, 0, 1, 3);
    grid->addWidget(combo, firstRow + 1, 1, 1, 2);
    grid->addWidget(customRadio, firstRow + 2, 0, 1, 3);

    xSpin = NewOffsetSpin(qPrintable(name("XOffsetSpin")), page);
    ySpin = NewOffsetSpin(qPrintable(name("YOffsetSpin")), page);
    const struct {
        const char *label;
        const char *labelName;
        QSpinBox *spin;
        const char *percentName;
    } offsets[] = {
        { "X Offset:", "XOffsetLabel", xSpin, "XPercentLabel" },
        { "Y Offset:", "YOffsetLabel", ySpin, "YPercentLabel" },
    };
    int row = firstRow + 3;
    for (const auto &offset : offsets) {
        QLabel *label = NewLabel(tr(offset.label), qPrintable(name(offset.labelName)), page);
        QLabel *percent = NewLabel(tr("%"), qPrintable(name(offset.percentName)), page);
        grid->addWidget(label, row, 0);
        grid->addWidget(offset.spin, row, 1);
        grid->addWidget(percent, row, 2);
        offsetWidgets << label << offset.spin << percent;
        ++row;
    }
}

void SettingsDlg::AlignmentRows::Load(bool custom, int alignment, int x, int y)
{
    normalRadio->setChecked(!custom);
    combo->setCurrentIndex(alignment);
    customRadio->setChecked(custom);
    xSpin->setValue(x);
    ySpin->setValue(y);
}

void SettingsDlg::AlignmentRows::Save(bool &custom, int &alignment, int &x, int &y) const
{
    custom = customRadio->isChecked();
    alignment = combo->currentIndex();
    x = xSpin->value();
    y = ySpin->value();
}

void SettingsDlg::AlignmentRows::SetEnabled(bool normal, bool custom)
{
    combo->setEnabled(normal);
    for (QWidget *w : qAsConst(offsetWidgets))
        w->setEnabled(custom);
}

void SettingsDlg::ShowTextColor()
{
    wtColorButton->setStyleSheet(QStringLiteral("QToolButton{ background: %1; }").arg(textColor.name()));
}
