#include "app/mainwindow.h"
#include "dialogs/settingsdlg.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QSlider>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

#include <unistd.h>

namespace {

// Transcoders that are children of this test process, from /proc.
int RunningTranscoders()
{
    int count = 0;
    const QString self = QString::number(getpid());
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLatin1(stat.readAll());
        const int close = line.lastIndexOf(')');
        const QString comm = line.mid(line.indexOf('(') + 1, close - line.indexOf('(') - 1);
        const QStringList rest = line.mid(close + 2).split(' ');
        if (comm == "ffmpeg" && rest.value(1) == self)
            ++count;
    }
    return count;
}

QDialog *FindResultsDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowTitle() == "Convert Results")
            return qobject_cast<QDialog *>(w);
    }
    return nullptr;
}

// Reads the results dialog's four lines and leaves it by "OK".
std::unique_ptr<TestSupport::ModalCloser<QDialog>> ReadResults(QString &summary)
{
    return std::make_unique<TestSupport::ModalCloser<QDialog>>(
        [](QDialog *dlg) { return dlg->windowTitle() == "Convert Results"; },
        [&summary](QDialog *dlg) {
            summary = dlg->findChild<QLabel *>("summaryLabel")->text();
            dlg->reject();
        },
        180000);
}

} // namespace


class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void mixedBatch();
    void cancelMidBatch();
    void invalidTargetFolder();
    void sameAsSourceAndNoReport();
    void effectsFromTheDialog();
    void awkwardNames();
    void closeDuringBatchCancels();

private:
    QStringList prepareWindow(MainWindow &w, const QStringList &sources, const QString &folder);

    QTemporaryDir home;
    QTemporaryDir media;
    QString clip;
    TestSupport::UrlCatcher urlSink;
};

void TestBatch::initTestCase()
{
    QVERIFY(home.isValid());
    QVERIFY(media.isValid());
    TestSupport::IsolateUserDirs(home.path());
    QDesktopServices::setUrlHandler("file", &urlSink, "open");
    QDesktopServices::setUrlHandler("https", &urlSink, "open");
    clip = media.filePath("clip-src.mkv");
    QVERIFY(TestSupport::MakeClip(clip, 1.0, "160x120"));
}

void TestBatch::init()
{
    TestSupport::ClearSettings();
}

// Adds the sources, selects them all and points the target folder at `folder`.
QStringList TestBatch::prepareWindow(MainWindow &w, const QStringList &sources, const QString &folder)
{
    w.AddSrcPaths(sources, true);
    w.tgtFolderCmB->setEditText(folder);
    w.tgtFmtCmB->setCurrentIndex(w.tgtFmtCmB->findText("MP4 (.mp4)"));
    return w.selSrcFiles;
}

void TestBatch::mixedBatch()
{
    const QString in = media.filePath("mixed");
    const QString out = media.filePath("mixed out");
    QDir().mkpath(in);
    QDir().mkpath(out);
    QVERIFY(QFile::copy(clip, in + "/one.mkv"));
    QVERIFY(QFile::copy(clip, in + "/two.mkv"));
    QVERIFY(TestSupport::WriteBytes(in + "/broken.avi", QByteArray(4096, 'x')));

    MainWindow w;
    prepareWindow(w, { in + "/one.mkv", in + "/broken.avi", in + "/two.mkv" }, out);
    QCOMPARE(w.selSrcFiles.size(), 3);

    QString summary;
    bool noteShown = false, openEnabled = false;
    TestSupport::ModalCloser<QDialog> closer(
        [](QDialog *dlg) { return dlg->windowTitle() == "Convert Results"; },
        [&](QDialog *dlg) {
            summary = dlg->findChild<QLabel *>("summaryLabel")->text();
            noteShown = dlg->findChild<QLabel *>("noteLabel") != nullptr;
            auto *box = dlg->findChild<QDialogButtonBox *>();
            openEnabled = box->button(QDialogButtonBox::Ok)->isEnabled();
            dlg->reject();
        },
        120000);
    w.Convert();

    QCOMPARE(summary, QString("Selected Files: 3\nSucceeded Files: 2\nFailed Files: 1\nCanceled Files: 0"));
    QVERIFY(noteShown);
    QVERIFY(openEnabled);
    QCOMPARE(w.convertCounts[1], 0);

    QHash<QString, QString> status;
    for (int row = 0; row < w.srcModel.rowCount(); ++row)
        status.insert(w.srcModel.item(row, 0)->text(), w.srcModel.item(row, 4)->text());
    QCOMPARE(status.value("one"), QString("Succeeded"));
    QCOMPARE(status.value("two"), QString("Succeeded"));
    QCOMPARE(status.value("broken"), QString("Failed"));

    QCOMPARE(w.tgtModel.rowCount(), 2);
    QStringList produced = QDir(out).entryList(QDir::Files);
    produced.sort();
    QCOMPARE(produced, QStringList({ "one.mp4", "two.mp4" }));
    QStringList listed;
    for (int row = 0; row < 2; ++row) {
        const int index = w.tgtModel.item(row, 4)->data(Qt::UserRole).toInt();
        listed << QFileInfo(w.tgtFiles.at(index)).fileName();
        QCOMPARE(w.tgtModel.item(row, 0)->text() + ".mp4", listed.last());
    }
    listed.sort();
    QCOMPARE(listed, produced);
    QVERIFY(w.tgtSelModel->isRowSelected(0, QModelIndex()));
    QVERIFY(!w.selTgtFile.isEmpty());
    QVERIFY(w.actPlayTgt->isEnabled());

    // The store got the choices before anything was converted.
    QSettings store("Korvent", "Reelway");
    QCOMPARE(store.value("CSettings/TgtFolder").toString(), out);
    QCOMPARE(store.value("TgtFolder/Count").toInt(), 0);
}

void TestBatch::cancelMidBatch()
{
    const QString in = media.filePath("cancel");
    const QString out = media.filePath("cancel out");
    QDir().mkpath(in);
    QDir().mkpath(out);
    QVERIFY(QFile::copy(clip, in + "/a1.mkv"));
    QVERIFY(QFile::copy(clip, in + "/a2.mkv"));
    // Long enough that the transcoder is still busy when the test cancels.
    QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=duration=60:size=1280x720:rate=25", "-c:v",
                                     "mpeg4", "-q:v", "20", in + "/b1.mkv" }));
    QVERIFY(QFile::copy(in + "/b1.mkv", in + "/b2.mkv"));
    QVERIFY(QFile::copy(in + "/b1.mkv", in + "/b3.mkv"));

    MainWindow w;
    w.srcView->sortByColumn(0, Qt::AscendingOrder);
    prepareWindow(w, { in + "/a1.mkv", in + "/a2.mkv", in + "/b1.mkv", in + "/b2.mkv", in + "/b3.mkv" }, out);
    QCOMPARE(QFileInfo(w.selSrcFiles.first()).baseName(), QString("a1"));

    bool canceled = false;
    int transcodersAtCancel = 0;
    QElapsedTimer sinceCancel;
    qint64 drainMs = -1;
    TestSupport::ModalCloser<QProgressDialog> canceler(
        [&](QProgressDialog *dlg) {
            auto *poll = new QTimer(dlg);
            connect(poll, &QTimer::timeout, dlg, [&, dlg, poll]() {
                if (w.convertCounts[1] < 2)
                    return;
                poll->stop();
                transcodersAtCancel = RunningTranscoders();
                canceled = true;
                sinceCancel.start();
                dlg->findChild<QPushButton *>()->click();
            });
            poll->start(50);
        },
        60000);
    QString summary;
    TestSupport::ModalCloser<QDialog> closer(
        [](QDialog *dlg) { return dlg->windowTitle() == "Convert Results"; },
        [&](QDialog *dlg) {
            drainMs = sinceCancel.elapsed();
            summary = dlg->findChild<QLabel *>("summaryLabel")->text();
            dlg->accept();
        },
        180000);
    w.Convert();
    QVERIFY(canceler.found());
    QVERIFY(canceled);
    QVERIFY(closer.found());
    QVERIFY2(transcodersAtCancel > 0, "the long jobs were running when the batch was canceled");
    QVERIFY2(drainMs < 8000, qPrintable(QString("drain took %1 ms").arg(drainMs)));

    QCOMPARE(summary, QString("Selected Files: 5\nSucceeded Files: 2\nFailed Files: 0\nCanceled Files: 3"));
    for (int row = 0; row < w.srcModel.rowCount(); ++row) {
        const QString name = w.srcModel.item(row, 0)->text();
        QCOMPARE(w.srcModel.item(row, 4)->text(), QString(name.startsWith('a') ? "Succeeded" : "Canceled"));
        QVERIFY(!w.srcModel.item(row, 0)->icon().isNull());
    }
    QStringList produced = QDir(out).entryList(QDir::Files);
    produced.sort();
    QCOMPARE(produced, QStringList({ "a1.mp4", "a2.mp4" }));
    QCOMPARE(RunningTranscoders(), 0);
}

void TestBatch::invalidTargetFolder()
{
    MainWindow w;
    QVERIFY(QFile::copy(clip, media.filePath("lonely.mkv")));
    w.AddSrcPaths({ media.filePath("lonely.mkv") }, true);
    for (const QString &folder : { QString(), media.filePath("does not exist") }) {
        w.tgtFolderCmB->setEditText(folder);
        QToolTip::hideText();
        w.Convert();
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QString("Invalid targt folder!"));
    }
    QSettings store("Korvent", "Reelway");
    QVERIFY(store.childGroups().isEmpty() || !store.childGroups().contains("CSettings"));
    QVERIFY(!store.childGroups().contains("TgtFolder"));
    QVERIFY(!QFileInfo::exists(media.filePath("lonely.mp4")));
}

void TestBatch::sameAsSourceAndNoReport()
{
    const QString in = media.filePath("beside");
    QDir().mkpath(in);
    QVERIFY(QFile::copy(clip, in + "/beside.mkv"));
    QSettings("Korvent", "Reelway").setValue("Settings/ReportCResults", false);

    MainWindow w;
    prepareWindow(w, { in + "/beside.mkv" }, "Same as source file");
    int dialogs = 0;
    TestSupport::ModalCloser<QDialog> watcher(
        [](QDialog *dlg) { return dlg->windowTitle() == "Convert Results"; },
        [&](QDialog *dlg) {
            ++dialogs;
            dlg->reject();
        },
        60000);
    w.Convert();
    QCOMPARE(dialogs, 0);
    QVERIFY(FindResultsDialog() == nullptr);
    QVERIFY(QFileInfo(in + "/beside.mp4").size() > 0);
    // Without the dialog nothing resets the counts until the next batch.
    QCOMPARE(w.convertCounts[0], 1);
    QCOMPARE(w.convertCounts[1], 1);
}

void TestBatch::effectsFromTheDialog()
{
    const QString in = media.filePath("effects");
    QDir().mkpath(in);
    QVERIFY(TestSupport::MakeClip(in + "/wide.mkv", 1.0, "320x240"));

    MainWindow w;
    prepareWindow(w, { in + "/wide.mkv" }, "Same as source file");
    TestSupport::ModalCloser<SettingsDlg> editor([](SettingsDlg *dlg) {
        dlg->findChild<QCheckBox *>("wtEnableCheck")->click();
        dlg->findChild<QLineEdit *>("wtContentEdit")->setText("Reelway");
        dlg->findChild<QCheckBox *>("transformEnableCheck")->click();
        dlg->findChild<QCheckBox *>("rotateCheck")->click();
        dlg->findChild<QCheckBox *>("clrEnableCheck")->click();
        dlg->findChild<QSlider *>("brightnessSlider")->setValue(2);
        dlg->findChild<QSlider *>("gammaSlider")->setValue(12);
        dlg->findChild<QPushButton *>("okButton")->click();
    });
    w.Settings();
    QVERIFY(editor.found());
    QVERIFY(w.convertSettings.wtEnable);
    QVERIFY(w.convertSettings.transform && w.convertSettings.rotate);
    QCOMPARE(w.convertSettings.rotateDegree, 0);
    QVERIFY(w.convertSettings.clrEnable);

    QString summary;
    const auto closer = ReadResults(summary);
    w.Convert();
    QVERIFY(closer->found());
    QVERIFY2(summary.contains("Succeeded Files: 1"), qPrintable(summary));
    QCOMPARE(TestSupport::ProbeSize(in + "/wide.mp4"), QString("240x320"));
}

void TestBatch::awkwardNames()
{
    const QString in = media.filePath("awkward");
    const QString out = media.filePath("out #1 \u00fc?");
    QDir().mkpath(in);
    QDir().mkpath(out);
    const QStringList names = { "my clip.mkv", "it's \"quoted\".mkv", "#1 take.mkv", "-dash.mkv",
                                "\u00dcn\u00efc\u00f6d\u00e9 \u65e5\u672c.mkv", "100% a:b.mkv" };
    QHash<QString, QByteArray> before;
    QStringList sources;
    for (const QString &name : names) {
        QVERIFY(QFile::copy(clip, in + '/' + name));
        sources << in + '/' + name;
        QFile f(sources.last());
        QVERIFY(f.open(QIODevice::ReadOnly));
        before.insert(sources.last(), f.readAll());
    }

    MainWindow w;
    prepareWindow(w, sources, out);
    QCOMPARE(w.selSrcFiles.size(), names.size());
    QString summary;
    const auto closer = ReadResults(summary);
    w.Convert();
    QVERIFY(closer->found());
    QCOMPARE(summary, QString("Selected Files: 6\nSucceeded Files: 6\nFailed Files: 0\nCanceled Files: 0"));
    for (const QString &name : names) {
        const QString target = out + '/' + QFileInfo(name).completeBaseName() + ".mp4";
        QVERIFY2(!TestSupport::ProbeSize(target).isEmpty(), qPrintable(target));
    }
    for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
        QFile f(it.key());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), it.value());
    }
    QCOMPARE(w.tgtModel.rowCount(), names.size());
}

void TestBatch::closeDuringBatchCancels()
{
    const QString in = media.filePath("closing");
    const QString out = media.filePath("closing out");
    QDir().mkpath(in);
    QDir().mkpath(out);
    QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=duration=40:size=1280x720:rate=25", "-c:v",
                                     "mpeg4", "-q:v", "20", in + "/long.mkv" }));

    MainWindow w;
    w.show();
    prepareWindow(w, { in + "/long.mkv" }, out);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &w, [&]() {
        if (RunningTranscoders() > 0) {
            poll.stop();
            w.close();
        }
    });
    poll.start(50);
    QString summary;
    const auto closer = ReadResults(summary);
    w.Convert();
    QVERIFY(closer->found());
    QCOMPARE(summary, QString("Selected Files: 1\nSucceeded Files: 0\nFailed Files: 0\nCanceled Files: 1"));
    QVERIFY(w.isVisible());
    QCOMPARE(w.srcModel.item(0, 4)->text(), QString("Canceled"));
    QVERIFY(QDir(out).entryList(QDir::Files).isEmpty());
    QCOMPARE(RunningTranscoders(), 0);
}

QTEST_MAIN(TestBatch)
#include "test_batch.moc"
