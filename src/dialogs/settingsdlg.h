#pragma once

#include "dialogs/krvsettingsdlg.h"

#include <QColor>

class ConvertSettings;
class QCheckBox;
class QComboBox;
class QFontComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QToolButton;

// Picture effects of the conversion settings record, plus the two application
// option pages. The record and the store are written only on a valid OK.
class SettingsDlg : public KRVSettingsDlg
{
    Q_OBJECT
    Q_DISABLE_COPY(SettingsDlg)

public:
    SettingsDlg(QWidget *parent, ConvertSettings *settings);

public slots:
    void accept() override;

private slots:
    void EnableColor(int state);
    void SetBrightness(int position);
    void SetContrast(int position);
    void SetSaturation(int position);
    void SetGamma(int position);
    void EnableWatermarkText(int state);
    void textColorClicked();
    void textOpacityChanged(int position);
    void textNormalAlignmentClicked(bool checked);
    void textCustomAlignmentClicked(bool checked);
    void EnableWatermarkImage(int state);
    void selectWatermarkImage();
    void scaleWatermarkImage(int position);
    void imageNormalAlignmentClicked(bool checked);
    void imageCustomAlignmentClicked(bool checked);
    void EnableTransform(int state);
    void Rotate(bool checked);

protected:
    void BuildPages() override;
    void LoadSettings();
    void SaveSettings();

    // The platform's own modal pickers, kept behind hooks so that they can be replaced.
    virtual QColor PickColor();
    virtual QString PickImageFile(const QString &folder, const QString &filter);

private:
    QWidget *BuildColorPage();
    QWidget *BuildWatermarkTextPage();
    QWidget *BuildWatermarkImagePage();
    QWidget *BuildTransformPage();
    QWidget *BuildOptionPage(QCheckBox *check);
    void SetTextAlignmentEnabled(bool normal, bool custom);
    void SetImageAlignmentEnabled(bool normal, bool custom);
    void ShowTextColor();

    ConvertSettings *settings = nullptr;
    QColor textColor;

    QCheckBox *clrEnableCheck = nullptr;
    QLabel *brightnessLabel = nullptr;
    QSlider *brightnessSlider = nullptr;
    QLabel *brightnessValueLabel = nullptr;
    QLabel *contrastLabel = nullptr;
    QSlider *contrastSlider = nullptr;
    QLabel *contrastValueLabel = nullptr;
    QLabel *saturationLabel = nullptr;
    QSlider *saturationSlider = nullptr;
    QLabel *saturationValueLabel = nullptr;
    QLabel *gammaLabel = nullptr;
    QSlider *gammaSlider = nullptr;
    QLabel *gammaValueLabel = nullptr;

    QCheckBox *wtEnableCheck = nullptr;
    QLabel *wtContentLabel = nullptr;
    QLineEdit *wtContentEdit = nullptr;
    QLabel *wtFontNameLabel = nullptr;
    QFontComboBox *wtFontNameCombo = nullptr;
    QLabel *wtFontSizeLabel = nullptr;
    QComboBox *wtFontSizeCombo = nullptr;
    QLabel *wtPointsLabel = nullptr;
    QLabel *wtFontStyleLabel = nullptr;
    QWidget *wtFontStyleBox = nullptr;
    QToolButton *wtBoldButton = nullptr;
    QToolButton *wtItalicButton = nullptr;
    QToolButton *wtUnderlineButton = nullptr;
    QLabel *wtColorLabel = nullptr;
    QToolButton *wtColorButton = nullptr;
    QLabel *wtOpacityLabel = nullptr;
    QSlider *wtOpacitySlider = nullptr;
    QLabel *wtOpacityValueLabel = nullptr;
    QRadioButton *wtNormalAlignRadio = nullptr;
    QComboBox *wtAlignCombo = nullptr;
    QRadioButton *wtCustomAlignRadio = nullptr;
    QLabel *wtXOffsetLabel = nullptr;
    QSpinBox *wtXOffsetSpin = nullptr;
    QLabel *wtXPercentLabel = nullptr;
    QLabel *wtYOffsetLabel = nullptr;
    QSpinBox *wtYOffsetSpin = nullptr;
    QLabel *wtYPercentLabel = nullptr;

    QCheckBox *wiEnableCheck = nullptr;
    QLabel *wiFileLabel = nullptr;
    QLineEdit *wiFileEdit = nullptr;
    QPushButton *wiBrowseButton = nullptr;
    QLabel *wiScaleLabel = nullptr;
    QSlider *wiScaleSlider = nullptr;
    QLabel *wiScaleValueLabel = nullptr;
    QRadioButton *wiNormalAlignRadio = nullptr;
    QComboBox *wiAlignCombo = nullptr;
    QRadioButton *wiCustomAlignRadio = nullptr;
    QLabel *wiXOffsetLabel = nullptr;
    QSpinBox *wiXOffsetSpin = nullptr;
    QLabel *wiXPercentLabel = nullptr;
    QLabel *wiYOffsetLabel = nullptr;
    QSpinBox *wiYOffsetSpin = nullptr;
    QLabel *wiYPercentLabel = nullptr;

    QCheckBox *transformEnableCheck = nullptr;
    QCheckBox *rotateCheck = nullptr;
    QComboBox *rotateCombo = nullptr;
    QCheckBox *hFlipCheck = nullptr;
    QCheckBox *vFlipCheck = nullptr;

    QCheckBox *noCrashReportCheck = nullptr;
    QCheckBox *noConvertResultsCheck = nullptr;
};
