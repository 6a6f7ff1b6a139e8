#pragma once

#include "dialogs/avcodecdlg.h"

class QComboBox;
class QLabel;

// Frame size of 3GP2 targets (and, through ThreeGPDlg, of 3GP targets).
class ThreeGP2Dlg : public AVCodecDlg
{
    Q_OBJECT
    Q_DISABLE_COPY(ThreeGP2Dlg)

public:
    ThreeGP2Dlg(ConvertSettings *settings, QWidget *parent);

public slots:
    void accept() override;

protected slots:
    void BuildWidgets() override;
    void LoadSettings() override;
    bool SaveSettings() override;

protected:
    QLabel *videoSizeLabel = nullptr;
    QComboBox *videoSizeCombo = nullptr;
};
