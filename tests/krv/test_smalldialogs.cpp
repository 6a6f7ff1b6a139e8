#include "testsupport.h"

#include "convert/convertcrashdlg.h"
#include "convert/convertresultsdlg.h"
#include "krv/gen/krvaboutdlg.h"
#include "krv/gen/plugins.h"
#include "krv/gen/weblinks.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTextDocument>
#include <QUrl>

namespace {

const QString Note = QStringLiteral("Note: Files failed in a batch conversion on a computer with multi-core processer\n"
                                    "may succeed if they are converted separately.");
const QString Separator = QStringLiteral("<br><br/><br><br/>");

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

QPushButton *BoxButton(QWidget *dlg, QDialogButtonBox::StandardButton which)
{
    return dlg->findChild<QDialogButtonBox *>()->button(which);
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

QString PlainText(const QString &richText)
{
    QTextDocument doc;
    doc.setHtml(richText);
    return doc.toPlainText();
}

} // namespace


class TestSmallDialogs : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QString folder; // the dialog keeps a reference to it
    TestSupport::UrlCatcher catcher;

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        TestSupport::IsolateUserDirs(tmp.path());
        folder = tmp.path();
        for (const char *scheme : { "file", "http", "https" })
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "open");
    }

    void init()
    {
        catcher.urls.clear();
        TestSupport::ClearSettings();
    }

    void cleanupTestCase()
    {
        for (const char *scheme : { "file", "http", "https" })
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }

    void resultsSummary_data()
    {
        QTest::addColumn<QVector<int>>("counts");
        QTest::newRow("mixed batch") << QVector<int>{ 3, 2, 1, 0 };
        QTest::newRow("nothing succeeded") << QVector<int>{ 2, 0, 1, 1 };
        QTest::newRow("all succeeded") << QVector<int>{ 12, 12, 0, 0 };
        QTest::newRow("large counts") << QVector<int>{ 12345, 10000, 2345, 0 };
    }

    void resultsSummary()
    {
        QFETCH(QVector<int>, counts);
        ConvertResultsDlg dlg(counts.constData(), folder);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Convert Results"));
        QCOMPARE(dlg.findChild<QLabel *>(QStringLiteral("summaryLabel"))->text(),
                 QStringLiteral("Selected Files: %1\nSucceeded Files: %2\nFailed Files: %3\nCanceled Files: %4")
                     .arg(counts[0])
                     .arg(counts[1])
                     .arg(counts[2])
                     .arg(counts[3]));
        // The note sits between the summary and the check box, and only when a file failed.
        auto *note = dlg.findChild<QLabel *>(QStringLiteral("noteLabel"));
        QCOMPARE(note != nullptr, counts[2] > 0);
        QCOMPARE(dlg.layout()->count(), note ? 4 : 3);
        if (note) {
            QCOMPARE(note->text(), Note);
            QCOMPARE(dlg.layout()->itemAt(1)->widget(), note);
        }
        QCOMPARE(dlg.findChild<QCheckBox *>(QStringLiteral("noShowCheck"))->text(), QStringLiteral("Do not show again"));
        QCOMPARE(BoxButton(&dlg, QDialogButtonBox::Ok)->text(), QStringLiteral("Open Target"));
        QCOMPARE(BoxButton(&dlg, QDialogButtonBox::Ok)->isEnabled(), counts[1] > 0);
        QCOMPARE(BoxButton(&dlg, QDialogButtonBox::Cancel)->text(), QStringLiteral("OK"));
    }

    void resultsStoresChoice_data()
    {
        QTest::addColumn<QString>("exit");
        QTest::addColumn<bool>("checked");
        for (const char *exit : { "OK", "Open Target", "close button", "Escape" }) {
            QTest::addRow("%s, checked", exit) << exit << true;
            QTest::addRow("%s, unchecked", exit) << exit << false;
        }
    }

    void resultsStoresChoice()
    {
        QFETCH(QString, exit);
        QFETCH(bool, checked);
        Store(QStringLiteral("ReportCResults"), checked); // the opposite, so a dialog that writes nothing is caught

        const int counts[4] = { 3, 2, 1, 0 };
        ConvertResultsDlg dlg(counts, folder);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto *check = dlg.findChild<QCheckBox *>(QStringLiteral("noShowCheck"));
        QVERIFY(!check->isChecked());
        if (checked)
            QTest::keyClick(check, Qt::Key_Space);
        Leave(&dlg, exit);

        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(exit == "Open Target" ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(Stored(QStringLiteral("ReportCResults")), QVariant(!checked));
        QCOMPARE(catcher.urls.size(), exit == "Open Target" ? 1 : 0);
    }

    void openTarget_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("create");
        QTest::addColumn<bool>("absolute");
        QTest::addColumn<bool>("opened");

        QTest::newRow("plain folder") << "clips" << true << true << true;
        QTest::newRow("hash and question mark") << "C# clips?" << true << true << true;
        QTest::newRow("percent and spaces") << "100% done #2" << true << true << true;
        QTest::newRow("non-ASCII") << QString::fromUtf8("Vid\xC3\xA9os \xE6\x98\xA0\xE5\x83\x8F") << true << true << true;
        QTest::newRow("missing folder") << "gone" << false << true << false;
        QTest::newRow("relative text") << "Same as source file" << true << false << false;
        QTest::newRow("empty text") << "" << false << false << false;
    }

    void openTarget()
    {
        QFETCH(QString, name);
        QFETCH(bool, create);
        QFETCH(bool, absolute);
        QFETCH(bool, opened);

        QTemporaryDir base(tmp.filePath(QStringLiteral("openXXXXXX")));
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
        Leave(&dlg, QStringLiteral("Open Target"));
        QDir::setCurrent(previousCwd);

        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(Stored(QStringLiteral("ReportCResults")), QVariant(true));
        QCOMPARE(catcher.urls, opened ? QList<QUrl>{ QUrl::fromLocalFile(path) } : QList<QUrl>());
    }

    void crashDialog()
    {
        ConvertCrashDlg dlg;
        QCOMPARE(dlg.findChild<QLabel *>(QStringLiteral("messageLabel"))->text(),
                 "Reelway Video Converter did not shut down correctly.\n" + Note);
        QCOMPARE(dlg.findChild<QCheckBox *>(QStringLiteral("noShowCheck"))->text(), QStringLiteral("Do not show again"));
        QCOMPARE(dlg.findChild<QDialogButtonBox *>()->standardButtons(),
                 QDialogButtonBox::StandardButtons(QDialogButtonBox::Ok));
        QVERIFY(dlg.windowTitle().isEmpty());
    }

    void crashStoresChoiceOnlyOnOk_data()
    {
        QTest::addColumn<QVariant>("before");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("exit");
        QTest::addColumn<QVariant>("after");

        QTest::newRow("checked, OK") << QVariant(true) << true << "OK" << QVariant(false);
        QTest::newRow("unchecked, OK") << QVariant(false) << false << "OK" << QVariant(true);
        QTest::newRow("unchecked, OK, key absent") << QVariant() << false << "OK" << QVariant(true);
        QTest::newRow("checked, close button") << QVariant(true) << true << "close button" << QVariant(true);
        QTest::newRow("checked, close button, key absent") << QVariant() << true << "close button" << QVariant();
        QTest::newRow("checked, Escape") << QVariant(true) << true << "Escape" << QVariant(true);
    }

    void crashStoresChoiceOnlyOnOk()
    {
        QFETCH(QVariant, before);
        QFETCH(bool, checked);
        QFETCH(QString, exit);
        QFETCH(QVariant, after);
        Store(QStringLiteral("ReportCrash"), before);

        ConvertCrashDlg dlg;
        TestSupport::ModalCloser<ConvertCrashDlg> closer([checked, exit](ConvertCrashDlg *shown) {
            if (checked)
                QTest::keyClick(shown->findChild<QCheckBox *>(QStringLiteral("noShowCheck")), Qt::Key_Space);
            Leave(shown, exit);
        });
        const int result = dlg.exec();
        QVERIFY(closer.found());
        QCOMPARE(dlg.findChild<QCheckBox *>(QStringLiteral("noShowCheck"))->isChecked(), checked);
        QCOMPARE(result, int(exit == "OK" ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(Stored(QStringLiteral("ReportCrash")), after);
    }

    void pluginsStoreAlwaysTrue_data()
    {
        QTest::addColumn<QVariant>("before");
        QTest::newRow("absent") << QVariant();
        QTest::newRow("false") << QVariant(false);
        QTest::newRow("junk text") << QVariant(QStringLiteral("no"));
    }

    void pluginsStoreAlwaysTrue()
    {
        QFETCH(QVariant, before);
        if (before.isValid()) {
            QSettings store(QStringLiteral("Korvent"), QStringLiteral("Plugins"));
            store.setValue(QStringLiteral("FreeImage"), before);
            store.setValue(QStringLiteral("FFMPEG"), before);
        }
        KRVInitPlugins();
        QSettings store(QStringLiteral("Korvent"), QStringLiteral("Plugins"));
        QCOMPARE(store.childKeys().size(), 2);
        QCOMPARE(store.value(QStringLiteral("FreeImage")).toString(), QStringLiteral("true"));
        QCOMPARE(store.value(QStringLiteral("FFMPEG")).toString(), QStringLiteral("true"));
        // The registry lives in a store of its own; the program's store stays untouched.
        QVERIFY(QSettings(QStringLiteral("Korvent"), QStringLiteral("Reelway")).allKeys().isEmpty());
    }

    void creditsTextOrder()
    {
        creditsText = QStringLiteral("left over from an earlier run");
        KRVInitPlugins();
        KRVInitPlugins();
        QCOMPARE(creditsText, Separator + freeImageNotice + Separator + ffmpegNotice);
    }

    void aboutDialog()
    {
        KRVAboutDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("About"));
        auto *logo = dlg.findChild<QLabel *>(QStringLiteral("logoLabel"));
        QCOMPARE(logo->pixmap(Qt::ReturnByValue).size(), QSize(150, 150));
        const QString about = PlainText(dlg.findChild<QLabel *>(QStringLiteral("textLabel"))->text());
        QVERIFY2(about.contains(QStringLiteral("Reelway Video Converter 1.0.4")), qPrintable(about));
        QVERIFY2(about.contains(QStringLiteral("NO WARRANTY")), qPrintable(about));
        QCOMPARE(dlg.findChild<QPushButton *>(QStringLiteral("creditsBtn"))->text(), QStringLiteral("Credits"));

        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto *link = dlg.findChild<QLabel *>(QStringLiteral("linkLabel"));
        QCOMPARE(PlainText(link->text()), QString::fromLatin1(MakerWebsite));
        const QPoint onText(link->fontMetrics().horizontalAdvance(QString::fromLatin1(MakerWebsite)) / 2,
                            link->height() / 2);
        QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, onText);
        QTRY_COMPARE(catcher.urls, QList<QUrl>{ QUrl(QString::fromLatin1(MakerWebsite)) });
        QVERIFY(dlg.isVisible());

        QTest::mouseClick(BoxButton(&dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void creditsButtonOpensCredits()
    {
        KRVInitPlugins();
        KRVAboutDlg about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));

        QStringList seen;
        TestSupport::ModalCloser<KRVAboutCreditsDlg> closer([&](KRVAboutCreditsDlg *credits) {
            seen << credits->windowTitle() << credits->findChild<QLabel *>(QStringLiteral("creditsLabel"))->text();
            seen << QString::number(about.isVisible() && QApplication::activeModalWidget() == credits);
            QTest::mouseClick(BoxButton(credits, QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QTest::mouseClick(about.findChild<QPushButton *>(QStringLiteral("creditsBtn")), Qt::LeftButton);
        QVERIFY(closer.found());
        QCOMPARE(seen, (QStringList{ "Credits", Separator + freeImageNotice + Separator + ffmpegNotice, "1" }));
        QVERIFY(about.isVisible());
        QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget *>(nullptr));
    }
};

QTEST_MAIN(TestSmallDialogs)
#include "test_smalldialogs.moc"
