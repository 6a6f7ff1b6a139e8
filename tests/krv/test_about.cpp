#include "testsupport.h"

#include "krv/gen/krvaboutdlg.h"
#include "krv/gen/plugins.h"
#include "krv/gen/weblinks.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTextDocument>
#include <QUrl>

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void pluginsStoreAlwaysTrue_data();
    void pluginsStoreAlwaysTrue();
    void creditsTextOrder();
    void aboutDialog();
    void linkOpensInBrowser();
    void creditsButtonOpensCredits();

private:
    QTemporaryDir tmp;
    UrlCatcher catcher;
};

static const QString sSeparator = QStringLiteral("<br><br/><br><br/>");

static QString PlainText(const QString &richText)
{
    QTextDocument doc;
    doc.setHtml(richText);
    return doc.toPlainText();
}

void TestAbout::initTestCase()
{
    QVERIFY(tmp.isValid());
    TestSupport::IsolateUserDirs(tmp.path());
    for (const char *scheme : { "file", "http", "https" })
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "open");
}

void TestAbout::init()
{
    catcher.urls.clear();
    TestSupport::ClearSettings();
}

void TestAbout::cleanupTestCase()
{
    for (const char *scheme : { "file", "http", "https" })
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void TestAbout::pluginsStoreAlwaysTrue_data()
{
    QTest::addColumn<QVariant>("before");

    QTest::newRow("absent") << QVariant();
    QTest::newRow("false") << QVariant(false);
    QTest::newRow("true") << QVariant(true);
    QTest::newRow("junk text") << QVariant(QStringLiteral("no"));
}

void TestAbout::pluginsStoreAlwaysTrue()
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

void TestAbout::creditsTextOrder()
{
    creditsText = QStringLiteral("left over from an earlier run");
    KRVInitPlugins();
    KRVInitPlugins();
    QCOMPARE(creditsText, sSeparator + freeImageNotice + sSeparator + ffmpegNotice);
}

void TestAbout::aboutDialog()
{
    KRVAboutDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("About"));
    QCOMPARE(dlg.minimumSize(), QSize(460, 270));
    QCOMPARE(dlg.maximumSize(), QSize(460, 270));
    QVERIFY(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(dlg.windowFlags() & Qt::WindowContextHelpButtonHint));

    auto *logo = dlg.findChild<QLabel *>(QStringLiteral("logoLabel"));
    QVERIFY(logo);
    const QPixmap pixmap = logo->pixmap(Qt::ReturnByValue);
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.size(), QSize(150, 150));
    QVERIFY(!logo->hasScaledContents());

    auto *link = dlg.findChild<QLabel *>(QStringLiteral("linkLabel"));
    QVERIFY(link);
    QCOMPARE(link->textFormat(), Qt::RichText);
    QCOMPARE(PlainText(link->text()), QString::fromLatin1(MakerWebsite));
    QVERIFY(link->text().contains(QStringLiteral("href=\"%1\"").arg(QString::fromLatin1(MakerWebsite))));
    QCOMPARE(int(link->textInteractionFlags()), 13);
    QVERIFY(link->openExternalLinks());

    auto *text = dlg.findChild<QLabel *>(QStringLiteral("textLabel"));
    QVERIFY(text);
    QCOMPARE(text->textFormat(), Qt::RichText);
    const QString about = PlainText(text->text());
    QVERIFY2(about.contains(QStringLiteral("Reelway Video Converter 1.0.4")), qPrintable(about));
    QVERIFY2(about.contains(QStringLiteral("rights reserved")), qPrintable(about));
    QVERIFY2(about.contains(QStringLiteral("NO WARRANTY")), qPrintable(about));

    auto *box = dlg.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    auto *credits = dlg.findChild<QPushButton *>(QStringLiteral("creditsBtn"));
    QVERIFY(box && credits);
    QCOMPARE(credits->text(), QStringLiteral("Credits"));
    QCOMPARE(box->buttonRole(credits), QDialogButtonBox::ApplyRole);
    QVERIFY(box->button(QDialogButtonBox::Ok));
    QCOMPARE(box->buttons().size(), 2);

    // The logo and link sit left of the text.
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(logo->mapTo(&dlg, QPoint(0, 0)).x() < text->mapTo(&dlg, QPoint(0, 0)).x());
    QVERIFY(logo->mapTo(&dlg, QPoint(0, 0)).y() < link->mapTo(&dlg, QPoint(0, 0)).y());

    QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void TestAbout::linkOpensInBrowser()
{
    KRVAboutDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto *link = dlg.findChild<QLabel *>(QStringLiteral("linkLabel"));
    QVERIFY(link);
    const QPoint onText(link->fontMetrics().horizontalAdvance(QString::fromLatin1(MakerWebsite)) / 2, link->height() / 2);
    QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, onText);
    QTRY_COMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls.first(), QUrl(QString::fromLatin1(MakerWebsite)));
    QVERIFY(dlg.isVisible());
}

void TestAbout::creditsButtonOpensCredits()
{
    KRVInitPlugins();

    KRVAboutDlg about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));

    QString shownText;
    QString title;
    QSize size;
    int frame = -1;
    bool aboutStillOpen = false;
    bool creditsModal = false;
    TestSupport::ModalCloser<KRVAboutCreditsDlg> closer([&](KRVAboutCreditsDlg *credits) {
        if (auto *label = credits->findChild<QLabel *>(QStringLiteral("creditsLabel"))) {
            shownText = label->text();
            QCOMPARE(label->textFormat(), Qt::RichText);
        }
        if (auto *area = credits->findChild<QScrollArea *>())
            frame = area->frameStyle();
        title = credits->windowTitle();
        size = credits->size();
        aboutStillOpen = about.isVisible();
        creditsModal = credits->isModal() && QApplication::activeModalWidget() == credits;
        QTest::mouseClick(credits->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    QTest::mouseClick(about.findChild<QPushButton *>(QStringLiteral("creditsBtn")), Qt::LeftButton);
    QVERIFY(closer.found());

    QCOMPARE(shownText, creditsText);
    QVERIFY(shownText.startsWith(sSeparator + freeImageNotice + sSeparator + ffmpegNotice));
    QCOMPARE(title, QStringLiteral("Credits"));
    QCOMPARE(size, QSize(460, 270));
    QCOMPARE(frame, 0);
    QVERIFY(aboutStillOpen);
    QVERIFY(creditsModal);

    // Closing the credits returns to the about dialog, which stays open.
    QVERIFY(about.isVisible());
    QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget *>(nullptr));
}

QTEST_MAIN(TestAbout)
#include "test_about.moc"
