#pragma once

#include "dialogs/threegp2dlg.h"

// The 3GP2 dialog under its own title.
class ThreeGPDlg final : public ThreeGP2Dlg
{
    Q_OBJECT
    Q_DISABLE_COPY(ThreeGPDlg)

public:
    ThreeGPDlg(ConvertSettings *settings, QWidget *parent);
};
