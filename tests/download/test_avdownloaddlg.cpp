#include "testsupport.h"

#include "download/avdownloaddlg.h"

#include <QtNetwork>

#include <cerrno>
#include <signal.h>

// A loopback HTTP server for one clip, as the requested name says: whole, broken off half way
// (after announcing the whole length, or without one), or trickling for ever.
class MediaServer : public QTcpServer
{
public:
    QByteArray clip;
    QStringList requests;
    QString Url(const QString &name) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(serverPort()).arg(name); }

protected:
    void incomingConnection(qintptr handle) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(handle);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine() || socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            const QByteArray target = socket->readLine().split(' ').value(1);
            requests << QString::fromLatin1(target);
            const bool trickle = target == "/Slow.mp4", noLength = target == "/NoLength.mp4";
            const qint64 length = trickle ? 50 * 1024 * 1024 : clip.size();
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nConnection: close\r\n"
                          + (noLength ? QByteArray() : "Content-Length: " + QByteArray::number(length) + "\r\n") + "\r\n");
            if (trickle) {
                auto *timer = new QTimer(socket);
                connect(timer, &QTimer::timeout, socket, [socket] { socket->write(QByteArray(512, '\0')); });
                timer->start(50);
                return;
            }
            socket->write(noLength || target == "/Truncated.mp4" ? clip.left(clip.size() / 2) : clip);
            socket->disconnectFromHost();
        });
    }
};

// One shown dialog with its widgets found by object name.
struct DialogUnderTest
{
    QString result = QStringLiteral("stale");
    std::unique_ptr<AVDownloadDlg> dlg = std::make_unique<AVDownloadDlg>(&result);
    QLineEdit *urlEdit = TestSupport::Find<QLineEdit>(dlg.get(), "urlEdit");
    QPushButton *downloadBtn = TestSupport::Find<QPushButton>(dlg.get(), "downloadBtn");
    QPushButton *okBtn = TestSupport::Find<QPushButton>(dlg.get(), "okBtn");
    QLabel *statusLabel = TestSupport::Find<QLabel>(dlg.get(), "statusLabel");
    QProgressBar *progressBar = TestSupport::Find<QProgressBar>(dlg.get(), "progressBar");
    QPushButton *cancelBtn = dlg->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel);

    DialogUnderTest() { dlg->show(); }
    // Starts an attempt and answers whether it ended within the time allowed.
    bool Download(const QString &url, int timeoutMs = 30000)
    {
        urlEdit->setText(url);
        downloadBtn->click();
        return QTest::qWaitFor([this] { return statusLabel->isVisible(); }, timeoutMs);
    }
    // Ready for a new attempt, with the focus on the address, not on Cancel, which a typed blank would press.
    bool Failed() const
    {
        return result.isEmpty() && downloadBtn->isEnabled() && !okBtn->isEnabled() && urlEdit->isEnabled()
               && !progressBar->isVisible() && urlEdit->hasFocus()
               && statusLabel->text() == QLatin1String("Download failed. Please check the url or internet connection.");
    }
};


class TestAVDownloadDlg : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    MediaServer server;
    const QString downloads = fixture.path("Downloads");
    // The downloader's own settings, read from the isolated folders.
    const QString downloaderConfig = fixture.path("config/yt-dlp/config");
    const QString tempRoot = fixture.path("tmp"); // where each dialog keeps its unfinished downloads

    QStringList DownloadedFiles() const { return QDir(downloads).entryList(QDir::Files | QDir::Hidden); }

private slots:
    void initTestCase()
    {
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation), downloads);
        QFile clipFile(TestSupport::Clip(1.0, "160x120", "mp4"));
        QVERIFY(clipFile.open(QIODevice::ReadOnly) && QDir().mkpath(QFileInfo(downloaderConfig).path()));
        server.clip = clipFile.readAll();
        QVERIFY(server.listen(QHostAddress::LocalHost) && QDir().mkpath(tempRoot));
        qputenv("TMPDIR", QFile::encodeName(tempRoot));
    }

    void init()
    {
        QFile::remove(downloads);
        QDir(downloads).removeRecursively();
        QVERIFY(QDir().mkpath(downloads) && TestSupport::WriteBytes(downloaderConfig, QByteArray()));
    }

    void downloadsUnderFreeNames()
    {
        // The file arrives but cannot be placed (the downloads folder is a file): a failure.
        QVERIFY(QDir(downloads).removeRecursively() && TestSupport::WriteBytes(downloads, "not a folder"));
        DialogUnderTest d;
        QVERIFY(d.Download(server.Url("First.mp4")));
        QVERIFY2(d.Failed(), qPrintable(d.statusLabel->text()));
        // The next attempt does not count what the first left behind; a fresh account
        // may have no downloads folder yet: it is made.
        QVERIFY(QFile::remove(downloads) && d.Download(server.Url("Second.mp4")));
        QCOMPARE(d.statusLabel->text(), "Download completed. The downloaded file will be added into source files.");
        QCOMPARE(d.result, downloads + "/Second.mp4");
        QFile copy(d.result);
        QVERIFY(copy.open(QIODevice::ReadOnly) && copy.readAll() == server.clip);
        QVERIFY(d.okBtn->isEnabled() && !d.downloadBtn->isEnabled() && d.urlEdit->isEnabled() && !d.progressBar->isVisible());

        // OK hands the file over under the next free name.
        DialogUnderTest again;
        QVERIFY(again.Download(server.Url("Second.mp4")));
        again.okBtn->click();
        QVERIFY(again.dlg->result() == QDialog::Accepted && again.result == downloads + "/Second-1.mp4");
        QCOMPARE(DownloadedFiles(), QStringList({ "Second-1.mp4", "Second.mp4" }));

        // Cancel after a success takes the copy back.
        d.cancelBtn->click();
        QVERIFY(d.dlg->result() == QDialog::Rejected && d.result.isEmpty());
        QCOMPARE(DownloadedFiles(), QStringList({ "Second-1.mp4" }));
    }

    void failureShowsMessage_data()
    {
        QTest::addColumn<QString>("url"); QTest::addColumn<QByteArray>("config");
        // The broken-off transfer leaves only its ".part" file behind.
        QTest::newRow("transfer breaks off") << server.Url("Truncated.mp4") << QByteArray();
        // With no length to measure against, the downloader exits 0 and believes half a file whole;
        // half an MP4 whose index would follow the media is unreadable.
        QTest::newRow("breaks off without a length") << server.Url("NoLength.mp4") << QByteArray();
        // A whole, readable file, but the downloader exits 1: the command it runs afterwards fails.
        QTest::newRow("downloader fails after a whole file") << server.Url("Second.mp4") << QByteArray("--exec \"exit 3\"\n");
        // Read as an option, this address would delete the downloader's cache folder.
        QTest::newRow("address beginning with a dash") << QStringLiteral("--rm-cache-dir") << QByteArray();
    }

    void failureShowsMessage()
    {
        QFETCH(QString, url); QFETCH(QByteArray, config);
        const QString cacheMarker = fixture.path("cache/yt-dlp/marker");
        QVERIFY(QDir().mkpath(QFileInfo(cacheMarker).path()) && TestSupport::WriteBytes(cacheMarker, "x"));
        QVERIFY(TestSupport::WriteBytes(downloaderConfig, config));
        DialogUnderTest d;
        QVERIFY(d.Download(url));
        QVERIFY2(d.Failed(), qPrintable(d.statusLabel->text()));
        QVERIFY(DownloadedFiles().isEmpty() && QFileInfo::exists(cacheMarker));
    }

    // Destroyed mid-transfer, the dialog ends its downloader and leaves nothing behind.
    void runningDownloaderEndsWithTheDialog()
    {
        auto d = std::make_unique<DialogUnderTest>();
        QVERIFY(!d->Download(server.Url("Slow.mp4"), 0));
        QVERIFY(!d->urlEdit->isEnabled() && !d->downloadBtn->isEnabled() && !d->okBtn->isEnabled() && d->progressBar->isVisible());
        // Two requests: the downloader has looked the address up and is receiving the body.
        QVERIFY(QTest::qWaitFor([this] { return server.requests.count("/Slow.mp4") >= 2; }, 30000));
        QProcess *process = d->dlg->findChild<QProcess *>();
        QVERIFY(process && process->state() == QProcess::Running);
        QCOMPARE(QDir(tempRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
        const pid_t pid = pid_t(process->processId());
        // Left to QProcess's own destructor, the kill would come after the
        // temporary folder is gone and report to a half-destroyed dialog.
        static QStringList capturedWarnings;
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) { if (type == QtWarningMsg) capturedWarnings << message; });
        d.reset();
        qInstallMessageHandler(previous);
        QVERIFY2(capturedWarnings.isEmpty(), qPrintable(capturedWarnings.join('\n')));
        QVERIFY(::kill(pid, 0) != 0 && errno == ESRCH);
        QVERIFY(DownloadedFiles().isEmpty() && QDir(tempRoot).isEmpty());
    }
};

QTEST_MAIN(TestAVDownloadDlg)
#include "test_avdownloaddlg.moc"
