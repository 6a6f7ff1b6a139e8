#include "app/windowactions.h"

#include <QtTest>

// The window's rules without a window: which actions are enabled, and where it opens.
class TestWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void enabledActions_data()
    {
        QTest::addColumn<int>("sources"); QTest::addColumn<int>("selected"); QTest::addColumn<bool>("target"); QTest::addColumn<QString>("folder"); QTest::addColumn<QStringList>("disabled");
        const QString beside = "Same as source file";
        QTest::newRow("an empty list") << 0 << 0 << false << beside << QStringList{ "actSelectAll", "actRemove", "actPlaySrc", "actPlayTgt", "actConvert", "actOpenTarget" };
        QTest::newRow("one of three, beside its source") << 3 << 1 << false << beside << QStringList{ "actPlayTgt" };
        QTest::newRow("two of three, beside their sources") << 3 << 2 << false << beside << QStringList{ "actPlaySrc", "actPlayTgt", "actOpenTarget" };
        QTest::newRow("every row and a target chosen") << 3 << 3 << true << "/videos" << QStringList{ "actSelectAll", "actPlaySrc" };
        QTest::newRow("none selected, no folder text") << 2 << 0 << true << "" << QStringList{ "actRemove", "actPlaySrc", "actConvert", "actOpenTarget" };
        QTest::newRow("the marker in lower case names a folder") << 2 << 2 << false << beside.toLower() << QStringList{ "actSelectAll", "actPlaySrc", "actPlayTgt" };
    }

    void enabledActions()
    {
        QFETCH(int, sources); QFETCH(int, selected); QFETCH(bool, target); QFETCH(QString, folder); QFETCH(QStringList, disabled);
        QStringList off;
        for (int a = 0; a < WindowActionCount; ++a)
            if (!ActionEnabled(WindowAction(a), { sources, selected, target, folder }))
                off << WindowActionName(WindowAction(a));
        QCOMPARE(off, disabled);
    }

    // A first run lies inside the available area and centred on it, as large as it asks
    // where the area allows; a stored place stays unless it is lost.
    void fitWindowGeometry_data()
    {
        QTest::addColumn<QRect>("available"); QTest::addColumn<QRect>("stored"); QTest::addColumn<QSize>("firstRun"); QTest::addColumn<QRect>("placed"); // null: a first run
        const QSize wide(923, 540);
        QTest::newRow("1024x768, panel at the top") << QRect(0, 27, 1024, 741) << QRect() << wide << QRect();
        QTest::newRow("1024x768, tool bar wider than the screen") << QRect(0, 0, 1024, 740) << QRect() << QSize(1300, 540) << QRect();
        QTest::newRow("2560x1600 at scale 2") << QRect(0, 0, 1280, 770) << QRect() << wide << QRect();
        QTest::newRow("second screen right of the first") << QRect(1920, 0, 1920, 1050) << QRect() << wide << QRect();
        QTest::newRow("too short for the first run") << QRect(0, 0, 1024, 500) << QRect() << wide << QRect();
        QTest::newRow("stored: off every screen") << QRect(0, 0, 1920, 1050) << QRect(5000, 5000, 900, 600) << wide << QRect();
        QTest::newRow("stored: stays") << QRect(0, 0, 1920, 1050) << QRect(100, 120, 900, 600) << wide << QRect(100, 120, 900, 600);
        QTest::newRow("stored: larger than the screen") << QRect(0, 0, 1024, 740) << QRect(0, 0, 3000, 2000) << wide << QRect(0, 0, 1024, 740);
        QTest::newRow("stored: title bar above the screen") << QRect(0, 0, 1024, 740) << QRect(-300, -50, 860, 560) << wide << QRect(0, 0, 860, 560);
    }

    void fitWindowGeometry()
    {
        QFETCH(QRect, available); QFETCH(QRect, stored); QFETCH(QSize, firstRun); QFETCH(QRect, placed);
        const QRect fitted = FitWindowGeometry(stored, firstRun, available);
        if (!placed.isNull()) {
            QCOMPARE(fitted, placed);
            return;
        }
        QVERIFY(available.contains(fitted) && fitted.size() == firstRun.boundedTo(available.size()));
        QVERIFY(qAbs(fitted.center().x() - available.center().x()) <= 1 && qAbs(fitted.center().y() - available.center().y()) <= 1);
    }
};

QTEST_GUILESS_MAIN(TestWindowRules)
#include "test_windowrules.moc"
