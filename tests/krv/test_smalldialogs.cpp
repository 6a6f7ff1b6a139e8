#include "testsupport.h"

#include "convert/convertcrashdlg.h"
#include "convert/convertresultsdlg.h"
#include "krv/gen/krvaboutdlg.h"
#include "krv/gen/plugins.h"
#include "krv/gen/weblinks.h"

using TestSupport::Find;

namespace {

QVariant Stored(const QString &key)
{
    return QSettings(QStringLiteral("Korvent"), QStringLiteral("Reelway")).value("Settings/" + key);
}

void Store(const QString &key, const QVariant &value)
{
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    if (value.isValid())
        settings.setValue("Settings/" + key, value);
    else
        settings.remove("Settings/" + key);
}

// Leaves a dialog by "close button", "Escape" or the button of that text.
void Leave(QDialog *dlg, const QString &exit)
{
    if (exit == QLatin1String("close button")) {
        dlg->close();
    } else if (exit == QLatin1String("Escape")) {
        QTest::keyClick(dlg, Qt::Key_Escape);
    } else {
        for (QAbstractButton *button : dlg->findChild<QDialogButtonBox *>()->buttons()) {
            if (button->text() == exit)
                QTest::mouseClick(button, Qt::LeftButton);
        }
    }
}

} // namespace

class TestSmallDialogs : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    QString folder = fixture.path("config"); // the dialog keeps a reference to it

private slots:
    void init()
    {
        fixture.urls().clear();
        TestSupport::ClearSettings();
    }

    void resultsSummary_data()
    {
        QTest::addColumn<QVector<int>>("counts");
        QTest::newRow("mixed batch") << QVector<int>{ 3, 2, 1, 0 };
        QTest::newRow("nothing succeeded") << QVector<int>{ 2, 0, 1, 1 };
        QTest::newRow("all succeeded") << QVector<int>{ 12, 12, 0, 0 };
    }

    void resultsSummary()
    {
        QFETCH(QVector<int>, counts);
        ConvertResultsDlg dlg(counts.constData(), folder);
        QCOMPARE(Find<QLabel>(&dlg, "summaryLabel")->text(),
                 QString("Selected Files: %1\nSucceeded Files: %2\nFailed Files: %3\nCanceled Files: %4")
                     .arg(counts[0]).arg(counts[1]).arg(counts[2]).arg(counts[3]));
        // The note sits between the summary and the check box, and only when a file failed.
        auto *note = dlg.findChild<QLabel *>("noteLabel");
        QCOMPARE(note != nullptr, counts[2] > 0);
        QCOMPARE(dlg.layout()->count(), note ? 4 : 3);
        if (note)
            QCOMPARE(dlg.layout()->itemAt(1)->widget(), note);
        QCOMPARE(dlg.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled(), counts[1] > 0);
    }

    // Every way out stores the check box; only "Open Target" opens the folder.
    void resultsStoresChoice_data()
    {
        QTest::addColumn<QString>("exit"); QTest::addColumn<bool>("checked");
        QTest::newRow("OK, checked") << "OK" << true;
        QTest::newRow("Open Target, unchecked") << "Open Target" << false;
        QTest::newRow("close button, checked") << "close button" << true;
        QTest::newRow("Escape, unchecked") << "Escape" << false;
    }

    void resultsStoresChoice()
    {
        QFETCH(QString, exit); QFETCH(bool, checked);
        Store("ReportCResults", checked); // the opposite, so a dialog that writes nothing is caught
        const int counts[4] = { 3, 2, 1, 0 };
        ConvertResultsDlg dlg(counts, folder);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto *check = Find<QCheckBox>(&dlg, "noShowCheck");
        QVERIFY(!check->isChecked());
        if (checked)
            QTest::keyClick(check, Qt::Key_Space);
        Leave(&dlg, exit);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(exit == "Open Target" ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(Stored("ReportCResults"), QVariant(!checked));
        QCOMPARE(fixture.urls().size(), exit == "Open Target" ? 1 : 0);
    }

    void openTarget_data()
    {
        QTest::addColumn<QString>("name"); QTest::addColumn<bool>("create"); QTest::addColumn<bool>("absolute");
        QTest::newRow("percent, hash and question mark") << "100% C# clips?" << true << true;
        QTest::newRow("missing folder") << "gone" << false << true;
        QTest::newRow("relative text") << "Same as source file" << true << false;
        QTest::newRow("empty text") << "" << false << false;
    }

    void openTarget()
    {
        QFETCH(QString, name); QFETCH(bool, create); QFETCH(bool, absolute);
        QTemporaryDir base(fixture.path("openXXXXXX"));
        QVERIFY(base.isValid());
        const QString path = base.filePath(name);
        if (create)
            QVERIFY(QDir().mkpath(path));
        // A relative text must not be resolved against the working directory even
        // when a folder of that name happens to exist there.
        const QString previousCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(base.path()));
        const int counts[4] = { 2, 2, 0, 0 };
        ConvertResultsDlg dlg(counts, absolute ? path : name);
        dlg.show();
        Leave(&dlg, "Open Target");
        QDir::setCurrent(previousCwd);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(fixture.urls(), create && absolute ? QList<QUrl>{ QUrl::fromLocalFile(path) } : QList<QUrl>());
    }

    // The crash notice stores its check box on OK only.
    void crashStoresChoiceOnlyOnOk_data()
    {
        QTest::addColumn<QVariant>("before"); QTest::addColumn<bool>("checked"); QTest::addColumn<QString>("exit"); QTest::addColumn<QVariant>("after");
        QTest::newRow("checked, OK") << QVariant(true) << true << "OK" << QVariant(false);
        QTest::newRow("unchecked, OK, key absent") << QVariant() << false << "OK" << QVariant(true);
        QTest::newRow("checked, close button, key absent") << QVariant() << true << "close button" << QVariant();
        QTest::newRow("checked, Escape") << QVariant(true) << true << "Escape" << QVariant(true);
    }

    void crashStoresChoiceOnlyOnOk()
    {
        QFETCH(QVariant, before); QFETCH(bool, checked); QFETCH(QString, exit); QFETCH(QVariant, after);
        Store("ReportCrash", before);
        ConvertCrashDlg dlg;
        TestSupport::ModalCloser<ConvertCrashDlg> closer([checked, exit](ConvertCrashDlg *shown) {
            if (checked)
                QTest::keyClick(Find<QCheckBox>(shown, "noShowCheck"), Qt::Key_Space);
            Leave(shown, exit);
        });
        const int result = dlg.exec();
        QVERIFY(closer.found());
        QCOMPARE(result, int(exit == "OK" ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(Stored("ReportCrash"), after);
    }

    void aboutAndCredits()
    {
        KRVInitPlugins();
        KRVAboutDlg about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        auto *link = Find<QLabel>(&about, "linkLabel");
        QTextDocument doc;
        doc.setHtml(link->text());
        QCOMPARE(doc.toPlainText(), QString::fromLatin1(MakerWebsite));
        const QPoint onText(link->fontMetrics().horizontalAdvance(doc.toPlainText()) / 2, link->height() / 2);
        QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, onText);
        QTRY_COMPARE(fixture.urls(), QList<QUrl>{ QUrl(QString::fromLatin1(MakerWebsite)) });

        // The credits come up modal over the about box, with the registry's text.
        QStringList seen;
        TestSupport::ModalCloser<KRVAboutCreditsDlg> closer([&](KRVAboutCreditsDlg *credits) {
            seen << Find<QLabel>(credits, "creditsLabel")->text();
            seen << QString::number(about.isVisible() && QApplication::activeModalWidget() == credits);
            QTest::mouseClick(credits->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(&about, "creditsBtn"), Qt::LeftButton);
        QVERIFY(closer.found());
        QCOMPARE(seen, (QStringList{ creditsText, "1" }));
        QVERIFY(about.isVisible() && QApplication::activeModalWidget() == nullptr);

        QTest::mouseClick(about.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestSmallDialogs)
#include "test_smalldialogs.moc"
