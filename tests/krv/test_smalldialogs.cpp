#include "testsupport.h"

#include "convert/convertcrashdlg.h"
#include "convert/convertresultsdlg.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QUrl>

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestSmallDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void resultsSummary_data();
    void resultsSummary();
    void resultsStoresChoice_data();
    void resultsStoresChoice();
    void resultsExecLeavesByOk();
    void openTarget_data();
    void openTarget();

    void crashDialog();
    void crashStoresChoice_data();
    void crashStoresChoice();

private:
    static QVariant Stored(const QString &key);
    static void Store(const QString &key, const QVariant &value);

    QTemporaryDir tmp;
    UrlCatcher catcher;
    QString existingFolder;
};

QVariant TestSmallDialogs::Stored(const QString &key)
{
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("Settings"));
    return settings.value(key);
}

void TestSmallDialogs::Store(const QString &key, const QVariant &value)
{
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    settings.beginGroup(QStringLiteral("Settings"));
    if (value.isValid())
        settings.setValue(key, value);
    else
        settings.remove(key);
}

void TestSmallDialogs::initTestCase()
{
    QVERIFY(tmp.isValid());
    TestSupport::IsolateUserDirs(tmp.path());
    for (const char *scheme : { "file", "http", "https" })
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "open");
    existingFolder = tmp.filePath(QStringLiteral("targets"));
    QVERIFY(QDir().mkpath(existingFolder));
}

void TestSmallDialogs::init()
{
    catcher.urls.clear();
    TestSupport::ClearSettings();
}

void TestSmallDialogs::cleanupTestCase()
{
    for (const char *scheme : { "file", "http", "https" })
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void TestSmallDialogs::resultsSummary_data()
{
    QTest::addColumn<QVector<int>>("counts");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<bool>("note");
    QTest::addColumn<bool>("openEnabled");

    QTest::newRow("mixed batch") << QVector<int>{ 3, 2, 1, 0 }
                                 << "Selected Files: 3\nSucceeded Files: 2\nFailed Files: 1\nCanceled Files: 0" << true << true;
    QTest::newRow("nothing succeeded") << QVector<int>{ 2, 0, 1, 1 }
                                       << "Selected Files: 2\nSucceeded Files: 0\nFailed Files: 1\nCanceled Files: 1" << true
                                       << false;
    QTest::newRow("all succeeded") << QVector<int>{ 12, 12, 0, 0 }
                                   << "Selected Files: 12\nSucceeded Files: 12\nFailed Files: 0\nCanceled Files: 0" << false
                                   << true;
    QTest::newRow("all canceled") << QVector<int>{ 4, 0, 0, 4 }
                                  << "Selected Files: 4\nSucceeded Files: 0\nFailed Files: 0\nCanceled Files: 4" << false
                                  << false;
    QTest::newRow("large counts") << QVector<int>{ 12345, 10000, 2345, 0 }
                                  << "Selected Files: 12345\nSucceeded Files: 10000\nFailed Files: 2345\nCanceled Files: 0"
                                  << true << true;
}

void TestSmallDialogs::resultsSummary()
{
    QFETCH(QVector<int>, counts);
    QFETCH(QString, summary);
    QFETCH(bool, note);
    QFETCH(bool, openEnabled);

    const QString folder = existingFolder;
    ConvertResultsDlg dlg(counts.constData(), folder);

    auto *summaryLabel = dlg.findChild<QLabel *>(QStringLiteral("summaryLabel"));
    QVERIFY(summaryLabel);
    QCOMPARE(summaryLabel->text(), summary);

    auto *noteLabel = dlg.findChild<QLabel *>(QStringLiteral("noteLabel"));
    QCOMPARE(noteLabel != nullptr, note);
    if (noteLabel)
        QCOMPARE(noteLabel->text(), QStringLiteral("Note: Files failed in a batch conversion on a computer with multi-core processer\n"
                                                   "may succeed if they are converted separately."));

    auto *check = dlg.findChild<QCheckBox *>(QStringLiteral("noShowCheck"));
    QVERIFY(check);
    QCOMPARE(check->text(), QStringLiteral("Do not show again"));
    QVERIFY(!check->isChecked());

    auto *box = dlg.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(box);
    QCOMPARE(box->buttons().size(), 2);
    QPushButton *open = box->button(QDialogButtonBox::Ok);
    QPushButton *ok = box->button(QDialogButtonBox::Cancel);
    QVERIFY(open && ok);
    QCOMPARE(open->text(), QStringLiteral("Open Target"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(open->isEnabled(), openEnabled);
    QVERIFY(ok->isEnabled());

    QLayout *layout = dlg.layout();
    QVERIFY(layout);
    QCOMPARE(layout->count(), note ? 4 : 3);
    QCOMPARE(layout->itemAt(0)->widget(), summaryLabel);
    if (note)
        QCOMPARE(layout->itemAt(1)->widget(), noteLabel);
    QCOMPARE(layout->itemAt(layout->count() - 2)->widget(), check);
    QCOMPARE(layout->itemAt(layout->count() - 1)->widget(), box);

    QCOMPARE(dlg.windowTitle(), QStringLiteral("Convert Results"));
    QCOMPARE(dlg.minimumSize(), QSize(410, 160));
    QCOMPARE(dlg.maximumSize(), QSize(410, 160));
    QVERIFY(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(dlg.windowFlags() & Qt::WindowContextHelpButtonHint));
}

void TestSmallDialogs::resultsStoresChoice_data()
{
    QTest::addColumn<QString>("exit");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("result");

    const QStringList exits = { "OK", "Open Target", "close button", "Escape" };
    for (const QString &exit : exits) {
        const int result = exit == QLatin1String("Open Target") ? QDialog::Accepted : QDialog::Rejected;
        QTest::addRow("%s, checked", qPrintable(exit)) << exit << true << result;
        QTest::addRow("%s, unchecked", qPrintable(exit)) << exit << false << result;
    }
}

void TestSmallDialogs::resultsStoresChoice()
{
    QFETCH(QString, exit);
    QFETCH(bool, checked);
    QFETCH(int, result);

    // Start from the opposite value so a dialog that writes nothing is caught.
    Store(QStringLiteral("ReportCResults"), checked);

    const int counts[4] = { 3, 2, 1, 0 };
    const QString folder = existingFolder;
    ConvertResultsDlg dlg(counts, folder);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto *check = dlg.findChild<QCheckBox *>(QStringLiteral("noShowCheck"));
    auto *box = dlg.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(check && box);
    if (checked)
        QTest::keyClick(check, Qt::Key_Space);
    QCOMPARE(check->isChecked(), checked);

    if (exit == QLatin1String("OK"))
        QTest::mouseClick(box->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    else if (exit == QLatin1String("Open Target"))
        QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
    else if (exit == QLatin1String("close button"))
        dlg.close();
    else
        QTest::keyClick(&dlg, Qt::Key_Escape);

    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), result);
    const QVariant stored = Stored(QStringLiteral("ReportCResults"));
    QVERIFY(stored.isValid());
    QCOMPARE(stored.toBool(), !checked);
    QCOMPARE(catcher.urls.size(), exit == QLatin1String("Open Target") ? 1 : 0);
}

void TestSmallDialogs::resultsExecLeavesByOk()
{
    const int counts[4] = { 1, 1, 0, 0 };
    const QString folder = existingFolder;
    ConvertResultsDlg dlg(counts, folder);
    TestSupport::ModalCloser<ConvertResultsDlg> closer([](ConvertResultsDlg *shown) {
        shown->findChild<QCheckBox *>(QStringLiteral("noShowCheck"))->setChecked(true);
        QTest::mouseClick(shown->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Cancel),
                          Qt::LeftButton);
    });
    QCOMPARE(dlg.exec(), int(QDialog::Rejected));
    QVERIFY(closer.found());
    QCOMPARE(Stored(QStringLiteral("ReportCResults")).toBool(), false);
    QVERIFY(catcher.urls.isEmpty());
}

void TestSmallDialogs::openTarget_data()
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

void TestSmallDialogs::openTarget()
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
    const QString folder = absolute ? path : name;

    const int counts[4] = { 2, 2, 0, 0 };
    ConvertResultsDlg dlg(counts, folder);
    dlg.show();
    QTest::mouseClick(dlg.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
    QDir::setCurrent(previousCwd);

    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(Stored(QStringLiteral("ReportCResults")).toBool(), true);
    if (!opened) {
        QVERIFY(catcher.urls.isEmpty());
        return;
    }
    QCOMPARE(catcher.urls.size(), 1);
    const QUrl url = catcher.urls.first();
    QVERIFY(url.isLocalFile());
    QCOMPARE(url.toLocalFile(), path);
    QVERIFY(QFileInfo(url.toLocalFile()).isDir());
}

void TestSmallDialogs::crashDialog()
{
    ConvertCrashDlg dlg;
    auto *label = dlg.findChild<QLabel *>(QStringLiteral("messageLabel"));
    auto *check = dlg.findChild<QCheckBox *>(QStringLiteral("noShowCheck"));
    auto *box = dlg.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(label && check && box);
    QCOMPARE(label->text(), QStringLiteral("Reelway Video Converter did not shut down correctly.\n"
                                           "Note: Files failed in a batch conversion on a computer with multi-core processer\n"
                                           "may succeed if they are converted separately."));
    QCOMPARE(check->text(), QStringLiteral("Do not show again"));
    QVERIFY(!check->isChecked());
    QCOMPARE(box->standardButtons(), QDialogButtonBox::StandardButtons(QDialogButtonBox::Ok));
    QCOMPARE(dlg.layout()->count(), 3);
    QVERIFY(dlg.windowTitle().isEmpty());
    QCOMPARE(dlg.minimumSize(), QSize(410, 160));
    QCOMPARE(dlg.maximumSize(), QSize(410, 160));
    QVERIFY(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(dlg.windowFlags() & Qt::WindowContextHelpButtonHint));
}

void TestSmallDialogs::crashStoresChoice_data()
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
    QTest::newRow("unchecked, close button") << QVariant(false) << false << "close button" << QVariant(false);
}

void TestSmallDialogs::crashStoresChoice()
{
    QFETCH(QVariant, before);
    QFETCH(bool, checked);
    QFETCH(QString, exit);
    QFETCH(QVariant, after);

    Store(QStringLiteral("ReportCrash"), before);

    ConvertCrashDlg dlg;
    TestSupport::ModalCloser<ConvertCrashDlg> closer([checked, exit](ConvertCrashDlg *shown) {
        auto *check = shown->findChild<QCheckBox *>(QStringLiteral("noShowCheck"));
        if (checked)
            QTest::keyClick(check, Qt::Key_Space);
        if (exit == QLatin1String("OK"))
            QTest::mouseClick(shown->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
        else if (exit == QLatin1String("close button"))
            shown->close();
        else
            QTest::keyClick(shown, Qt::Key_Escape);
    });
    const int result = dlg.exec();
    QVERIFY(closer.found());
    QCOMPARE(dlg.findChild<QCheckBox *>(QStringLiteral("noShowCheck"))->isChecked(), checked);
    QCOMPARE(result, int(exit == QLatin1String("OK") ? QDialog::Accepted : QDialog::Rejected));

    const QVariant stored = Stored(QStringLiteral("ReportCrash"));
    QCOMPARE(stored.isValid(), after.isValid());
    if (after.isValid())
        QCOMPARE(stored.toBool(), after.toBool());
}

QTEST_MAIN(TestSmallDialogs)
#include "test_smalldialogs.moc"
