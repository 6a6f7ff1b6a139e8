#include "app/batchnotifier.h"
#include "testsupport.h"

#include <QtDBus>

// What the desktop's notification service would be, on the test's own bus.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList shown;

public slots:
    uint Notify(const QString &app, uint replaces, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &, int)
    {
        shown << QStringList{ app, QString::number(replaces), summary, body, actions.value(0) }.join('|');
        return 7;
    }
};

class TestBatchNotifier : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    QProcess daemon;
    QString address;

private slots:
    // A private bus in place of the user's session bus, before anything opens the session bus.
    void initTestCase()
    {
        const QString program = QStandardPaths::findExecutable("dbus-daemon");
        if (program.isEmpty())
            return;
        const QString config = fixture.path("bus.conf");
        QVERIFY(TestSupport::WriteBytes(config, "<busconfig><type>session</type><listen>unix:path=" + QFile::encodeName(fixture.path("bus"))
                                                    + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                                                      "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>"));
        daemon.start(program, { "--nofork", "--print-address", "--config-file=" + config });
        QVERIFY(daemon.waitForReadyRead(10000));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }

    void cleanupTestCase()
    {
        daemon.kill();
        daemon.waitForFinished();
    }

    void text_data()
    {
        QTest::addColumn<int>("succeeded"); QTest::addColumn<int>("failed"); QTest::addColumn<int>("canceled"); QTest::addColumn<QString>("text");
        QTest::newRow("some failed") << 4 << 1 << 0 << "4 succeeded, 1 failed";
        QTest::newRow("all three") << 1 << 2 << 3 << "1 succeeded, 2 failed, 3 canceled";
        QTest::newRow("only canceled") << 0 << 0 << 2 << "2 canceled";
        QTest::newRow("nothing ran") << 0 << 0 << 0 << QString();
    }

    void text()
    {
        QFETCH(int, succeeded); QFETCH(int, failed); QFETCH(int, canceled);
        QTEST(BatchEndText(succeeded, failed, canceled), "text");
    }

    // Shown only while no window of ours is active, and only where a service listens; a click on
    // it (and only on it) brings the window back.
    void notification_data()
    {
        QTest::addColumn<bool>("active"); QTest::addColumn<bool>("service"); QTest::addColumn<QString>("bus"); QTest::addColumn<QStringList>("shown");
        QTest::newRow("away, a service on the session bus") << false << true << QString() << QStringList{ "Reelway Video Converter|0|Reelway Video Converter|2 succeeded, 1 failed|default" };
        QTest::newRow("the window active") << true << true << QString() << QStringList();
        QTest::newRow("no service on the bus") << false << false << QString() << QStringList();
        QTest::newRow("no bus") << false << true << "unix:path=" + fixture.path("no-bus") << QStringList();
    }

    void notification()
    {
        QFETCH(bool, active); QFETCH(bool, service); QFETCH(QString, bus); QFETCH(QStringList, shown);
        if (address.isEmpty())
            QSKIP("dbus-daemon is not installed");
        FakeNotifications fake;
        QDBusConnection fakeBus = QDBusConnection::connectToBus(address, QTest::currentDataTag());
        const auto leave = qScopeGuard([] { QDBusConnection::disconnectFromBus(QTest::currentDataTag()); });
        if (service)
            QVERIFY(fakeBus.registerService("org.freedesktop.Notifications")
                    && fakeBus.registerObject("/org/freedesktop/Notifications", &fake, QDBusConnection::ExportAllSlots));
        QWidget window;
        if (active) {
            window.show();
            QVERIFY(QTest::qWaitForWindowActive(&window));
        }
        BatchNotifier notifier(&window, bus);
        QSignalSpy answered(&notifier, &BatchNotifier::Answered);
        QVERIFY(answered.isValid());
        notifier.BatchEnded(2, 1, 0);
        QTRY_COMPARE(answered.count(), 1);
        QCOMPARE(fake.shown, shown);
        QCOMPARE(answered.first().first().toUInt(), shown.isEmpty() ? 0u : 7u);
        if (shown.isEmpty())
            return;
        const auto click = [&](uint id, const char *action) {
            QVERIFY(fakeBus.send(QDBusMessage::createSignal("/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked") << id << QString(action)));
        };
        click(6, "default");
        click(7, "other");
        // The service's answer to the next one comes after the two clicks that went before it.
        notifier.BatchEnded(1, 0, 0);
        QTRY_COMPARE(answered.count(), 2);
        QVERIFY(!window.isVisible());
        QCOMPARE(fake.shown.value(1), QString("Reelway Video Converter|7|Reelway Video Converter|1 succeeded|default"));
        click(7, "default");
        QTRY_VERIFY(window.isVisible() && window.isActiveWindow());
    }
};

QTEST_MAIN(TestBatchNotifier)
#include "test_batchnotifier.moc"
