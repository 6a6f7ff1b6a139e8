#include "testsupport.h"

#include "convert/convertcrashdlg.h"
#include "convert/convertresultsdlg.h"
#include "dialogs/settingsdlg.h"
#include "download/avdownloaddlg.h"
#include "krv/gen/krvaboutdlg.h"
#include "krv/gen/plugins.h"
#include "krv/gen/weblinks.h"

using TestSupport::Find;

namespace {

// Leaves a dialog by "close button", "Escape" or the button of that text.
void Leave(QDialog *dlg, const QString &exit)
{
    if (exit == QLatin1String("close button"))
        dlg->close();
    else if (exit == QLatin1String("Escape"))
        QTest::keyClick(dlg, Qt::Key_Escape);
    for (QAbstractButton *button : dlg->findChild<QDialogButtonBox *>()->buttons()) {
        if (button->text() == exit)
            QTest::mouseClick(button, Qt::LeftButton);
    }
}

// Texts of the shown labels, buttons and tab bars that get less room than their font needs.
QStringList CutTexts(QWidget *window)
{
    QStringList cut;
    for (QLabel *label : window->findChildren<QLabel *>()) {
        QSize need = label->fontMetrics().size(0, label->text());
        if (label->textFormat() == Qt::RichText) {
            QTextDocument doc;
            doc.setDefaultFont(label->font());
            doc.setDocumentMargin(0);
            doc.setHtml(label->text());
            need = QSize(qCeil(doc.idealWidth()), qCeil(doc.size().height()));
        }
        const QSize room = label->contentsRect().size();
        if (label->isVisibleTo(window) && (need.width() > room.width() || need.height() > room.height()))
            cut << label->text();
    }
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (button->isVisibleTo(window) && button->width() < button->sizeHint().width())
            cut << button->text();
    }
    for (QTabBar *tabs : window->findChildren<QTabBar *>()) {
        if (tabs->width() < tabs->sizeHint().width())
            cut << QStringLiteral("tab bar");
    }
    return cut;
}

} // namespace

class TestSmallDialogs : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    QString folder = fixture.path("config"); // the dialog keeps a reference to it
    const QFont appFont = QApplication::font();
    const int counts[4] = { 3, 2, 1, 0 };

private slots:
    void init()
    {
        fixture.urls().clear();
        TestSupport::ClearSettings();
        QApplication::setFont(appFont);
    }

    void textsFit_data()
    {
        QTest::addColumn<QString>("dialog"); QTest::addColumn<int>("points");
        for (const char *dialog : { "results", "crash", "about", "failed download", "effects" }) {
            for (int points : { 9, 12 })
                QTest::addRow("%s %d pt", dialog, points) << dialog << points;
        }
    }

    void textsFit()
    {
        QFETCH(QString, dialog); QFETCH(int, points);
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), points));
        QString downloaded;
        ConvertSettings record;
        const std::map<QString, std::function<QDialog *()>> make = {
            { "results", [&] { return new ConvertResultsDlg(counts, folder); } },
            { "crash", [] { return new ConvertCrashDlg; } },
            { "about", [] { return new KRVAboutDlg; } },
            { "failed download", [&] { return new AVDownloadDlg(&downloaded); } },
            { "effects", [&] { return new SettingsDlg(nullptr, &record); } },
        };
        const std::unique_ptr<QDialog> dlg(make.at(dialog)());
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        if (dialog == QLatin1String("failed download")) { // straight to an attempt that could not start
            QVERIFY(QMetaObject::invokeMethod(dlg.get(), "downloaded", Q_ARG(int, 0), Q_ARG(QProcess::ExitStatus, QProcess::NormalExit)));
            QVERIFY(Find<QLabel>(dlg.get(), "statusLabel")->isVisible());
        }
        auto *tabs = dlg->findChild<QTabWidget *>();
        for (int page = 0; page < (tabs ? tabs->count() : 1); ++page) {
            if (tabs)
                tabs->setCurrentIndex(page);
            QApplication::processEvents();
            QCOMPARE(CutTexts(dlg.get()), QStringList());
        }
    }

    void resultsSummary_data()
    {
        QTest::addColumn<QVector<int>>("n");
        QTest::newRow("mixed batch") << QVector<int>{ 3, 2, 1, 0 };
        QTest::newRow("nothing succeeded") << QVector<int>{ 2, 0, 1, 1 };
        QTest::newRow("all succeeded") << QVector<int>{ 12, 12, 0, 0 };
    }

    void resultsSummary()
    {
        QFETCH(QVector<int>, n);
        ConvertResultsDlg dlg(n.constData(), folder);
        QCOMPARE(Find<QLabel>(&dlg, "summaryLabel")->text(),
                 QString("Selected Files: %1\nSucceeded Files: %2\nFailed Files: %3\nCanceled Files: %4").arg(n[0]).arg(n[1]).arg(n[2]).arg(n[3]));
        // The note sits between the summary and the check box, and only when a file failed.
        auto *note = dlg.findChild<QLabel *>("noteLabel");
        QCOMPARE(dlg.layout()->count(), n[2] > 0 ? 4 : 3);
        QCOMPARE(dlg.layout()->itemAt(1)->widget(), note ? note : Find(&dlg, "noShowCheck"));
        QCOMPARE(dlg.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled(), n[1] > 0);
    }

    // The results dialog stores its check box on every way out, the crash notice on OK only;
    // only "Open Target" opens the folder.
    void storesChoice_data()
    {
        QTest::addColumn<QString>("key"); QTest::addColumn<QVariant>("before"); QTest::addColumn<bool>("check");
        QTest::addColumn<QString>("exit"); QTest::addColumn<bool>("accepted"); QTest::addColumn<QVariant>("after");
        const auto row = [](const char *name, const char *key, QVariant before, bool check, const char *exit, bool accepted, QVariant after) {
            QTest::newRow(name) << QString(key) << before << check << QString(exit) << accepted << after;
        };
        row("results, checked, OK", "ReportCResults", true, true, "OK", false, false);
        row("results, unchecked, Open Target", "ReportCResults", false, false, "Open Target", true, true);
        row("results, checked, close button", "ReportCResults", true, true, "close button", false, false);
        row("results, unchecked, Escape", "ReportCResults", false, false, "Escape", false, true);
        row("crash, checked, OK", "ReportCrash", true, true, "OK", true, false);
        row("crash, unchecked, OK, key absent", "ReportCrash", QVariant(), false, "OK", true, true);
        row("crash, checked, close button, key absent", "ReportCrash", QVariant(), true, "close button", false, QVariant());
        row("crash, checked, Escape", "ReportCrash", true, true, "Escape", false, true);
    }

    void storesChoice()
    {
        QFETCH(QString, key); QFETCH(QVariant, before); QFETCH(bool, check); QFETCH(QString, exit); QFETCH(bool, accepted); QFETCH(QVariant, after);
        if (before.isValid())
            QSettings("Korvent", "Reelway").setValue("Settings/" + key, before);
        const std::unique_ptr<QDialog> dlg(key == "ReportCrash" ? static_cast<QDialog *>(new ConvertCrashDlg)
                                                                : new ConvertResultsDlg(counts, folder));
        TestSupport::ModalCloser<QDialog> closer([check, exit](QDialog *shown) {
            if (check)
                QTest::keyClick(Find<QCheckBox>(shown, "noShowCheck"), Qt::Key_Space);
            Leave(shown, exit);
        });
        QCOMPARE(dlg->exec(), int(accepted ? QDialog::Accepted : QDialog::Rejected));
        QVERIFY(closer.found());
        QCOMPARE(QSettings("Korvent", "Reelway").value("Settings/" + key), after);
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
        const QString path = base.filePath(name);
        QVERIFY(base.isValid() && (!create || QDir().mkpath(path)));
        // A relative text must not be resolved against the working directory even
        // when a folder of that name happens to exist there.
        const QString previousCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(base.path()));
        const int succeeded[4] = { 2, 2, 0, 0 };
        ConvertResultsDlg dlg(succeeded, absolute ? path : name);
        dlg.show();
        Leave(&dlg, "Open Target");
        QDir::setCurrent(previousCwd);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(fixture.urls(), create && absolute ? QList<QUrl>{ QUrl::fromLocalFile(path) } : QList<QUrl>());
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
            seen << Find<QLabel>(credits, "creditsLabel")->text()
                 << QString::number(about.isVisible() && QApplication::activeModalWidget() == credits);
            QTest::mouseClick(credits->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(&about, "creditsBtn"), Qt::LeftButton);
        QVERIFY(closer.found());
        QCOMPARE(seen, (QStringList{ creditsText, "1" }));
        QVERIFY(about.isVisible() && QApplication::activeModalWidget() == nullptr);
        QTest::mouseClick(about.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(!about.isVisible() && about.result() == QDialog::Accepted);
    }
};

QTEST_MAIN(TestSmallDialogs)
#include "test_smalldialogs.moc"
