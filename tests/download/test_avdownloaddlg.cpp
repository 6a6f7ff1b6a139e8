#include "testsupport.h"

#include "download/avdownloaddlg.h"

#include <QDialogButtonBox>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <signal.h>
#include <sys/types.h>

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
            while (QTcpSocket *socket = server.nextPendingConnection())
                Accept(socket);
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
    struct Route
    {
        QByteArray bytes;
        Mode mode = Mode::Whole;
    };

    void Accept(QTcpSocket *socket)
    {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray &head = pending[socket];
            head += socket->readAll();
            if (!head.contains("\r\n\r\n"))
                return;
            const QList<QByteArray> request = head.left(head.indexOf("\r\n")).split(' ');
            pending.remove(socket);
            Answer(socket, request.value(0) == "GET" ? QString::fromLatin1(request.value(1)) : QString());
        });
    }

    void Answer(QTcpSocket *socket, const QString &target)
    {
        requests << target;
        const auto route = routes.constFind(target);
        if (route == routes.constEnd()) {
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n"
                          "Connection: close\r\n\r\nNot found");
            socket->disconnectFromHost();
            return;
        }
        const qint64 announced = route->mode == Mode::Trickle ? 50 * 1024 * 1024 : route->bytes.size();
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nConnection: close\r\nContent-Length: "
                      + QByteArray::number(announced) + "\r\n\r\n");
        if (route->mode == Mode::Trickle) {
            auto *timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write(QByteArray(512, '\0')); });
            timer->start(50);
            return;
        }
        socket->write(route->mode == Mode::Truncated ? route->bytes.left(route->bytes.size() / 2) : route->bytes);
        socket->disconnectFromHost();
    }

    QTcpServer server;
    QHash<QString, Route> routes;
    QHash<QTcpSocket *, QByteArray> pending;
    QStringList requests;
};

// One dialog with its widgets found by object name, shown so visibility can be checked.
struct DialogUnderTest
{
    QString result = QStringLiteral("stale");
    std::unique_ptr<AVDownloadDlg> dlg = std::make_unique<AVDownloadDlg>(&result);
    QLineEdit *urlEdit = dlg->findChild<QLineEdit *>(QStringLiteral("urlEdit"));
    QPushButton *downloadBtn = dlg->findChild<QPushButton *>(QStringLiteral("downloadBtn"));
    QPushButton *okBtn = dlg->findChild<QPushButton *>(QStringLiteral("okBtn"));
    QLabel *statusLabel = dlg->findChild<QLabel *>(QStringLiteral("statusLabel"));
    QProgressBar *progressBar = dlg->findChild<QProgressBar *>(QStringLiteral("progressBar"));
    QDialogButtonBox *buttonBox = dlg->findChild<QDialogButtonBox *>();
    QPushButton *cancelBtn = buttonBox ? buttonBox->button(QDialogButtonBox::Cancel) : nullptr;

    DialogUnderTest() { dlg->show(); }

    bool Complete() const { return urlEdit && downloadBtn && okBtn && statusLabel && progressBar && cancelBtn; }

    // Starts an attempt and answers whether it ended within the time allowed.
    bool Download(const QString &url)
    {
        Start(url);
        return QTest::qWaitFor([this] { return statusLabel->isVisible(); }, 30000);
    }

    // The whole idle state after a failed attempt: a new one may be started at once.
    bool ShowsFailure() const
    {
        return statusLabel->isVisible() && statusLabel->text() == FailedText && result.isEmpty()
               && downloadBtn->isEnabled() && !okBtn->isEnabled() && urlEdit->isEnabled() && !progressBar->isVisible();
    }

    QProcess *Process() const { return dlg->findChild<QProcess *>(); }

    void Start(const QString &url)
    {
        urlEdit->setText(url);
        downloadBtn->click();
    }
};

static bool ProcessExists(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

static QStringList CommandLine(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList args;
    for (const QByteArray &arg : file.readAll().split('\0'))
        args << QString::fromLocal8Bit(arg);
    if (!args.isEmpty() && args.last().isEmpty())
        args.removeLast();
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

private slots:
    void initTestCase();
    void init();

    void initialState();
    void downloadCopiesUnderFreeName();
    void secondAttemptCountsOnlyItsOwnFile();
    void failureShowsMessage_data();
    void failureShowsMessage();
    void addressBeginningWithDashIsNoOption_data();
    void addressBeginningWithDashIsNoOption();
    void cancelAfterSuccessDeletesCopy();
    void cancelDuringDownloadKillsDownloader();
    void downloaderEndingBySignalFails_data();
    void downloaderEndingBySignalFails();
    void destroyingDialogStopsDownloader();
    void resultOnlyWhenOkPressed_data();
    void resultOnlyWhenOkPressed();

private:
    QStringList DownloadedFiles() const { return QDir(downloads).entryList(QDir::Files | QDir::Hidden); }
    // Waits until the downloader is receiving the trickled body.
    bool WaitForTrickle(int requestsBefore) const
    {
        return QTest::qWaitFor([this, requestsBefore] { return server.Requests("/Slow.mp4") >= requestsBefore + 2; },
                               30000);
    }

    QTemporaryDir home;
    QTemporaryDir media;
    MediaServer server;
    QByteArray clip;
    QString downloads;
};

void TestAVDownloadDlg::initTestCase()
{
    QVERIFY(home.isValid());
    QVERIFY(media.isValid());
    TestSupport::IsolateUserDirs(home.path());
    downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    QCOMPARE(downloads, home.path() + "/Downloads");
    QVERIFY(QFileInfo::exists(
        QDir(TestSupport::AppDir()).absoluteFilePath(QStringLiteral("multimedia/youtubedownloader/youtube-dl"))));

    const QString clipPath = media.filePath(QStringLiteral("clip.mp4"));
    QVERIFY(TestSupport::MakeClip(clipPath, 1.0, QStringLiteral("160x120")));
    QFile clipFile(clipPath);
    QVERIFY(clipFile.open(QIODevice::ReadOnly));
    clip = clipFile.readAll();
    QVERIFY(!clip.isEmpty());

    QVERIFY(server.Listen());
    // The downloader names a direct link after its last path segment, decoded.
    server.Serve(QStringLiteral("/My%20Clip.mp4"), clip);
    server.Serve(QStringLiteral("/Second.mp4"), clip);
    server.Serve(QStringLiteral("/Truncated.mp4"), clip, MediaServer::Mode::Truncated);
    server.Serve(QStringLiteral("/Slow.mp4"), clip, MediaServer::Mode::Trickle);
}

void TestAVDownloadDlg::init()
{
    QDir(downloads).removeRecursively();
    QVERIFY(QDir().mkpath(downloads));
}

void TestAVDownloadDlg::initialState()
{
    DialogUnderTest d;
    QVERIFY(d.Complete());
    QVERIFY(d.result.isEmpty());
    QCOMPARE(d.dlg->windowTitle(), QStringLiteral("Download Video/Audio from internet"));
    QCOMPARE(d.dlg->size(), QSize(410, 120));
    QCOMPARE(d.dlg->minimumSize(), d.dlg->maximumSize());
    QCOMPARE(d.downloadBtn->text(), QStringLiteral("Download"));
    QVERIFY(d.downloadBtn->isEnabled());
    QVERIFY(!d.okBtn->isEnabled());
    QVERIFY(d.urlEdit->isEnabled());
    QVERIFY(d.urlEdit->placeholderText().startsWith(QStringLiteral("e.g. http")));
    QVERIFY(!d.progressBar->isVisible());
    QCOMPARE(d.progressBar->maximum(), 0);
    QVERIFY(!d.statusLabel->isVisible());
    QVERIFY(!d.Process());
}

void TestAVDownloadDlg::downloadCopiesUnderFreeName()
{
    // A fresh account may have no downloads folder yet: it is made.
    QVERIFY(QDir(downloads).removeRecursively());

    DialogUnderTest first;
    QVERIFY(first.Complete());
    QVERIFY(first.Download(server.Url("/My%20Clip.mp4")));
    QCOMPARE(first.statusLabel->text(), CompletedText);
    QCOMPARE(first.result, QDir(downloads).filePath(QStringLiteral("My Clip.mp4")));
    QFile copy(first.result);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), clip);
    QVERIFY(first.okBtn->isEnabled());
    QVERIFY(!first.downloadBtn->isEnabled());
    QVERIFY(first.urlEdit->isEnabled());
    QVERIFY(!first.progressBar->isVisible());

    DialogUnderTest second;
    QVERIFY(second.Complete());
    QVERIFY(second.Download(server.Url("/My%20Clip.mp4")));
    QCOMPARE(second.statusLabel->text(), CompletedText);
    QCOMPARE(second.result, QDir(downloads).filePath(QStringLiteral("My Clip-1.mp4")));
    QVERIFY(second.okBtn->isEnabled());
    QCOMPARE(DownloadedFiles(), QStringList({ "My Clip-1.mp4", "My Clip.mp4" }));
}

void TestAVDownloadDlg::secondAttemptCountsOnlyItsOwnFile()
{
    // With every free name taken the first attempt fails although its file
    // arrived; it stays in the dialog's folder while the second attempt runs.
    QStringList blockers = { QStringLiteral("My Clip.mp4") };
    for (int counter = 1; counter <= 9999; ++counter)
        blockers << QStringLiteral("My Clip-%1.mp4").arg(counter);
    for (const QString &name : blockers)
        QVERIFY(TestSupport::WriteBytes(QDir(downloads).filePath(name), QByteArray()));

    DialogUnderTest d;
    QVERIFY(d.Complete());
    QVERIFY(d.Download(server.Url("/My%20Clip.mp4")));
    QVERIFY2(d.ShowsFailure(), qPrintable(d.statusLabel->text()));

    for (const QString &name : blockers)
        QVERIFY(QFile::remove(QDir(downloads).filePath(name)));
    QVERIFY(d.Download(server.Url("/Second.mp4")));
    QCOMPARE(d.statusLabel->text(), CompletedText);
    QCOMPARE(d.result, QDir(downloads).filePath(QStringLiteral("Second.mp4")));
    QCOMPARE(DownloadedFiles(), QStringList{ "Second.mp4" });
}

void TestAVDownloadDlg::failureShowsMessage_data()
{
    QTest::addColumn<QString>("url");

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 closedPort = closed.serverPort();
    closed.close();

    QTest::newRow("not found") << server.Url("/Missing.mp4");
    QTest::newRow("nothing listening") << QStringLiteral("http://127.0.0.1:%1/My%20Clip.mp4").arg(closedPort);
    // The broken-off transfer leaves only its ".part" file behind.
    QTest::newRow("transfer breaks off") << server.Url("/Truncated.mp4");
    QTest::newRow("empty address") << QString();
}

void TestAVDownloadDlg::failureShowsMessage()
{
    QFETCH(QString, url);

    DialogUnderTest d;
    QVERIFY(d.Complete());
    QVERIFY(d.Download(url));
    QVERIFY2(d.ShowsFailure(), qPrintable(d.statusLabel->text()));
    QVERIFY(DownloadedFiles().isEmpty());
}

void TestAVDownloadDlg::addressBeginningWithDashIsNoOption_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("canary");
    QTest::addColumn<bool>("canaryExists");

    const QString pwned = home.filePath(QStringLiteral("pwned"));
    QTest::newRow("exec") << "--exec=touch " + pwned << pwned << false;
    // Read as an option, this one alone would delete the downloader's cache folder.
    const QString cacheDir = QFile::decodeName(qgetenv("XDG_CACHE_HOME")) + "/yt-dlp";
    QTest::newRow("rm-cache-dir") << QStringLiteral("--rm-cache-dir") << cacheDir + "/marker" << true;
}

void TestAVDownloadDlg::addressBeginningWithDashIsNoOption()
{
    QFETCH(QString, url);
    QFETCH(QString, canary);
    QFETCH(bool, canaryExists);

    QFile::remove(canary);
    if (canaryExists) {
        QVERIFY(QDir().mkpath(QFileInfo(canary).path()));
        QVERIFY(TestSupport::WriteBytes(canary, "x"));
    }

    DialogUnderTest d;
    QVERIFY(d.Complete());
    QVERIFY(d.Download(url));
    QVERIFY2(d.ShowsFailure(), qPrintable(d.statusLabel->text()));
    QCOMPARE(QFileInfo::exists(canary), canaryExists);
}

void TestAVDownloadDlg::cancelAfterSuccessDeletesCopy()
{
    DialogUnderTest d;
    QVERIFY(d.Complete());
    QVERIFY(d.Download(server.Url("/My%20Clip.mp4")));
    const QString copy = d.result;
    QVERIFY(QFileInfo::exists(copy));

    d.cancelBtn->click();
    QCOMPARE(d.dlg->result(), int(QDialog::Rejected));
    QVERIFY(d.result.isEmpty());
    QVERIFY(!QFileInfo::exists(copy));
    QVERIFY(DownloadedFiles().isEmpty());
}

void TestAVDownloadDlg::cancelDuringDownloadKillsDownloader()
{
    DialogUnderTest d;
    QVERIFY(d.Complete());
    const int before = server.Requests("/Slow.mp4");
    const QString url = server.Url("/Slow.mp4");
    d.Start(url);
    QVERIFY(!d.urlEdit->isEnabled());
    QVERIFY(!d.downloadBtn->isEnabled());
    QVERIFY(!d.okBtn->isEnabled());
    QVERIFY(d.progressBar->isVisible());
    QVERIFY(!d.statusLabel->isVisible());

    QVERIFY(WaitForTrickle(before));
    QProcess *process = d.Process();
    QVERIFY(process);
    QCOMPARE(process->state(), QProcess::Running);
    const qint64 pid = process->processId();
    QVERIFY(pid > 0);
    const QStringList args = CommandLine(pid);
    QVERIFY2(args.size() >= 4, qPrintable(args.join(' ')));
    QCOMPARE(args.mid(args.size() - 4, 1), QStringList{ "-o" });
    QVERIFY(args.at(args.size() - 3).endsWith(QStringLiteral("/%(title)s.%(ext)s")));
    QCOMPARE(args.mid(args.size() - 2), QStringList({ "--", url }));

    d.cancelBtn->click();
    QCOMPARE(process->state(), QProcess::NotRunning);
    QVERIFY(!ProcessExists(pid));
    QCOMPARE(d.dlg->result(), int(QDialog::Rejected));
    QVERIFY(d.result.isEmpty());
    QVERIFY(DownloadedFiles().isEmpty());
}

void TestAVDownloadDlg::downloaderEndingBySignalFails_data()
{
    QTest::addColumn<int>("signalNumber");

    QTest::newRow("killed") << int(SIGKILL);
    QTest::newRow("terminated") << int(SIGTERM);
}

void TestAVDownloadDlg::downloaderEndingBySignalFails()
{
    QFETCH(int, signalNumber);

    DialogUnderTest d;
    QVERIFY(d.Complete());
    const int before = server.Requests("/Slow.mp4");
    d.Start(server.Url("/Slow.mp4"));
    QVERIFY(WaitForTrickle(before));
    QProcess *process = d.Process();
    QVERIFY(process);
    QCOMPARE(::kill(pid_t(process->processId()), signalNumber), 0);

    QTRY_VERIFY_WITH_TIMEOUT(d.statusLabel->isVisible(), 10000);
    QVERIFY2(d.ShowsFailure(), qPrintable(d.statusLabel->text()));
    QVERIFY(DownloadedFiles().isEmpty());
}

void TestAVDownloadDlg::destroyingDialogStopsDownloader()
{
    auto d = std::make_unique<DialogUnderTest>();
    QVERIFY(d->Complete());
    const int before = server.Requests("/Slow.mp4");
    d->Start(server.Url("/Slow.mp4"));
    QVERIFY(WaitForTrickle(before));
    QProcess *process = d->Process();
    QVERIFY(process);
    const qint64 pid = process->processId();
    const QStringList args = CommandLine(pid);
    QVERIFY(args.size() >= 3);
    const QString tempFolder = QFileInfo(args.at(args.size() - 3)).path();
    QVERIFY(QDir(tempFolder).exists());

    // Left to QProcess's own destructor, the kill would come after the
    // temporary folder is gone and report to a half-destroyed dialog.
    capturedWarnings.clear();
    previousHandler = qInstallMessageHandler(CaptureWarnings);
    d.reset();
    qInstallMessageHandler(previousHandler);
    QVERIFY2(capturedWarnings.isEmpty(), qPrintable(capturedWarnings.join('\n')));
    QVERIFY(!ProcessExists(pid));
    QVERIFY(!QDir(tempFolder).exists());
    QVERIFY(DownloadedFiles().isEmpty());
}

void TestAVDownloadDlg::resultOnlyWhenOkPressed_data()
{
    QTest::addColumn<bool>("pressOk");

    QTest::newRow("ok") << true;
    QTest::newRow("cancel") << false;
}

void TestAVDownloadDlg::resultOnlyWhenOkPressed()
{
    QFETCH(bool, pressOk);

    const QString url = server.Url("/My%20Clip.mp4");
    bool downloaded = false;
    TestSupport::ModalCloser<AVDownloadDlg> closer([&](AVDownloadDlg *dlg) {
        auto *urlEdit = dlg->findChild<QLineEdit *>(QStringLiteral("urlEdit"));
        auto *downloadBtn = dlg->findChild<QPushButton *>(QStringLiteral("downloadBtn"));
        auto *okBtn = dlg->findChild<QPushButton *>(QStringLiteral("okBtn"));
        auto *box = dlg->findChild<QDialogButtonBox *>();
        if (!urlEdit || !downloadBtn || !okBtn || !box) {
            static_cast<QDialog *>(dlg)->reject();
            return;
        }
        urlEdit->setText(url);
        downloadBtn->click();
        downloaded = QTest::qWaitFor([okBtn] { return okBtn->isEnabled(); }, 30000);
        if (downloaded && pressOk)
            okBtn->click();
        else
            box->button(QDialogButtonBox::Cancel)->click();
    });

    QString result = QStringLiteral("stale");
    AVDownloadDlg dlg(&result);
    const int code = dlg.exec();
    QVERIFY(closer.found());
    QVERIFY(downloaded);
    QCOMPARE(code, pressOk ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(!result.isEmpty(), pressOk);
    QCOMPARE(QFileInfo::exists(result), pressOk);
    QCOMPARE(DownloadedFiles().size(), pressOk ? 1 : 0);
}

QTEST_MAIN(TestAVDownloadDlg)
#include "test_avdownloaddlg.moc"
