#pragma once

#include <QDialog>

class ConvertSettings;
class QDialogButtonBox;
class QVBoxLayout;

// Base of the per-format settings dialogs: OK and Cancel below the widgets a
// subclass adds; the record is written only from SaveSettings on OK.
class AVCodecDlg : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(AVCodecDlg)

public:
    AVCodecDlg(const QString &title, ConvertSettings *settings, QWidget *parent);

public slots:
    void accept() override;
    void reject() override;

protected slots:
    virtual void BuildWidgets() = 0;
    virtual void LoadSettings() = 0;
    virtual bool SaveSettings() = 0;

protected:
    QDialogButtonBox *buttonBox = nullptr;
    QVBoxLayout *mainLayout = nullptr;
    ConvertSettings *settings = nullptr;
};
