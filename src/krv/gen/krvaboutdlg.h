#pragma once

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

class KRVAboutDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(KRVAboutDlg)

public:
    explicit KRVAboutDlg(QWidget *parent = nullptr);

protected slots:
    void Credits();
    void accept() override;

private:
    QLabel *logoLabel = nullptr;
    QLabel *linkLabel = nullptr;
    QLabel *textLabel = nullptr;
    QPushButton *creditsBtn = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
    QVBoxLayout *mainLayout = nullptr;
};

// Shows creditsText as it stands when the dialog is built.
class KRVAboutCreditsDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(KRVAboutCreditsDlg)

public:
    explicit KRVAboutCreditsDlg(QWidget *parent = nullptr);

protected slots:
    void accept() override;

private:
    QScrollArea *scrollArea = nullptr;
    QLabel *creditsLabel = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
    QVBoxLayout *mainLayout = nullptr;
};
