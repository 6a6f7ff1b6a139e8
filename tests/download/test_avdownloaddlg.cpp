#include "testsupport.h"

#include "download/avdownloaddlg.h"

#include <QtNetwork>

#include <cerrno>
#include <signal.h>

using TestSupport::Find;

static const QString CompletedText =
    QStringLiteral("Download completed. The downloaded file will be added into source files.");
static const QString FailedText = QStringLiteral("Download failed. Please check the url or internet connection.");

// A loopback HTTP server: whole files (empty for unknown paths), a transfer that breaks off
// half way (after announcing its length, or without one), and one that trickles for ever.
class MediaServer
{
public:
    enum class Mode { Whole, Truncated, NoLength, Trickle };

    bool Listen()
    {
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->canReadLine() || socket->property("answered").toBool())
                        return;
                    socket->setProperty("answered", true);
                    const QList<QByteArray> request = socket->readLine().split(' ');
                    Answer(socket, request.value(0) == "GET" ? QString::fromLatin1(request.value(1)) : QString());
                });
            }
        });
        return server.listen(QHostAddress::LocalHost);
    }
    void Serve(const QString &target, const QByteArray &bytes, Mode mode = Mode::Whole) { routes[target] = { bytes, mode }; }
    QString Url(const QString &target) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(target);
    }
    int Requests(const QString &target) const { return requests.count(target); }

private:
    void Answer(QTcpSocket *socket, const QString &target)
    {
        requests << target;
        const auto [bytes, mode] = routes.value(target);
        const qint64 length = mode == Mode::Trickle ? 50 * 1024 * 1024 : bytes.size();
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nConnection: close\r\n"
                      + (mode == Mode::NoLength ? QByteArray() : "Content-Length: " + QByteArray::number(length) + "\r\n")
                      + "\r\n");
        if (mode == Mode::Trickle) {
            auto *timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write(QByteArray(512, '\0')); });
            timer->start(50);
            return;
        }
        socket->write(mode == Mode::Whole ? bytes : bytes.left(bytes.size() / 2));
        socket->disconnectFromHost();
    }

    QTcpServer server;
    QHash<QString, QPair<QByteArray, Mode>> routes;
    QStringList requests;
};

// One shown dialog with its widgets found by object name.
struct DialogUnderTest
{
    QString result = QStringLiteral("stale");
    std::unique_ptr<AVDownloadDlg> dlg = std::make_unique<AVDownloadDlg>(&result);
    QLineEdit *urlEdit = Find<QLineEdit>(dlg.get(), "urlEdit");
    QPushButton *downloadBtn = Find<QPushButton>(dlg.get(), "downloadBtn");
    QPushButton *okBtn = Find<QPushButton>(dlg.get(), "okBtn");
    QLabel *statusLabel = Find<QLabel>(dlg.get(), "statusLabel");
    QProgressBar *progressBar = Find<QProgressBar>(dlg.get(), "progressBar");
    QPushButton *cancelBtn = dlg->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel);

    DialogUnderTest() { dlg->show(); }
    QProcess *Process() const { return dlg->findChild<QProcess *>(); }
    // Starts an attempt and answers whether it ended within the time allowed.
    bool Download(const QString &url, int timeoutMs = 30000)
    {
        urlEdit->setText(url);
        downloadBtn->click();
        return QTest::qWaitFor([this] { return statusLabel->isVisible(); }, timeoutMs);
    }
    // Idle before an attempt, or after a failed one: a new attempt may be started at once.
    bool Idle() const
    {
        return result.isEmpty() && downloadBtn->isEnabled() && !okBtn->isEnabled() && urlEdit->isEnabled()
               && !progressBar->isVisible();
    }
    // Focus back on the address, not on Cancel, which a typed blank would press.
    bool ShowsFailure() const
    {
        return Idle() && statusLabel->isVisible() && statusLabel->text() == FailedText && urlEdit->hasFocus();
    }
};

static QStringList capturedWarnings;

static void CaptureWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        capturedWarnings << message;
}

class TestAVDownloadDlg : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    MediaServer server;
    QByteArray clip;
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
        clip = clipFile.readAll();
        QVERIFY(server.Listen() && QDir().mkpath(tempRoot));
        qputenv("TMPDIR", QFile::encodeName(tempRoot));
        server.Serve(QStringLiteral("/First.mp4"), clip);
        server.Serve(QStringLiteral("/Second.mp4"), clip);
        server.Serve(QStringLiteral("/Truncated.mp4"), clip, MediaServer::Mode::Truncated);
        // Half an MP4 whose index would follow the media: unreadable.
        server.Serve(QStringLiteral("/NoLength.mp4"), clip, MediaServer::Mode::NoLength);
        server.Serve(QStringLiteral("/Slow.mp4"), clip, MediaServer::Mode::Trickle);
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
        QVERIFY(d.Idle() && !d.statusLabel->isVisible() && !d.Process());
        QVERIFY(d.Download(server.Url("/First.mp4")));
        QVERIFY2(d.ShowsFailure(), qPrintable(d.statusLabel->text()));

        // The next attempt does not count what the first left behind; a fresh account
        // may have no downloads folder yet: it is made.
        QVERIFY(QFile::remove(downloads) && d.Download(server.Url("/Second.mp4")));
        QCOMPARE(d.statusLabel->text(), CompletedText);
        QCOMPARE(d.result, downloads + "/Second.mp4");
        QFile copy(d.result);
        QVERIFY(copy.open(QIODevice::ReadOnly) && copy.readAll() == clip);
        QVERIFY(d.okBtn->isEnabled() && !d.downloadBtn->isEnabled() && d.urlEdit->isEnabled());
        QVERIFY(!d.progressBar->isVisible());

        // OK hands the file over under the next free name.
        DialogUnderTest again;
        QVERIFY(again.Download(server.Url("/Second.mp4")));
        again.okBtn->click();
        QCOMPARE(again.dlg->result(), int(QDialog::Accepted));
        QCOMPARE(again.result, downloads + "/Second-1.mp4");
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
        QTest::newRow("transfer breaks off") << server.Url("/Truncated.mp4") << QByteArray();
        // With no length to measure against, the downloader exits 0 and believes half a file whole.
        QTest::newRow("breaks off without a length") << server.Url("/NoLength.mp4") << QByteArray();
        // A whole, readable file, but the downloader exits 1: the command it runs afterwards fails.
        QTest::newRow("downloader fails after a whole file") << server.Url("/Second.mp4") << QByteArray("--exec \"exit 3\"\n");
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
        QVERIFY2(d.ShowsFailure(), qPrintable(d.statusLabel->text()));
        QVERIFY(DownloadedFiles().isEmpty() && QFileInfo::exists(cacheMarker));
    }

    void runningDownloaderEnds_data()
    {
        QTest::addColumn<QString>("action");
        for (const char *action : { "cancel", "dialog destroyed", "downloader killed" })
            QTest::newRow(action) << QString::fromLatin1(action);
    }

    void runningDownloaderEnds()
    {
        QFETCH(QString, action);
        auto d = std::make_unique<DialogUnderTest>();
        const int before = server.Requests("/Slow.mp4");
        QVERIFY(!d->Download(server.Url("/Slow.mp4"), 0));
        QVERIFY(!d->urlEdit->isEnabled() && !d->downloadBtn->isEnabled() && !d->okBtn->isEnabled());
        QVERIFY(d->progressBar->isVisible() && !d->statusLabel->isVisible());
        // Two requests: the downloader has looked the address up and is receiving the body.
        QVERIFY(QTest::qWaitFor([&] { return server.Requests("/Slow.mp4") >= before + 2; }, 30000));
        QProcess *process = d->Process();
        QVERIFY(process && process->state() == QProcess::Running);
        QCOMPARE(QDir(tempRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
        const qint64 pid = process->processId();

        if (action == QLatin1String("cancel")) {
            d->cancelBtn->click();
            QVERIFY(process->state() == QProcess::NotRunning && d->dlg->result() == QDialog::Rejected);
            QVERIFY(d->result.isEmpty());
        } else if (action == QLatin1String("dialog destroyed")) {
            // Left to QProcess's own destructor, the kill would come after the
            // temporary folder is gone and report to a half-destroyed dialog.
            capturedWarnings.clear();
            const QtMessageHandler previous = qInstallMessageHandler(CaptureWarnings);
            d.reset();
            qInstallMessageHandler(previous);
            QVERIFY2(capturedWarnings.isEmpty(), qPrintable(capturedWarnings.join('\n')));
        } else {
            QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
            QTRY_VERIFY_WITH_TIMEOUT(d->statusLabel->isVisible(), 10000);
            QVERIFY2(d->ShowsFailure(), qPrintable(d->statusLabel->text()));
        }
        QVERIFY(::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
        d.reset();
        QVERIFY(DownloadedFiles().isEmpty() && QDir(tempRoot).isEmpty());
    }
};

QTEST_MAIN(TestAVDownloadDlg)
#include "test_avdownloaddlg.moc"
