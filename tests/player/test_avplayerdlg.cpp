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
    using AVPlayerDlg::seekSlider;
    using AVPlayerDlg::stopBtn;
    using AVPlayerDlg::stoppedFlag;
    using AVPlayerDlg::timeLabel;
    using AVPlayerDlg::volumeBtn;
    using AVPlayerDlg::volumeLabel;
    using AVPlayerDlg::volumeSlider;
};

bool HasIcon(const QToolButton *button, const char *resource)
{
    return button->icon().pixmap(16).toImage() == QIcon(QString::fromLatin1(resource)).pixmap(16).toImage();
}

qint64 At(const QSignalSpy &spy, int i)
{
    return spy.at(i < 0 ? spy.size() + i : i).at(0).toLongLong();
}

} // namespace

class TestAVPlayerDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playsToTheEndAndResets();
    void pauseSeekStopAndPlayAgain();
    void gifKeepsSeekSliderDisabled();
    void garbageReachesErrorState();
    void closingWhilePlayingReturnsPromptly();
    void volumeTexts_data();
    void volumeTexts();

private:
    std::unique_ptr<PlayerDlg> open(const QString &name)
    {
        auto dlg = std::make_unique<PlayerDlg>(tmp.filePath(name), nullptr);
        dlg->show();
        return dlg;
    }

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

void TestAVPlayerDlg::playsToTheEndAndResets()
{
    auto dlg = open("clip.mp4");
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Play - clip.mp4 (320x240)"));
    QCOMPARE(dlg->minimumSize(), QSize(770, 580));
    QCOMPARE(dlg->playBtn->shortcut(), QKeySequence(Qt::Key_Space));
    QCOMPARE(dlg->codecID, KRVAVCodecID_iPhone);
    QVERIFY(dlg->player->isPlaying());
    QSignalSpy started(dlg->player.data(), &MpvPlayer::started);
    QSignalSpy positions(dlg->player.data(), &MpvPlayer::positionChanged);
    QSignalSpy stopped(dlg->player.data(), &MpvPlayer::stopped);
    QVERIFY(started.isValid() && positions.isValid() && stopped.isValid());

    QVERIFY(started.wait(5000));
    QCOMPARE(dlg->durationLabel->text(), QStringLiteral("00:00:02"));
    QCOMPARE(dlg->timeLabel->text(), QStringLiteral("00:00:00"));
    QCOMPARE(dlg->seekSlider->minimum(), 0);
    QVERIFY(qAbs(dlg->seekSlider->maximum() - 2000) <= 100);
    QVERIFY(dlg->seekSlider->isEnabled() && !dlg->stoppedFlag);
    QVERIFY(HasIcon(dlg->playBtn, ":IMG_PAUSE"));
    QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() >= 1000, 5000);
    QCOMPARE(dlg->timeLabel->text(), QTime(0, 0).addMSecs(dlg->seekSlider->value()).toString("HH:mm:ss"));
    QVERIFY(positions.size() >= 5);
    for (int i = 1; i < positions.size(); ++i)
        QVERIFY(At(positions, i - 1) <= At(positions, i));

    QVERIFY(stopped.wait(5000));
    QVERIFY(dlg->stoppedFlag && !dlg->player->isPlaying() && !dlg->seekSlider->isEnabled());
    QCOMPARE(dlg->seekSlider->value(), 0);
    QCOMPARE(dlg->timeLabel->text(), QStringLiteral("00:00:00"));
    QCOMPARE(dlg->durationLabel->text(), QStringLiteral("00:00:00"));
    QVERIFY(dlg->playBtn->isEnabled() && HasIcon(dlg->playBtn, ":IMG_PLAY"));
    QCOMPARE(started.count(), 1);

    // Closing after the end has nothing left to stop or wait for.
    QElapsedTimer timer;
    timer.start();
    dlg.reset();
    QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(stopped.count(), 1);
}

void TestAVPlayerDlg::pauseSeekStopAndPlayAgain()
{
    auto dlg = open("long.mp4");
    QSignalSpy started(dlg->player.data(), &MpvPlayer::started);
    QSignalSpy positions(dlg->player.data(), &MpvPlayer::positionChanged);
    QSignalSpy stopped(dlg->player.data(), &MpvPlayer::stopped);
    QVERIFY(started.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() > 200, 3000);

    QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
    QVERIFY(dlg->player->isPaused() && dlg->player->isPlaying());
    QVERIFY(HasIcon(dlg->playBtn, ":IMG_PLAY"));
    positions.wait(300);  // one position may still be on its way
    const int held = dlg->seekSlider->value();
    positions.clear();
    QVERIFY(!positions.wait(500));
    QCOMPARE(dlg->seekSlider->value(), held);
    QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
    QVERIFY(!dlg->player->isPaused() && HasIcon(dlg->playBtn, ":IMG_PAUSE"));
    QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() > held, 3000);

    QTest::mouseClick(dlg->seekSlider, Qt::LeftButton, Qt::NoModifier,
                      QPoint(dlg->seekSlider->width() * 3 / 4, dlg->seekSlider->height() / 2));
    QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty() && At(positions, -1) >= 6500, 3000);

    QTest::mouseClick(dlg->stopBtn, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(dlg->stoppedFlag, 3000);
    QCOMPARE(stopped.count(), 1);
    QVERIFY(!dlg->seekSlider->isEnabled());
    positions.clear();
    QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
    QVERIFY(dlg->seekSlider->isEnabled());
    QVERIFY(started.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty(), 3000);
    QVERIFY2(At(positions, 0) < 500, qPrintable(QString::number(At(positions, 0))));
    QVERIFY(!dlg->stoppedFlag);
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
    QVERIFY(At(positions, -1) > 0);
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
    QTRY_COMPARE_WITH_TIMEOUT(dlg->windowTitle(), QStringLiteral("garbage.mp4 can not be played !"), 5000);
    QCOMPARE(error.count(), 1);
    QTRY_COMPARE(stopped.count(), 1);
    QVERIFY(!dlg->player->isPlaying());
    for (QWidget *control : QList<QWidget *>{ dlg->timeLabel, dlg->durationLabel, dlg->playBtn, dlg->stopBtn,
                                              dlg->seekSlider, dlg->volumeBtn, dlg->volumeSlider, dlg->volumeLabel })
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));

    QTest::keyClick(dlg.get(), Qt::Key_Space);
    QTest::qWait(200);
    QVERIFY(!dlg->player->isPlaying());
    QCOMPARE(dlg->windowTitle(), QStringLiteral("garbage.mp4 can not be played !"));
}

void TestAVPlayerDlg::closingWhilePlayingReturnsPromptly()
{
    auto dlg = std::make_unique<PlayerDlg>(tmp.filePath("long.mp4"), nullptr);
    QPointer<MpvPlayer> player = dlg->player.data();
    QSignalSpy started(player.data(), &MpvPlayer::started);
    QSignalSpy stopped(player.data(), &MpvPlayer::stopped);
    bool playing = false;
    TestSupport::ModalCloser<AVPlayerDlg> closer([&](AVPlayerDlg *shown) {
        playing = QTest::qWaitFor([&] { return dlg->seekSlider->value() > 100; }, 5000);
        shown->reject();
    });
    QElapsedTimer timer;
    timer.start();
    dlg->exec();
    QVERIFY(closer.found());
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(started.count(), 1);
    QVERIFY(playing && dlg->player->isPlaying());
    QCOMPARE(stopped.count(), 0);

    timer.restart();
    dlg.reset();
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(player.isNull());
    QCOMPARE(stopped.count(), 1);
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
    QCOMPARE(dlg->volumeSlider->maximum(), 20);
    QCOMPARE(dlg->volumeSlider->value(), 20);
    QCOMPARE(dlg->volumeLabel->text(), QStringLiteral("1"));
    dlg->volumeSlider->setValue(10);  // so that the step under test is a change
    dlg->volumeSlider->setValue(step);
    QCOMPARE(dlg->volumeLabel->text(), text);
    QCOMPARE(dlg->volumeSlider->toolTip(), text);
    QCOMPARE(dlg->volumeBtn->toolTip(), text);
    QVERIFY(dlg->player->audio());
    QVERIFY(qAbs(dlg->player->audio()->volume() - step * 0.05) < 1e-6);
    QVERIFY(!dlg->player->isMute() && HasIcon(dlg->volumeBtn, ":IMG_VOLUME"));

    QTest::mouseClick(dlg->volumeBtn, Qt::LeftButton);
    QVERIFY(dlg->player->isMute() && HasIcon(dlg->volumeBtn, ":IMG_MUTE"));
    QCOMPARE(dlg->volumeSlider->value(), step);
    QCOMPARE(dlg->volumeLabel->text(), text);
    QVERIFY(qAbs(dlg->player->audio()->volume() - step * 0.05) < 1e-6);
    QTest::mouseClick(dlg->volumeBtn, Qt::LeftButton);
    QVERIFY(!dlg->player->isMute() && HasIcon(dlg->volumeBtn, ":IMG_VOLUME"));
}

QTEST_MAIN(TestAVPlayerDlg)
#include "test_avplayerdlg.moc"
