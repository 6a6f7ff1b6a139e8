#pragma once

#include "dialogs/avcodecdlg.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

// Picture scaling of the scalable video targets.
class ScaleDlg final : public AVCodecDlg
{
    Q_OBJECT
    Q_DISABLE_COPY(ScaleDlg)

public:
    ScaleDlg(ConvertSettings *settings, QWidget *parent);

public slots:
    void accept() override;

protected slots:
    void BuildWidgets() override;
    void LoadSettings() override;
    bool SaveSettings() override;

private slots:
    void Scale(bool checked);
    void ScaleKeepAspect(bool checked);
    void scaleAspectChanged(int index);
    void scaleWidthChanged(int width);
    void scaleHeightChanged(int height);

private:
    void UpdateHeight(int aspect, int width);

    QCheckBox *scaleCheck = nullptr;
    QCheckBox *keepAspectCheck = nullptr;
    QComboBox *aspectCombo = nullptr;
    QLabel *widthLabel = nullptr;
    QSpinBox *widthSpin = nullptr;
    QLabel *heightLabel = nullptr;
    QSpinBox *heightSpin = nullptr;
};
