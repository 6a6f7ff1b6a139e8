#include "testsupport.h"

#include "app/convertcrashdlg.h"
#include "app/convertresultsdlg.h"
#include "dialogs/settingsdlg.h"
#include "download/avdownloaddlg.h"
#include "krv/gen/krvaboutdlg.h"
#include "krv/gen/plugins.h"
#include "krv/gen/weblinks.h"

using TestSupport::Find;

// Texts of the shown labels, buttons and tab bars that get less room than their font needs.
static QStringList CutTexts(QWidget *window)
{
    QStringList cut;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const bool label = qobject_cast<QLabel *>(w);
        if ((label || qobject_cast<QAbstractButton *>(w) || qobject_cast<QTabBar *>(w)) && w->isVisibleTo(window)
            && (w->width() < w->sizeHint().width() || (label && w->height() < w->sizeHint().height())))
            cut << w->metaObject()->className() + (' ' + w->property("text").toString());
    }
    return cut;
}

class TestSmallDialogs : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    QString folder = fixture.path("config"); // the dialog keeps a reference to it
    const QFont appFont = QApplication::font();

private slots:
    void init() { fixture.urls().clear(); TestSupport::ClearSettings(); QApplication::setFont(appFont); }

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
        const int counts[] = { 3, 2, 1, 0 };
        QString downloaded; // where a download would go
        ConvertSettings record;
        const std::unique_ptr<QDialog> dlg(dialog == "results" ? new ConvertResultsDlg(counts, folder) : dialog == "crash" ? static_cast<QDialog *>(new ConvertCrashDlg)
                                           : dialog == "about" ? static_cast<QDialog *>(new KRVAboutDlg) : dialog == "effects" ? static_cast<QDialog *>(new SettingsDlg(nullptr, &record))
                                           : new AVDownloadDlg(&downloaded));
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

    // The results dialog adds a note between the summary and the check box when a file failed, and can open
    // the target only when one succeeded; it stores its check box on every way out, the crash notice on OK only. Only "Open Target"
    // opens the folder, and only an absolute one that exists (made inside a scratch working directory, so a
    // relative text would find a folder of that name if it were resolved there).
    void storesChoice_data()
    {
        QTest::addColumn<QString>("key"); QTest::addColumn<QVariant>("before"); QTest::addColumn<bool>("check"); QTest::addColumn<QString>("exit"); QTest::addColumn<bool>("accepted"); QTest::addColumn<QVariant>("after"); QTest::addColumn<QString>("folder"); QTest::addColumn<bool>("opened"); QTest::addColumn<QVector<int>>("counts");
        const auto row = [](const char *name, const char *key, QVariant before, bool check, const char *exit, bool accepted, QVariant after, const char *folder = "/made", bool opened = false, const QVector<int> &counts = { 2, 2, 0, 0 }) {
            QTest::newRow(name) << QString(key) << before << check << QString(exit) << accepted << after << QString(folder) << opened << counts;
        };
        // The value stored before is the opposite, so a dialog that writes nothing is caught.
        row("results, checked, OK, nothing succeeded", "ReportCResults", true, true, "OK", false, false, "/made", false, { 2, 0, 1, 1 });
        row("results, Open Target, percent, hash and question mark", "ReportCResults", false, false, "Open Target", true, true, "/100% C# clips?", true, { 12, 12, 0, 0 });
        row("results, Open Target, missing folder", "ReportCResults", false, false, "Open Target", true, true, "/gone");
        row("results, Open Target, relative text", "ReportCResults", false, false, "Open Target", true, true, "Same as source file");
        row("results, checked, close button", "ReportCResults", true, true, "close button", false, false);
        row("results, unchecked, Escape, mixed batch", "ReportCResults", false, false, "Escape", false, true, "/made", false, { 3, 2, 1, 0 });
        row("crash, checked, OK", "ReportCrash", true, true, "OK", true, false);
        row("crash, unchecked, OK, key absent", "ReportCrash", QVariant(), false, "OK", true, true);
        row("crash, checked, close button, key absent", "ReportCrash", QVariant(), true, "close button", false, QVariant());
    }

    void storesChoice()
    {
        QFETCH(QString, key); QFETCH(QVariant, before); QFETCH(bool, check); QFETCH(QString, exit); QFETCH(bool, accepted); QFETCH(QVariant, after); QFETCH(QString, folder); QFETCH(bool, opened); QFETCH(QVector<int>, counts);
        if (before.isValid())
            QSettings("Korvent", "Reelway").setValue("Settings/" + key, before);
        QTemporaryDir base(fixture.path("openXXXXXX"));
        const QString previousCwd = QDir::currentPath(), path = folder.startsWith('/') ? base.path() + folder : folder;
        QVERIFY(base.isValid() && QDir::setCurrent(base.path()) && (folder.isEmpty() || folder == "/gone" || QDir().mkpath(path)));
        const std::unique_ptr<QDialog> dlg(key == "ReportCrash" ? static_cast<QDialog *>(new ConvertCrashDlg) : new ConvertResultsDlg(counts.constData(), path));
        if (key == "ReportCResults")
            QCOMPARE(dlg->layout()->itemAt(1)->widget()->objectName() + QString::number(dlg->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled()),
                     (counts[2] ? "noteLabel" : "noShowCheck") + QString::number(counts[1] > 0));
        TestSupport::ModalCloser<QDialog> closer([check, exit](QDialog *shown) {
            if (check)
                QTest::keyClick(Find<QCheckBox>(shown, "noShowCheck"), Qt::Key_Space);
            // Left by "close button", "Escape" or the button of that text.
            exit == "Escape" ? QTest::keyClick(shown, Qt::Key_Escape) : exit == "close button" ? void(shown->close()) : void();
            for (QPushButton *button : shown->findChildren<QPushButton *>())
                button->text() == exit ? QTest::mouseClick(button, Qt::LeftButton) : void();
        });
        const int result = dlg->exec();
        QDir::setCurrent(previousCwd);
        QVERIFY(closer.found());
        QCOMPARE(result, int(accepted ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(QSettings("Korvent", "Reelway").value("Settings/" + key), after);
        QCOMPARE(fixture.urls(), opened ? QList<QUrl>{ QUrl::fromLocalFile(path) } : QList<QUrl>());
    }

    void aboutAndCredits()
    {
        KRVInitPlugins();
        KRVAboutDlg about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        auto *link = Find<QLabel>(&about, "linkLabel");
        QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(link->fontMetrics().horizontalAdvance(MakerWebsite) / 2, link->height() / 2));
        QTRY_COMPARE(fixture.urls(), QList<QUrl>{ QUrl(QString::fromLatin1(MakerWebsite)) });
        // The credits come up modal over the about box, with the registry's text.
        QString seen;
        TestSupport::ModalCloser<KRVAboutCreditsDlg> closer([&](KRVAboutCreditsDlg *credits) {
            seen = Find<QLabel>(credits, "creditsLabel")->text() + QString::number(about.isVisible() && QApplication::activeModalWidget() == credits);
            QTest::mouseClick(credits->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(&about, "creditsBtn"), Qt::LeftButton);
        QVERIFY(closer.found() && about.isVisible() && !QApplication::activeModalWidget());
        QCOMPARE(seen, creditsText + '1');
    }
};

QTEST_MAIN(TestSmallDialogs)
#include "test_smalldialogs.moc"
