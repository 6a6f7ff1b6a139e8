#include "player/avplayerdlg.h"
#include "player/avslider.h"
#include "player/mpvplayer.h"
#include "player/mpvvideowidget.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

// Opens the dialog's members to the test.
class PlayerDlg : public AVPlayerDlg
{
public:
    using AVPlayerDlg::AVPlayerDlg;
    using AVPlayerDlg::codecID;
    using AVPlayerDlg::durationLabel;
    using AVPlayerDlg::playBtn;
    using AVPlayerDlg::player;
    using AVPlayerDlg::renderer;
    using AVPlayerDlg::seekSlider;
    using AVPlayerDlg::stopBtn;
    using AVPlayerDlg::stoppedFlag;
    using AVPlayerDlg::timeLabel;
    using AVPlayerDlg::volumeBtn;
    using AVPlayerDlg::volumeLabel;
    using AVPlayerDlg::volumeSlider;
};

QString TimeText(int ms)
{
    return QTime(0, 0).addMSecs(ms).toString(QStringLiteral("HH:mm:ss"));
}

bool HasIcon(const QToolButton *button, const QString &resource)
{
    return button->icon().pixmap(16).toImage() == QIcon(resource).pixmap(16).toImage();
}

QList<qint64> Positions(const QSignalSpy &spy)
{
    QList<qint64> positions;
    for (const QList<QVariant> &args : spy)
        positions << args.at(0).toLongLong();
    return positions;
}

} // namespace

class TestAVPlayerDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void constructionBuildsTheDialog();
    void runsModallyAndClosesWhilePlaying();
    void playsToTheEndAndResets();
    void playAfterStopRestartsFromZero();
    void pauseHoldsThePosition();
    void gifKeepsSeekSliderDisabled();
    void garbageReachesErrorState();
    void closingWhilePlayingReturnsPromptly();
    void closingAfterTheEndDoesNotWait();
    void volumeTexts_data();
    void volumeTexts();
    void muteLeavesVolumeAlone();

private:
    std::unique_ptr<PlayerDlg> open(const QString &name);

    QTemporaryDir tmp;
};

void TestAVPlayerDlg::initTestCase()
{
    QVERIFY(tmp.isValid());
    TestSupport::IsolateUserDirs(tmp.path());
    QVERIFY(!QIcon(QStringLiteral(":IMG_PLAY")).isNull());
    QVERIFY(TestSupport::MakeClip(tmp.filePath("clip.mp4"), 2.0));
    QVERIFY(TestSupport::MakeClip(tmp.filePath("long.mp4"), 10.0, "160x120"));
    QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=duration=3:size=160x120:rate=10", tmp.filePath("anim.gif") }));
    QByteArray garbage;
    for (int i = 0; i < 65536; ++i)
        garbage.append(char((i * 7919) % 251));
    QVERIFY(TestSupport::WriteBytes(tmp.filePath("garbage.mp4"), garbage));
}

std::unique_ptr<PlayerDlg> TestAVPlayerDlg::open(const QString &name)
{
    auto dlg = std::make_unique<PlayerDlg>(tmp.filePath(name), nullptr);
    dlg->show();
    return dlg;
}

void TestAVPlayerDlg::constructionBuildsTheDialog()
{
    auto dlg = open("clip.mp4");
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Play - clip.mp4 (320x240)"));
    QVERIFY(dlg->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(dlg->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(dlg->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(dlg->isSizeGripEnabled());
    QCOMPARE(dlg->minimumSize(), QSize(770, 580));
    QCOMPARE(dlg->renderer->minimumHeight(), 480);
    QCOMPARE(dlg->playBtn->shortcut(), QKeySequence(Qt::Key_Space));
    QCOMPARE(dlg->volumeSlider->minimum(), 0);
    QCOMPARE(dlg->volumeSlider->maximum(), 20);
    QCOMPARE(dlg->volumeSlider->value(), 20);
    QCOMPARE(dlg->volumeLabel->text(), QStringLiteral("1"));
    QVERIFY(dlg->seekSlider->isEnabled());
    QVERIFY(dlg->player->isPlaying());
    QCOMPARE(dlg->codecID, KRVAVCodecID_iPhone);
}

void TestAVPlayerDlg::runsModallyAndClosesWhilePlaying()
{
    PlayerDlg dlg(tmp.filePath("long.mp4"), nullptr);
    QSignalSpy started(dlg.player.data(), &MpvPlayer::started);
    QSignalSpy stopped(dlg.player.data(), &MpvPlayer::stopped);
    TestSupport::ModalCloser<AVPlayerDlg> closer([&](AVPlayerDlg *shown) {
        if (!started.isEmpty())
            shown->reject();
        else
            connect(dlg.player.data(), &MpvPlayer::started, shown, &QDialog::reject, Qt::QueuedConnection);
    });
    QElapsedTimer timer;
    timer.start();
    dlg.exec();
    QVERIFY(closer.found());
    QCOMPARE(started.count(), 1);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(dlg.player->isPlaying());
    QCOMPARE(stopped.count(), 0);
}

void TestAVPlayerDlg::playsToTheEndAndResets()
{
    auto dlg = open("clip.mp4");
    QSignalSpy started(dlg->player.data(), &MpvPlayer::started);
    QSignalSpy positions(dlg->player.data(), &MpvPlayer::positionChanged);
    QSignalSpy stopped(dlg->player.data(), &MpvPlayer::stopped);
    QVERIFY(started.isValid() && positions.isValid() && stopped.isValid());

    QVERIFY(started.wait(5000));
    QCOMPARE(dlg->durationLabel->text(), QStringLiteral("00:00:02"));
    QCOMPARE(dlg->timeLabel->text(), QStringLiteral("00:00:00"));
    QCOMPARE(dlg->seekSlider->minimum(), 0);
    QVERIFY(qAbs(dlg->seekSlider->maximum() - 2000) <= 100);
    QVERIFY(dlg->seekSlider->isEnabled());
    QVERIFY(!dlg->stoppedFlag);
    QVERIFY(HasIcon(dlg->playBtn, ":IMG_PAUSE"));

    QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() >= 1000, 5000);
    QCOMPARE(dlg->timeLabel->text(), TimeText(dlg->seekSlider->value()));
    const QList<qint64> seen = Positions(positions);
    QVERIFY(seen.size() >= 5);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));

    QVERIFY(stopped.wait(5000));
    QCOMPARE(stopped.count(), 1);
    QVERIFY(dlg->stoppedFlag);
    QVERIFY(!dlg->player->isPlaying());
    QVERIFY(!dlg->seekSlider->isEnabled());
    QCOMPARE(dlg->seekSlider->value(), 0);
    QCOMPARE(dlg->timeLabel->text(), QStringLiteral("00:00:00"));
    QCOMPARE(dlg->durationLabel->text(), QStringLiteral("00:00:00"));
    QVERIFY(dlg->playBtn->isEnabled());
    QVERIFY(HasIcon(dlg->playBtn, ":IMG_PLAY"));
    QCOMPARE(started.count(), 1);
}

void TestAVPlayerDlg::playAfterStopRestartsFromZero()
{
    auto dlg = open("clip.mp4");
    QSignalSpy started(dlg->player.data(), &MpvPlayer::started);
    QSignalSpy positions(dlg->player.data(), &MpvPlayer::positionChanged);
    QSignalSpy stopped(dlg->player.data(), &MpvPlayer::stopped);
    QVERIFY(started.wait(5000));

    // A click on the groove far from the handle seeks there at once.
    const QPoint click(dlg->seekSlider->width() * 3 / 4, dlg->seekSlider->height() / 2);
    QTest::mouseClick(dlg->seekSlider, Qt::LeftButton, Qt::NoModifier, click);
    QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty() && positions.last().at(0).toLongLong() >= 1300, 3000);

    QTest::mouseClick(dlg->stopBtn, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(dlg->stoppedFlag, 3000);
    QCOMPARE(stopped.count(), 1);
    QVERIFY(!dlg->seekSlider->isEnabled());

    positions.clear();
    QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
    QVERIFY(dlg->seekSlider->isEnabled());
    QVERIFY(started.wait(5000));
    QCOMPARE(started.count(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty(), 3000);
    QVERIFY2(positions.first().at(0).toLongLong() < 500, qPrintable(QString::number(positions.first().at(0).toLongLong())));
    QVERIFY(!dlg->stoppedFlag);
}

void TestAVPlayerDlg::pauseHoldsThePosition()
{
    auto dlg = open("long.mp4");
    QSignalSpy started(dlg->player.data(), &MpvPlayer::started);
    QSignalSpy positions(dlg->player.data(), &MpvPlayer::positionChanged);
    QVERIFY(started.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() > 200, 3000);

    QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
    QVERIFY(dlg->player->isPaused());
    QVERIFY(dlg->player->isPlaying());
    QVERIFY(HasIcon(dlg->playBtn, ":IMG_PLAY"));
    positions.wait(300); // one position may still be on its way
    const int held = dlg->seekSlider->value();
    positions.clear();
    QVERIFY(!positions.wait(500));
    QCOMPARE(dlg->seekSlider->value(), held);

    QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
    QVERIFY(!dlg->player->isPaused());
    QVERIFY(HasIcon(dlg->playBtn, ":IMG_PAUSE"));
    QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() > held, 3000);
}

void TestAVPlayerDlg::gifKeepsSeekSliderDisabled()
{
    auto dlg = open("anim.gif");
    QCOMPARE(dlg->codecID, KRVAVCodecID_GIF);
    QVERIFY(!dlg->seekSlider->isEnabled());
    QSignalSpy started(dlg->player.data(), &MpvPlayer::started);
    QSignalSpy positions(dlg->player.data(), &MpvPlayer::positionChanged);
    QSignalSpy stopped(dlg->player.data(), &MpvPlayer::stopped);
    QVERIFY(started.wait(5000));
    QVERIFY(!dlg->seekSlider->isEnabled());
    const QString timeText = dlg->timeLabel->text();

    QTRY_VERIFY_WITH_TIMEOUT(positions.count() >= 3, 3000);
    QVERIFY(Positions(positions).last() > 0);
    QVERIFY(!dlg->seekSlider->isEnabled());
    QCOMPARE(dlg->timeLabel->text(), timeText);

    QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
    QVERIFY(!dlg->seekSlider->isEnabled());
    QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
    QVERIFY(stopped.wait(5000));
    QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
    QVERIFY(started.wait(5000));
    QVERIFY(!dlg->seekSlider->isEnabled());
}

void TestAVPlayerDlg::garbageReachesErrorState()
{
    auto dlg = open("garbage.mp4");
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Play - garbage.mp4"));
    QSignalSpy error(dlg->player.data(), &MpvPlayer::error);
    QSignalSpy stopped(dlg->player.data(), &MpvPlayer::stopped);
    QVERIFY(error.isValid());

    QTRY_COMPARE_WITH_TIMEOUT(dlg->windowTitle(), QStringLiteral("garbage.mp4 can not be played !"), 5000);
    QCOMPARE(error.count(), 1);
    QTRY_COMPARE(stopped.count(), 1);
    QVERIFY(!dlg->player->isPlaying());
    const QList<QWidget *> controls = { dlg->timeLabel, dlg->durationLabel, dlg->playBtn, dlg->stopBtn,
                                        dlg->seekSlider, dlg->volumeBtn, dlg->volumeSlider, dlg->volumeLabel };
    for (QWidget *control : controls)
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));

    QTest::keyClick(dlg.get(), Qt::Key_Space);
    QTest::qWait(200);
    QVERIFY(!dlg->player->isPlaying());
    QCOMPARE(dlg->windowTitle(), QStringLiteral("garbage.mp4 can not be played !"));
}

void TestAVPlayerDlg::closingWhilePlayingReturnsPromptly()
{
    auto dlg = open("long.mp4");
    QPointer<MpvPlayer> player = dlg->player.data();
    QSignalSpy started(player.data(), &MpvPlayer::started);
    QSignalSpy stopped(player.data(), &MpvPlayer::stopped);
    QVERIFY(started.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() > 100, 3000);

    QElapsedTimer timer;
    timer.start();
    dlg.reset();
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(player.isNull());
    QCOMPARE(stopped.count(), 1);
}

void TestAVPlayerDlg::closingAfterTheEndDoesNotWait()
{
    auto dlg = open("clip.mp4");
    QTRY_VERIFY_WITH_TIMEOUT(dlg->stoppedFlag, 8000);
    QPointer<MpvPlayer> player = dlg->player.data();
    QSignalSpy stopped(player.data(), &MpvPlayer::stopped);

    QElapsedTimer timer;
    timer.start();
    dlg.reset();
    QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(stopped.count(), 0);
}

void TestAVPlayerDlg::volumeTexts_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("text");
    QTest::newRow("full") << 20 << "1";
    QTest::newRow("step 19") << 19 << "0.95";
    QTest::newRow("step 9") << 9 << "0.45";
    QTest::newRow("step 1") << 1 << "0.05";
    QTest::newRow("left end") << 0 << "0";
}

void TestAVPlayerDlg::volumeTexts()
{
    QFETCH(int, step);
    QFETCH(QString, text);
    auto dlg = open("clip.mp4");
    // Moves away first, so that the step under test is a change.
    dlg->volumeSlider->setValue(step == 10 ? 11 : 10);
    dlg->volumeSlider->setValue(step);
    QCOMPARE(dlg->volumeLabel->text(), text);
    QCOMPARE(dlg->volumeSlider->toolTip(), text);
    QCOMPARE(dlg->volumeBtn->toolTip(), text);
    QVERIFY(dlg->player->audio());
    QVERIFY(qAbs(dlg->player->audio()->volume() - step * 0.05) < 1e-6);
    QVERIFY(!dlg->player->isMute());
}

void TestAVPlayerDlg::muteLeavesVolumeAlone()
{
    auto dlg = open("clip.mp4");
    dlg->volumeSlider->setValue(9);
    QVERIFY(HasIcon(dlg->volumeBtn, ":IMG_VOLUME"));
    QTest::mouseClick(dlg->volumeBtn, Qt::LeftButton);
    QVERIFY(dlg->player->isMute());
    QVERIFY(HasIcon(dlg->volumeBtn, ":IMG_MUTE"));
    QCOMPARE(dlg->volumeSlider->value(), 9);
    QCOMPARE(dlg->volumeLabel->text(), QStringLiteral("0.45"));
    QVERIFY(qAbs(dlg->player->audio()->volume() - 0.45) < 1e-6);
    QTest::mouseClick(dlg->volumeBtn, Qt::LeftButton);
    QVERIFY(!dlg->player->isMute());
    QVERIFY(HasIcon(dlg->volumeBtn, ":IMG_VOLUME"));
    QCOMPARE(dlg->volumeSlider->value(), 9);
}

QTEST_MAIN(TestAVPlayerDlg)
#include "test_avplayerdlg.moc"
