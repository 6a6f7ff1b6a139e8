#include "testsupport.h"

#include "download/avdownloaddlg.h"

#include <QtNetwork>

#include <cerrno>
#include <signal.h>
#include <sys/types.h>

using TestSupport::Find;

static const QString CompletedText =
    QStringLiteral("Download completed. The downloaded file will be added into source files.");
static const QString FailedText = QStringLiteral("Download failed. Please check the url or internet connection.");

// A loopback HTTP server: whole files, 404 for unknown paths, a transfer that
// breaks off half way, and one that trickles its bytes for ever.
class MediaServer
{
public:
    enum class Mode { Whole, Truncated, Trickle };

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
    void Serve(const QString &target, const QByteArray &bytes, Mode mode = Mode::Whole)
    {
        routes.insert(target, { bytes, mode });
    }
    QString Url(const QString &target) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(target);
    }
    int Requests(const QString &target) const { return requests.count(target); }

private:
    void Answer(QTcpSocket *socket, const QString &target)
    {
        requests << target;
        const auto route = routes.constFind(target);
        if (route == routes.constEnd()) {
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nNot found");
            socket->disconnectFromHost();
            return;
        }
        const bool trickle = route->second == Mode::Trickle;
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nConnection: close\r\nContent-Length: "
                      + QByteArray::number(trickle ? 50 * 1024 * 1024 : route->first.size()) + "\r\n\r\n");
        if (trickle) {
            auto *timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write(QByteArray(512, '\0')); });
            timer->start(50);
            return;
        }
        const QByteArray &bytes = route->first;
        socket->write(route->second == Mode::Truncated ? bytes.left(bytes.size() / 2) : bytes);
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
    void Start(const QString &url)
    {
        urlEdit->setText(url);
        downloadBtn->click();
    }
    // Starts an attempt and answers whether it ended within the time allowed.
    bool Download(const QString &url)
    {
        Start(url);
        return QTest::qWaitFor([this] { return statusLabel->isVisible(); }, 30000);
    }
    // Idle before an attempt, or after a failed one: a new attempt may be started at once.
    bool Idle() const
    {
        return result.isEmpty() && downloadBtn->isEnabled() && !okBtn->isEnabled() && urlEdit->isEnabled()
               && !progressBar->isVisible();
    }
    bool ShowsFailure() const { return Idle() && statusLabel->isVisible() && statusLabel->text() == FailedText; }
};

static QStringList CommandLine(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList args;
    for (const QByteArray &arg : file.readAll().split('\0'))
        args << QString::fromLocal8Bit(arg);
    args.removeLast(); // after the final NUL
    return args;
}

static QStringList capturedWarnings;
static QtMessageHandler previousHandler = nullptr;

static void CaptureWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg)
        capturedWarnings << message;
    previousHandler(type, context, message);
}

class TestAVDownloadDlg : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    MediaServer server;
    QByteArray clip;
    const QString downloads = fixture.path("Downloads");

    QStringList DownloadedFiles() const { return QDir(downloads).entryList(QDir::Files | QDir::Hidden); }

private slots:
    void initTestCase()
    {
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation), downloads);
        QFile clipFile(TestSupport::Clip(1.0, "160x120", "mp4"));
        QVERIFY(clipFile.open(QIODevice::ReadOnly));
        clip = clipFile.readAll();
        QVERIFY(server.Listen());
        // The downloader names a direct link after its last path segment, decoded.
        server.Serve(QStringLiteral("/My%20Clip.mp4"), clip);
        server.Serve(QStringLiteral("/Second.mp4"), clip);
        server.Serve(QStringLiteral("/Truncated.mp4"), clip, MediaServer::Mode::Truncated);
        server.Serve(QStringLiteral("/Slow.mp4"), clip, MediaServer::Mode::Trickle);
    }

    void init()
    {
        QFile::remove(downloads);
        QDir(downloads).removeRecursively();
        QVERIFY(QDir().mkpath(downloads));
    }

    void downloadsUnderFreeNames()
    {
        // The file arrives but cannot be placed (the downloads folder is a file): a failure.
        QVERIFY(QDir(downloads).removeRecursively() && TestSupport::WriteBytes(downloads, "not a folder"));
        DialogUnderTest d;
        QVERIFY(d.Idle() && !d.statusLabel->isVisible() && !d.Process());
        QVERIFY(d.Download(server.Url("/My%20Clip.mp4")));
        QVERIFY2(d.ShowsFailure(), qPrintable(d.statusLabel->text()));

        // The next attempt does not count what the first left behind; a fresh account
        // may have no downloads folder yet: it is made.
        QVERIFY(QFile::remove(downloads));
        QVERIFY(d.Download(server.Url("/Second.mp4")));
        QCOMPARE(d.statusLabel->text(), CompletedText);
        QCOMPARE(d.result, downloads + "/Second.mp4");
        QFile copy(d.result);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), clip);
        QVERIFY(d.okBtn->isEnabled() && !d.downloadBtn->isEnabled() && d.urlEdit->isEnabled());
        QVERIFY(!d.progressBar->isVisible());

        // OK hands the file over under the next free name.
        DialogUnderTest again;
        again.dlg->hide();
        TestSupport::ModalCloser<AVDownloadDlg> closer([&](AVDownloadDlg *) {
            if (again.Download(server.Url("/Second.mp4")) && again.okBtn->isEnabled())
                again.okBtn->click();
        });
        QCOMPARE(again.dlg->exec(), int(QDialog::Accepted));
        QVERIFY(closer.found());
        QCOMPARE(again.result, downloads + "/Second-1.mp4");
        QCOMPARE(DownloadedFiles(), QStringList({ "Second-1.mp4", "Second.mp4" }));

        // Cancel after a success takes the copy back.
        d.cancelBtn->click();
        QCOMPARE(d.dlg->result(), int(QDialog::Rejected));
        QVERIFY(d.result.isEmpty());
        QCOMPARE(DownloadedFiles(), QStringList({ "Second-1.mp4" }));
    }

    void failureShowsMessage_data()
    {
        QTest::addColumn<QString>("url");
        // The broken-off transfer leaves only its ".part" file behind.
        QTest::newRow("transfer breaks off") << server.Url("/Truncated.mp4");
        // Read as an option, this address would delete the downloader's cache folder.
        QTest::newRow("address beginning with a dash") << QStringLiteral("--rm-cache-dir");
    }

    void failureShowsMessage()
    {
        QFETCH(QString, url);
        const QString cacheMarker = fixture.path("cache/yt-dlp/marker");
        QVERIFY(QDir().mkpath(QFileInfo(cacheMarker).path()) && TestSupport::WriteBytes(cacheMarker, "x"));
        DialogUnderTest d;
        QVERIFY(d.Download(url));
        QVERIFY2(d.ShowsFailure(), qPrintable(d.statusLabel->text()));
        QVERIFY(DownloadedFiles().isEmpty());
        QVERIFY(QFileInfo::exists(cacheMarker));
    }

    void runningDownloaderEnds_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("cancel") << "cancel";
        QTest::newRow("dialog destroyed") << "destroy";
        QTest::newRow("downloader killed") << "kill";
    }

    void runningDownloaderEnds()
    {
        QFETCH(QString, action);
        auto d = std::make_unique<DialogUnderTest>();
        const int before = server.Requests("/Slow.mp4");
        const QString url = server.Url("/Slow.mp4");
        d->Start(url);
        QVERIFY(!d->urlEdit->isEnabled() && !d->downloadBtn->isEnabled() && !d->okBtn->isEnabled());
        QVERIFY(d->progressBar->isVisible() && !d->statusLabel->isVisible());
        // Two requests: the downloader has looked the address up and is receiving the body.
        QVERIFY(QTest::qWaitFor([&] { return server.Requests("/Slow.mp4") >= before + 2; }, 30000));
        QProcess *process = d->Process();
        QVERIFY(process && process->state() == QProcess::Running);
        const qint64 pid = process->processId();
        const QStringList args = CommandLine(pid);
        QVERIFY2(args.size() >= 4 && args.at(args.size() - 4) == "-o", qPrintable(args.join(' ')));
        QVERIFY(args.at(args.size() - 3).endsWith(QStringLiteral("/%(title)s.%(ext)s")));
        QCOMPARE(args.mid(args.size() - 2), QStringList({ "--", url }));
        const QString tempFolder = QFileInfo(args.at(args.size() - 3)).path();

        if (action == QLatin1String("cancel")) {
            d->cancelBtn->click();
            QCOMPARE(process->state(), QProcess::NotRunning);
            QCOMPARE(d->dlg->result(), int(QDialog::Rejected));
            QVERIFY(d->result.isEmpty());
        } else if (action == QLatin1String("destroy")) {
            // Left to QProcess's own destructor, the kill would come after the
            // temporary folder is gone and report to a half-destroyed dialog.
            capturedWarnings.clear();
            previousHandler = qInstallMessageHandler(CaptureWarnings);
            d.reset();
            qInstallMessageHandler(previousHandler);
            QVERIFY2(capturedWarnings.isEmpty(), qPrintable(capturedWarnings.join('\n')));
            QVERIFY(!QDir(tempFolder).exists());
        } else {
            QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
            QTRY_VERIFY_WITH_TIMEOUT(d->statusLabel->isVisible(), 10000);
            QVERIFY2(d->ShowsFailure(), qPrintable(d->statusLabel->text()));
        }
        QVERIFY(::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
        QVERIFY(DownloadedFiles().isEmpty());
    }
};

QTEST_MAIN(TestAVDownloadDlg)
#include "test_avdownloaddlg.moc"
