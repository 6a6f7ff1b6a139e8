#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// The counts of a finished batch as the desktop notification reads them, as
// "4 succeeded, 1 failed"; counts of zero are left out.
QString BatchEndText(int succeeded, int failed, int canceled);

// Tells the desktop that a batch ended while the user was away from the program, through
// the freedesktop notification service; clicking the notification brings the window back.
// Without a bus or a service nothing is shown, and nothing waits for either.
class BatchNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(BatchNotifier)

public:
    // The session bus unless busAddress names another one.
    explicit BatchNotifier(QWidget *window, const QString &busAddress = QString());

    void BatchEnded(int succeeded, int failed, int canceled);

signals:
    // The service's number for the notification it shows; 0 when none is shown.
    void Answered(uint id);

private slots:
    void ActionInvoked(uint id, const QString &action);

private:
    QPointer<QWidget> window;
    QString busAddress;
    uint notificationId = 0;
    bool listening = false;
};
