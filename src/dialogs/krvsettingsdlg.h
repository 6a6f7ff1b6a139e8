#pragma once

#include <QDialog>

class QDialogButtonBox;
class QTabWidget;
class QVBoxLayout;

// Tabbed pages above OK and Cancel; a subclass adds its pages through BuildPages.
class KRVSettingsDlg : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(KRVSettingsDlg)

public:
    explicit KRVSettingsDlg(QWidget *parent);

public slots:
    void accept() override;
    void reject() override;

protected:
    virtual void BuildPages() {}

    QTabWidget *tabWidget = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
    QVBoxLayout *mainLayout = nullptr;
};
