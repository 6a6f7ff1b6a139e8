#include "dialogs/threegpdlg.h"

ThreeGPDlg::ThreeGPDlg(ConvertSettings *settings, QWidget *parent)
    : ThreeGP2Dlg(settings, parent)
{
    setWindowTitle(tr("3GP Settings"));
}
