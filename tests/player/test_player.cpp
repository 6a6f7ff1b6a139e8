#include "player/avplayerdlg.h"
#include "player/avslider.h"
#include "player/mpvplayer.h"
#include "player/mpvvideowidget.h"
#include "player/streamprobe.h"
#include "testsupport.h"

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

const QSize SliderSize(300, 24);

// Every signal a slider emits, in order, as "name" or "name(value)".
class SignalLog : public QObject
{
public:
    explicit SignalLog(QSlider *slider)
    {
        connect(slider, &QSlider::sliderPressed, this, [this] { log << "pressed"; });
        connect(slider, &QSlider::sliderReleased, this, [this] { log << "released"; });
        connect(slider, &QSlider::sliderMoved, this, [this](int v) { log << QStringLiteral("moved(%1)").arg(v); });
        connect(slider, &QSlider::valueChanged, this, [this](int v) { log << QStringLiteral("value(%1)").arg(v); });
    }
    QStringList log;
};

template <typename Slider>
std::unique_ptr<Slider> MakeSlider(int value = 0)
{
    auto slider = std::make_unique<Slider>(nullptr);
    slider->setOrientation(Qt::Horizontal);
    slider->setRange(0, 1000);
    slider->setValue(value);
    slider->setFixedSize(SliderSize);
    slider->show();
    return slider;
}

// QSlider::initStyleOption is protected; a member pointer taken through a subclass may be applied to any QSlider.
struct StyleOptionAccess : QSlider
{
    static QRect HandleRect(const QSlider *slider)
    {
        QStyleOptionSlider option;
        (slider->*(&StyleOptionAccess::initStyleOption))(&option);
        return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    }
};

void Send(QWidget *widget, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

// The player dialog on real libmpv, its seek slider, and the stream probe.
class TestPlayer : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;

    std::unique_ptr<PlayerDlg> volumeDlg; // one player for all rows of the volume table

    std::unique_ptr<PlayerDlg> Open(const QString &path)
    {
        auto dlg = std::make_unique<PlayerDlg>(path, nullptr);
        dlg->show();
        return dlg;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::copy(TestSupport::Clip(1.0, "320x240", "mp4"), fixture.path("clip.mp4")));
        QVERIFY(!TestSupport::Clip(10.0, "160x120", "mp4").isEmpty());
        QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=duration=1:size=160x120:rate=10",
                                         fixture.path("anim.gif") }));
        QByteArray garbage;
        for (int i = 0; i < 65536; ++i)
            garbage.append(char((i * 7919) % 251));
        QVERIFY(TestSupport::WriteBytes(fixture.path("garbage.mp4"), garbage));
        QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "sine=duration=0.2", fixture.path("tone.wav") }));
        // A report larger than a pipe's buffer: the probe can only finish while the
        // filter is already reading.
        QStringList args = { "-f", "lavfi", "-i", "testsrc=duration=0.2:size=320x240", "-f", "lavfi", "-i",
                             "sine=duration=0.2", "-map", "0:v" };
        for (int i = 0; i < 100; ++i)
            args << "-map" << "1:a";
        QVERIFY(TestSupport::RunFfmpeg(args + QStringList{ "-c:v", "mpeg4", "-c:a", "pcm_s16le",
                                                           fixture.path("many-streams.mkv") }));
        QVERIFY(TestSupport::Probe(fixture.path("many-streams.mkv")).size() > 65536);
    }

    void playsToTheEndAndResets()
    {
        auto dlg = Open(fixture.path("clip.mp4"));
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Play - clip.mp4 (320x240)"));
        QCOMPARE(dlg->codecID, KRVAVCodecID_iPhone);
        QVERIFY(dlg->player->isPlaying());
        QSignalSpy started(dlg->player.data(), &MpvPlayer::started);
        QSignalSpy positions(dlg->player.data(), &MpvPlayer::positionChanged);
        QSignalSpy stopped(dlg->player.data(), &MpvPlayer::stopped);
        QVERIFY(started.isValid() && positions.isValid() && stopped.isValid());

        QVERIFY(started.wait(5000));
        QCOMPARE(dlg->durationLabel->text(), QStringLiteral("00:00:01"));
        QCOMPARE(dlg->timeLabel->text(), QStringLiteral("00:00:00"));
        QCOMPARE(dlg->seekSlider->minimum(), 0);
        QVERIFY(qAbs(dlg->seekSlider->maximum() - 1000) <= 100);
        QVERIFY(dlg->seekSlider->isEnabled() && !dlg->stoppedFlag);
        QVERIFY(HasIcon(dlg->playBtn, ":IMG_PAUSE"));
        QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() >= 500, 5000);
        QCOMPARE(dlg->timeLabel->text(), QTime(0, 0).addMSecs(dlg->seekSlider->value()).toString("HH:mm:ss"));
        QVERIFY(positions.size() >= 3);
        for (int i = 1; i < positions.size(); ++i)
            QVERIFY(At(positions, i - 1) <= At(positions, i));

        QVERIFY(stopped.wait(5000));
        QVERIFY(dlg->stoppedFlag && !dlg->player->isPlaying() && !dlg->seekSlider->isEnabled());
        QCOMPARE(dlg->seekSlider->value(), 0);
        QCOMPARE(dlg->timeLabel->text(), QStringLiteral("00:00:00"));
        QCOMPARE(dlg->durationLabel->text(), QStringLiteral("00:00:00"));
        QVERIFY(dlg->playBtn->isEnabled() && HasIcon(dlg->playBtn, ":IMG_PLAY"));
        QCOMPARE(started.count(), 1);
        dlg.reset();
        QCOMPARE(stopped.count(), 1);
    }

    void pauseSeekStopAndPlayAgain()
    {
        auto dlg = Open(TestSupport::Clip(10.0, "160x120", "mp4"));
        QSignalSpy started(dlg->player.data(), &MpvPlayer::started);
        QSignalSpy positions(dlg->player.data(), &MpvPlayer::positionChanged);
        QSignalSpy stopped(dlg->player.data(), &MpvPlayer::stopped);
        QVERIFY(started.wait(5000));
        QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() > 200, 5000);

        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(dlg->player->isPaused() && dlg->player->isPlaying());
        QVERIFY(HasIcon(dlg->playBtn, ":IMG_PLAY"));
        positions.wait(300); // one position may still be on its way
        const int held = dlg->seekSlider->value();
        positions.clear();
        QVERIFY(!positions.wait(500));
        QCOMPARE(dlg->seekSlider->value(), held);
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(!dlg->player->isPaused() && HasIcon(dlg->playBtn, ":IMG_PAUSE"));
        QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() > held, 5000);

        QTest::mouseClick(dlg->seekSlider, Qt::LeftButton, Qt::NoModifier,
                          QPoint(dlg->seekSlider->width() * 3 / 4, dlg->seekSlider->height() / 2));
        QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty() && At(positions, -1) >= 6500, 5000);

        QTest::mouseClick(dlg->stopBtn, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->stoppedFlag, 5000);
        QCOMPARE(stopped.count(), 1);
        QVERIFY(!dlg->seekSlider->isEnabled());
        positions.clear();
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(dlg->seekSlider->isEnabled());
        QVERIFY(started.wait(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty(), 5000);
        QVERIFY2(At(positions, 0) < 500, qPrintable(QString::number(At(positions, 0))));
        QVERIFY(!dlg->stoppedFlag);
    }

    void gifKeepsSeekSliderDisabled()
    {
        auto dlg = Open(fixture.path("anim.gif"));
        QCOMPARE(dlg->codecID, KRVAVCodecID_GIF);
        QVERIFY(!dlg->seekSlider->isEnabled());
        QSignalSpy started(dlg->player.data(), &MpvPlayer::started);
        QSignalSpy positions(dlg->player.data(), &MpvPlayer::positionChanged);
        QSignalSpy stopped(dlg->player.data(), &MpvPlayer::stopped);
        QVERIFY(started.wait(5000));
        const QString timeText = dlg->timeLabel->text();
        QTRY_VERIFY_WITH_TIMEOUT(positions.count() >= 2 && At(positions, -1) > 0, 5000);
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

    void garbageReachesErrorState()
    {
        auto dlg = Open(fixture.path("garbage.mp4"));
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

    void closingWhilePlayingReturnsPromptly()
    {
        auto dlg = std::make_unique<PlayerDlg>(TestSupport::Clip(10.0, "160x120", "mp4"), nullptr);
        QPointer<MpvPlayer> player = dlg->player.data();
        QSignalSpy started(player.data(), &MpvPlayer::started);
        QSignalSpy stopped(player.data(), &MpvPlayer::stopped);
        bool playing = false;
        TestSupport::ModalCloser<AVPlayerDlg> closer([&](AVPlayerDlg *shown) {
            playing = QTest::qWaitFor([&] { return dlg->seekSlider->value() > 100; }, 5000);
            shown->reject();
        });
        dlg->exec();
        QVERIFY(closer.found());
        QCOMPARE(started.count(), 1);
        QVERIFY(playing && dlg->player->isPlaying());
        QCOMPARE(stopped.count(), 0);
        // Well before the clip's end, which a close that waits for playback would reach.
        QElapsedTimer timer;
        timer.start();
        dlg.reset();
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(player.isNull());
        QCOMPARE(stopped.count(), 1);
    }

    void volumeTexts_data()
    {
        QTest::addColumn<int>("step"); QTest::addColumn<QString>("text");
        QTest::newRow("full") << 20 << "1";
        QTest::newRow("step 19") << 19 << "0.95";
        QTest::newRow("step 1") << 1 << "0.05";
        QTest::newRow("left end") << 0 << "0";
    }

    void volumeTexts()
    {
        QFETCH(int, step); QFETCH(QString, text);
        if (!volumeDlg) {
            volumeDlg = Open(fixture.path("clip.mp4"));
            QCOMPARE(volumeDlg->volumeSlider->value(), 20);
            QCOMPARE(volumeDlg->volumeLabel->text(), QStringLiteral("1"));
        }
        PlayerDlg *dlg = volumeDlg.get();
        dlg->volumeSlider->setValue(10); // so that the step under test is a change
        dlg->volumeSlider->setValue(step);
        QCOMPARE(QStringList({ dlg->volumeLabel->text(), dlg->volumeSlider->toolTip(), dlg->volumeBtn->toolTip() }),
                 QStringList({ text, text, text }));
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

    void sliderClickBesideHandleJumpsThere()
    {
        auto slider = MakeSlider<AVSlider>();
        SignalLog signalLog(slider.get());
        const QPoint click(200, SliderSize.height() / 2);
        QVERIFY(!StyleOptionAccess::HandleRect(slider.get()).contains(click));
        Send(slider.get(), QEvent::MouseButtonPress, click, Qt::LeftButton, Qt::LeftButton);
        QVERIFY(!slider->isSliderDown());
        const int centre = StyleOptionAccess::HandleRect(slider.get()).center().x();
        QVERIFY2(qAbs(centre - click.x()) <= 1, qPrintable(QStringLiteral("handle centre %1").arg(centre)));
        QVERIFY(slider->value() > 600 && slider->value() < 700);
        const QStringList expected = { QStringLiteral("value(%1)").arg(slider->value()),
                                       QStringLiteral("moved(%1)").arg(slider->value()), QStringLiteral("pressed") };
        QCOMPARE(signalLog.log, expected);
        Send(slider.get(), QEvent::MouseButtonRelease, click, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(signalLog.log, expected);
    }

    void sliderElsewhereBehavesAsQSlider_data()
    {
        QTest::addColumn<int>("button"); QTest::addColumn<bool>("onHandle");
        QTest::newRow("drag on handle") << int(Qt::LeftButton) << true;
        QTest::newRow("right button") << int(Qt::RightButton) << false;
    }

    void sliderElsewhereBehavesAsQSlider()
    {
        QFETCH(int, button); QFETCH(bool, onHandle);
        const auto mouseButton = Qt::MouseButton(button);
        auto plain = MakeSlider<QSlider>(300);
        auto slider = MakeSlider<AVSlider>(300);
        SignalLog plainLog(plain.get());
        SignalLog sliderLog(slider.get());
        QList<bool> pressedDown;
        for (QSlider *s : { plain.get(), static_cast<QSlider *>(slider.get()) }) {
            const QPoint at = onHandle ? StyleOptionAccess::HandleRect(s).center() : QPoint(220, SliderSize.height() / 2);
            Send(s, QEvent::MouseButtonPress, at, mouseButton, mouseButton);
            pressedDown << s->isSliderDown();
            if (onHandle)
                Send(s, QEvent::MouseMove, at + QPoint(60, 0), Qt::NoButton, mouseButton);
            Send(s, QEvent::MouseButtonRelease, at + QPoint(onHandle ? 60 : 0, 0), mouseButton, Qt::NoButton);
            QVERIFY(!s->isSliderDown());
        }
        QCOMPARE(slider->value(), plain->value());
        QCOMPARE(sliderLog.log, plainLog.log);
        QCOMPARE(pressedDown.last(), pressedDown.first());
        if (onHandle) {
            QVERIFY(pressedDown.last() && slider->value() > 300);
            QCOMPARE(sliderLog.log.first(), QStringLiteral("pressed"));
            QCOMPARE(sliderLog.log.last(), QStringLiteral("released"));
        }
    }

    void sliderReportsEnterHoverLeave_data()
    {
        QTest::addColumn<int>("x"); QTest::addColumn<int>("expected");
        QTest::newRow("middle") << SliderSize.width() / 2 << 500;
        QTest::newRow("beyond the right edge") << SliderSize.width() + 20 << 1000;
    }

    void sliderReportsEnterHoverLeave()
    {
        QFETCH(int, x); QFETCH(int, expected);
        auto slider = MakeSlider<AVSlider>();
        QSignalSpy entered(slider.get(), &AVSlider::sliderEntered);
        QSignalSpy hovered(slider.get(), &AVSlider::sliderHovered);
        QSignalSpy leaved(slider.get(), &AVSlider::sliderLeaved);
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(slider.get(), &enter);
        QCOMPARE(entered.count(), 1);
        // Hovering reports without moving, and needs no button held.
        Send(slider.get(), QEvent::MouseMove, QPoint(x, 5), Qt::NoButton, Qt::NoButton);
        QCOMPARE(hovered.count(), 1);
        QCOMPARE(hovered.at(0).at(0).toInt(), x);
        QVERIFY2(qAbs(hovered.at(0).at(1).toInt() - expected) <= 5, qPrintable(hovered.at(0).at(1).toString()));
        QCOMPARE(slider->value(), 0);
        QCOMPARE(leaved.count(), 0);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(slider.get(), &leave);
        QCOMPARE(entered.count(), 1);
        QCOMPARE(leaved.count(), 1);
    }

    void probeResolution_data()
    {
        QTest::addColumn<QString>("name"); QTest::addColumn<bool>("noFilter"); QTest::addColumn<QString>("expected");
        QTest::newRow("101 streams") << "many-streams.mkv" << false << "320x240";
        QTest::newRow("audio only") << "tone.wav" << false << "untouched";
        QTest::newRow("garbage") << "garbage.mp4" << false << "untouched";
        QTest::newRow("no grep on the search path") << "clip.mp4" << true << "untouched";
    }

    void probeResolution()
    {
        QFETCH(QString, name); QFETCH(bool, noFilter); QFETCH(QString, expected);
        const QByteArray path = qgetenv("PATH");
        if (noFilter)
            qputenv("PATH", QFile::encodeName(fixture.path("config")));
        QString resolution = QStringLiteral("untouched");
        GetResolution(fixture.path(name), resolution);
        qputenv("PATH", path);
        QCOMPARE(resolution, expected);
    }

    void probeValueRules_data()
    {
        QTest::addColumn<QByteArray>("output"); QTest::addColumn<QString>("key"); QTest::addColumn<bool>("found"); QTest::addColumn<QString>("value");
        QTest::newRow("first match, inside a longer key") << QByteArray("coded_width=1296\nwidth=1280\n") << "width"
                                                          << true << "1296";
        QTest::newRow("key at the very end") << QByteArray("width=1280\nheight=") << "height" << false << "";
        QTest::newRow("value without line feed") << QByteArray("height=720") << "height" << false << "";
        QTest::newRow("empty value") << QByteArray("height=\nheight=720\n") << "height" << false << "";
        QTest::newRow("case matters") << QByteArray("WIDTH=1280\n") << "width" << false << "";
        QTest::newRow("no trimming") << QByteArray("width= 1280\r\n") << "width" << true << " 1280\r";
        QTest::newRow("text ends at NUL") << QByteArray("codec=x\0width=1280\n", 19) << "width" << false << "";
        QTest::newRow("UTF-8 value") << QByteArray("title=caf\xc3\xa9\n") << "title" << true << QString::fromUtf8("caf\xc3\xa9");
    }

    void probeValueRules()
    {
        QFETCH(QByteArray, output); QFETCH(QString, key); QFETCH(bool, found); QFETCH(QString, value);
        QString out = QStringLiteral("before");
        QCOMPARE(ParseFFPROBEOutput(output, key, out), found);
        QCOMPARE(out, found ? value : QStringLiteral("before"));
    }

    void probeSizeRules_data()
    {
        QTest::addColumn<QString>("width"); QTest::addColumn<QString>("height"); QTest::addColumn<QString>("expected");
        QTest::newRow("both known") << "1280" << "720" << "1280x720";
        QTest::newRow("width N/A") << "N/A" << "720" << "before";
        QTest::newRow("height N/A") << "1280" << "N/A" << "before";
        QTest::newRow("width missing") << "" << "720" << "before";
        QTest::newRow("height missing") << "1280" << "" << "before";
    }

    void probeSizeRules()
    {
        QFETCH(QString, width); QFETCH(QString, height); QFETCH(QString, expected);
        QString resolution = QStringLiteral("before");
        QCOMPARE(MakeResolution(width, height, resolution), expected != QLatin1String("before"));
        QCOMPARE(resolution, expected);
    }
};

QTEST_MAIN(TestPlayer)
#include "test_player.moc"
