#pragma once

#include "dialogs/krvsettingsdlg.h"

#include <QColor>
#include <QList>

class ConvertSettings;
class QCheckBox;
class QComboBox;
class QFontComboBox;
class QGridLayout;
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

    // Opens on that page instead of the first.
    void ShowPage(int index);

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
    void BuildFontStyleBox(QWidget *page);
    QWidget *BuildWatermarkImagePage();
    QWidget *BuildTransformPage();
    QWidget *BuildOptionPage(QCheckBox *check);

    // "Normal Alignment", its combo, "Custom Alignment" and the two offset rows:
    // the same block on the text and the image page.
    struct AlignmentRows
    {
        QRadioButton *normalRadio = nullptr;
        QComboBox *combo = nullptr;
        QRadioButton *customRadio = nullptr;
        QList<QWidget *> offsetWidgets;
        QSpinBox *xSpin = nullptr;
        QSpinBox *ySpin = nullptr;

        void Build(QGridLayout *grid, int firstRow, const QString &prefix, QWidget *page);
        void Load(bool custom, int alignment, int x, int y);
        void Save(bool &custom, int &alignment, int &x, int &y) const;
        void SetEnabled(bool normal, bool custom);
    };
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
    AlignmentRows wtAlign;

    QCheckBox *wiEnableCheck = nullptr;
    QLabel *wiFileLabel = nullptr;
    QLineEdit *wiFileEdit = nullptr;
    QPushButton *wiBrowseButton = nullptr;
    QLabel *wiScaleLabel = nullptr;
    QSlider *wiScaleSlider = nullptr;
    QLabel *wiScaleValueLabel = nullptr;
    AlignmentRows wiAlign;

    QCheckBox *transformEnableCheck = nullptr;
    QCheckBox *rotateCheck = nullptr;
    QComboBox *rotateCombo = nullptr;
    QCheckBox *hFlipCheck = nullptr;
    QCheckBox *vFlipCheck = nullptr;

    QCheckBox *noCrashReportCheck = nullptr;
    QCheckBox *noConvertResultsCheck = nullptr;
    QCheckBox *copyStreamsCheck = nullptr;
};
