#include "app/batchnotifier.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>

namespace {

const char Service[] = "org.freedesktop.Notifications";
const char Path[] = "/org/freedesktop/Notifications";
const char Interface[] = "org.freedesktop.Notifications";
const char DefaultAction[] = "default";

} // namespace

QString BatchEndText(int succeeded, int failed, int canceled)
{
    QStringList parts;
    if (succeeded > 0)
        parts << QStringLiteral("%1 succeeded").arg(succeeded);
    if (failed > 0)
        parts << QStringLiteral("%1 failed").arg(failed);
    if (canceled > 0)
        parts << QStringLiteral("%1 canceled").arg(canceled);
    return parts.join(QStringLiteral(", "));
}

BatchNotifier::BatchNotifier(QWidget *window, const QString &busAddress)
    : QObject(window)
    , window(window)
    , busAddress(busAddress)
{
}

void BatchNotifier::BatchEnded(int succeeded, int failed, int canceled)
{
    const QString text = BatchEndText(succeeded, failed, canceled);
    // Any active window of ours, the progress dialog included, means the user watched the end.
    if (text.isEmpty() || !window || QApplication::activeWindow()) {
        emit Answered(0);
        return;
    }
    // Opened only now, so a user who watches every batch end never has the bus touched.
    QDBusConnection bus = busAddress.isEmpty() ? QDBusConnection::sessionBus()
                                               : QDBusConnection::connectToBus(busAddress, QStringLiteral("reelway-notifier"));
    if (!bus.isConnected()) {
        emit Answered(0);
        return;
    }
    // Any sender: watching the service's name would ask the bus for its owner and wait for the answer.
    if (!listening)
        listening = bus.connect(QString(), QLatin1String(Path), QLatin1String(Interface), QStringLiteral("ActionInvoked"),
                                this, SLOT(ActionInvoked(uint, QString)));
    const QString title = window->windowTitle().isEmpty() ? QStringLiteral("Reelway Video Converter") : window->windowTitle();
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(Path),
                                                       QLatin1String(Interface), QStringLiteral("Notify"));
    call << QStringLiteral("Reelway Video Converter") << notificationId << QStringLiteral("reelway") << title << text
         << QStringList{ QLatin1String(DefaultAction), tr("Show") }
         << QVariantMap{ { QStringLiteral("desktop-entry"), QStringLiteral("reelway") } } << -1;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        const QDBusPendingReply<uint> reply = *finished;
        notificationId = reply.isValid() ? reply.value() : 0;
        finished->deleteLater();
        emit Answered(notificationId);
    });
}

void BatchNotifier::ActionInvoked(uint id, const QString &action)
{
    if (id == 0 || id != notificationId || action != QLatin1String(DefaultAction) || !window)
        return;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}
