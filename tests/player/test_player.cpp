#include "player/avplayerdlg.h"
#include "player/avslider.h"
#include "player/mpvplayer.h"
#include "player/mpvvideowidget.h"
#include "player/streamprobe.h"
#include "testsupport.h"

namespace {

// Opens the dialog's members to the test.
struct PlayerDlg : AVPlayerDlg
{
    using AVPlayerDlg::AVPlayerDlg;
    using AVPlayerDlg::player, AVPlayerDlg::stoppedFlag, AVPlayerDlg::seekSlider, AVPlayerDlg::timeLabel;
    using AVPlayerDlg::durationLabel, AVPlayerDlg::playBtn, AVPlayerDlg::stopBtn, AVPlayerDlg::volumeBtn;
    using AVPlayerDlg::volumeSlider, AVPlayerDlg::volumeLabel;
};

// A shown dialog with its player's signals recorded.
struct Session
{
    explicit Session(const QString &path) : dlg(std::make_unique<PlayerDlg>(path, nullptr)) { dlg->show(); }
    std::unique_ptr<PlayerDlg> dlg;
    MpvPlayer *p = dlg->player.data();
    QSignalSpy started{ p, &MpvPlayer::started }, positions{ p, &MpvPlayer::positionChanged },
        stopped{ p, &MpvPlayer::stopped }, error{ p, &MpvPlayer::error };
};

bool HasIcon(const QToolButton *button, const char *resource)
{
    return button->icon().pixmap(16).toImage() == QIcon(QString::fromLatin1(resource)).pixmap(16).toImage();
}

qint64 At(const QSignalSpy &spy, int i)
{
    return spy.at(i < 0 ? spy.size() + i : i).at(0).toLongLong();
}

// Every signal a slider emits, in order, as "name" or "name(value)".
void LogSignals(QSlider *s, QStringList &log)
{
    QObject::connect(s, &QSlider::sliderPressed, s, [&log] { log << "pressed"; });
    QObject::connect(s, &QSlider::sliderReleased, s, [&log] { log << "released"; });
    QObject::connect(s, &QSlider::sliderMoved, s, [&log](int v) { log << QStringLiteral("moved(%1)").arg(v); });
    QObject::connect(s, &QSlider::valueChanged, s, [&log](int v) { log << QStringLiteral("value(%1)").arg(v); });
}

template <typename Slider>
std::unique_ptr<Slider> MakeSlider()
{
    auto slider = std::make_unique<Slider>(nullptr);
    slider->setOrientation(Qt::Horizontal);
    slider->setRange(0, 1000);
    slider->setValue(300);
    slider->setFixedSize(300, 24);
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

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::copy(TestSupport::Clip(1.0, "320x240", "mp4"), fixture.path("clip.mp4")));
        QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=duration=1:size=160x120:rate=10",
                                         fixture.path("anim.gif") }));
        QByteArray garbage;
        for (int i = 0; i < 65536; ++i)
            garbage.append(char((i * 7919) % 251));
        QVERIFY(TestSupport::WriteBytes(fixture.path("garbage.mp4"), garbage));
        QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "sine=duration=0.2", fixture.path("tone.wav") }));
        // A report larger than a pipe's buffer: the probe can only finish while the filter is already reading.
        QStringList args = { "-f", "lavfi", "-i", "testsrc=duration=0.2:size=320x240", "-f", "lavfi", "-i",
                             "sine=duration=0.2", "-map", "0:v", "-c:v", "mpeg4", "-c:a", "pcm_s16le" };
        for (int i = 0; i < 100; ++i)
            args << "-map" << "1:a";
        QVERIFY(TestSupport::RunFfmpeg(args << fixture.path("many-streams.mkv")));
        QVERIFY(TestSupport::Probe(fixture.path("many-streams.mkv")).size() > 65536);
    }

    void playPauseSeekStopAndEnd()
    {
        const QString clip = TestSupport::Clip(10.0, "160x120", "mp4");
        Session s(clip);
        auto &[dlg, p, started, positions, stopped, error] = s;
        QCOMPARE(dlg->windowTitle(), "Play - " + QFileInfo(clip).fileName() + " (160x120)");
        QVERIFY(started.isValid() && positions.isValid() && stopped.isValid() && started.wait(5000));
        QCOMPARE(dlg->timeLabel->text() + ' ' + dlg->durationLabel->text(), QStringLiteral("00:00:00 00:00:10"));
        QVERIFY(dlg->seekSlider->minimum() == 0 && qAbs(dlg->seekSlider->maximum() - 10000) <= 100);
        QVERIFY(dlg->seekSlider->isEnabled() && !dlg->stoppedFlag && HasIcon(dlg->playBtn, ":IMG_PAUSE"));
        QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() >= 1500, 5000);
        QCOMPARE(dlg->timeLabel->text(), QTime(0, 0).addMSecs(dlg->seekSlider->value()).toString("HH:mm:ss"));
        for (int i = 1; i < positions.size(); ++i)
            QVERIFY(At(positions, i - 1) <= At(positions, i));

        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(p->isPaused() && p->isPlaying() && HasIcon(dlg->playBtn, ":IMG_PLAY"));
        positions.wait(300); // one position may still be on its way
        const int held = dlg->seekSlider->value();
        positions.clear();
        QVERIFY(!positions.wait(500));
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(!p->isPaused() && HasIcon(dlg->playBtn, ":IMG_PAUSE"));
        QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() > held, 5000);

        const auto clickAt = [slider = dlg->seekSlider](int permille) {
            QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() * permille / 1000, slider->height() / 2));
        };
        clickAt(750);
        QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty() && At(positions, -1) >= 6500, 5000);
        QTest::mouseClick(dlg->stopBtn, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->stoppedFlag, 5000);
        QVERIFY(stopped.count() == 1 && !dlg->seekSlider->isEnabled());
        positions.clear();
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(dlg->seekSlider->isEnabled() && started.wait(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty(), 5000);
        QVERIFY2(At(positions, 0) < 500 && !dlg->stoppedFlag, qPrintable(QString::number(At(positions, 0))));

        // The end of the file leaves the dialog ready to play again.
        clickAt(950);
        QVERIFY(stopped.wait(5000));
        QVERIFY(dlg->stoppedFlag && !p->isPlaying() && !dlg->seekSlider->isEnabled() && dlg->seekSlider->value() == 0);
        QCOMPARE(dlg->timeLabel->text() + ' ' + dlg->durationLabel->text(), QStringLiteral("00:00:00 00:00:00"));
        QVERIFY(dlg->playBtn->isEnabled() && HasIcon(dlg->playBtn, ":IMG_PLAY") && started.count() == 2);
        s.dlg.reset();
        QCOMPARE(stopped.count(), 2);
    }

    void gifKeepsSeekSliderDisabled()
    {
        Session s(fixture.path("anim.gif"));
        auto &[dlg, p, started, positions, stopped, error] = s;
        QVERIFY(!dlg->seekSlider->isEnabled() && started.wait(5000));
        const QString timeText = dlg->timeLabel->text();
        QTRY_VERIFY_WITH_TIMEOUT(positions.count() >= 2 && At(positions, -1) > 0, 5000);
        QVERIFY(!dlg->seekSlider->isEnabled() && dlg->timeLabel->text() == timeText);
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(!dlg->seekSlider->isEnabled() && stopped.wait(5000));
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(started.wait(5000) && !dlg->seekSlider->isEnabled());
    }

    void garbageReachesErrorState()
    {
        Session s(fixture.path("garbage.mp4"));
        auto &[dlg, p, started, positions, stopped, error] = s;
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Play - garbage.mp4"));
        QTRY_COMPARE_WITH_TIMEOUT(dlg->windowTitle(), QStringLiteral("garbage.mp4 can not be played !"), 5000);
        QTRY_COMPARE(stopped.count(), 1);
        QVERIFY(error.count() == 1 && !p->isPlaying());
        for (const char *bar : { "seekBar", "controlBar" })
            for (QWidget *control : TestSupport::Find(dlg.get(), bar)->findChildren<QWidget *>())
                QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
        QCOMPARE(dlg->timeLabel->text() + dlg->durationLabel->text(), QString()); // no time is true after an error
        QTest::keyClick(dlg.get(), Qt::Key_Space);
        QTest::qWait(200);
        QVERIFY(!p->isPlaying() && dlg->windowTitle() == "garbage.mp4 can not be played !");
    }

    void closingWhilePlayingReturnsPromptly()
    {
        auto s = std::make_unique<Session>(TestSupport::Clip(10.0, "160x120", "mp4"));
        QPointer<MpvPlayer> player = s->p;
        s->dlg->hide();
        bool playing = false;
        TestSupport::ModalCloser<AVPlayerDlg> closer([&](AVPlayerDlg *shown) {
            playing = QTest::qWaitFor([&] { return s->dlg->seekSlider->value() > 100; }, 5000);
            shown->reject();
        });
        s->dlg->exec();
        QVERIFY(closer.found() && playing && player->isPlaying() && s->stopped.isEmpty());
        // Well before the clip's end, which a close that waits for playback would reach.
        QElapsedTimer timer;
        timer.start();
        s->dlg.reset();
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(player.isNull() && s->stopped.count() == 1);
    }

    void volumeAndMute_data()
    {
        QTest::addColumn<int>("step"); QTest::addColumn<QString>("text");
        QTest::newRow("full") << 20 << "1";
        QTest::newRow("step 19") << 19 << "0.95";
        QTest::newRow("left end") << 0 << "0";
    }

    void volumeAndMute()
    {
        QFETCH(int, step); QFETCH(QString, text);
        Session s(fixture.path("clip.mp4"));
        PlayerDlg *dlg = s.dlg.get();
        dlg->volumeSlider->setValue(10); // so that the step under test is a change
        dlg->volumeSlider->setValue(step);
        QCOMPARE(QStringList({ dlg->volumeSlider->toolTip(), dlg->volumeBtn->toolTip() }), QStringList({ text, text }));
        for (bool mute : { false, true, false }) {
            QVERIFY(dlg->player->isMute() == mute && HasIcon(dlg->volumeBtn, mute ? ":IMG_MUTE" : ":IMG_VOLUME"));
            QVERIFY(dlg->player->audio() && qAbs(dlg->player->audio()->volume() - step * 0.05) < 1e-6);
            QCOMPARE(dlg->volumeLabel->text(), text);
            QTest::mouseClick(dlg->volumeBtn, Qt::LeftButton);
        }
    }

    // A left click beside the handle jumps there at once; anything else is left to QSlider.
    void sliderPress_data()
    {
        QTest::addColumn<int>("button"); QTest::addColumn<bool>("onHandle");
        QTest::newRow("left beside the handle") << int(Qt::LeftButton) << false;
        QTest::newRow("drag on the handle") << int(Qt::LeftButton) << true;
        QTest::newRow("right button") << int(Qt::RightButton) << false;
    }

    void sliderPress()
    {
        QFETCH(int, button); QFETCH(bool, onHandle);
        const auto b = Qt::MouseButton(button);
        auto plain = MakeSlider<QSlider>();
        auto slider = MakeSlider<AVSlider>();
        QStringList plainLog, log;
        LogSignals(plain.get(), plainLog);
        LogSignals(slider.get(), log);
        QList<bool> pressedDown;
        for (QSlider *s : { plain.get(), static_cast<QSlider *>(slider.get()) }) {
            const QPoint at = onHandle ? StyleOptionAccess::HandleRect(s).center() : QPoint(220, 12);
            const QPoint to = at + QPoint(onHandle ? 60 : 0, 0);
            Send(s, QEvent::MouseButtonPress, at, b, b);
            pressedDown << s->isSliderDown();
            Send(s, QEvent::MouseMove, to, Qt::NoButton, b);
            Send(s, QEvent::MouseButtonRelease, to, b, Qt::NoButton);
            QVERIFY(!s->isSliderDown());
        }
        if (b == Qt::LeftButton && !onHandle) {
            const int centre = StyleOptionAccess::HandleRect(slider.get()).center().x();
            QVERIFY2(qAbs(centre - 220) <= 1, qPrintable(QStringLiteral("handle centre %1").arg(centre)));
            const QString v = QString::number(slider->value());
            QCOMPARE(log, QStringList({ "value(" + v + ')', "moved(" + v + ')', "pressed" }));
            QVERIFY(!pressedDown.last());
        } else {
            QVERIFY(slider->value() == plain->value() && pressedDown.last() == pressedDown.first());
            QCOMPARE(log, plainLog);
            QVERIFY(!onHandle || (pressedDown.last() && slider->value() > 300 && log.first() == "pressed"
                                  && log.last() == "released"));
        }
    }

    // Hovering reports the value under the cursor without moving, and needs no button held.
    void sliderReportsEnterHoverLeave()
    {
        for (const auto &[x, expected] : { std::pair(150, 500), std::pair(320, 1000) }) {
            auto slider = MakeSlider<AVSlider>();
            QSignalSpy entered(slider.get(), &AVSlider::sliderEntered), hovered(slider.get(), &AVSlider::sliderHovered),
                leaved(slider.get(), &AVSlider::sliderLeaved);
            QEvent enter(QEvent::Enter), leave(QEvent::Leave);
            QApplication::sendEvent(slider.get(), &enter);
            Send(slider.get(), QEvent::MouseMove, QPoint(x, 5), Qt::NoButton, Qt::NoButton);
            QApplication::sendEvent(slider.get(), &leave);
            QVERIFY(entered.count() == 1 && leaved.count() == 1 && hovered.count() == 1 && slider->value() == 300);
            QCOMPARE(hovered.at(0).at(0).toInt(), x);
            QVERIFY2(qAbs(hovered.at(0).at(1).toInt() - expected) <= 5, qPrintable(hovered.at(0).at(1).toString()));
        }
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
        QTest::addColumn<QByteArray>("output"); QTest::addColumn<QString>("key"); QTest::addColumn<QString>("value");
        QTest::newRow("first match, inside a longer key") << QByteArray("coded_width=1296\nwidth=1280\n") << "width" << "1296";
        QTest::newRow("key at the very end") << QByteArray("width=1280\nheight=") << "height" << "before";
        QTest::newRow("value without line feed") << QByteArray("height=720") << "height" << "before";
        QTest::newRow("empty value") << QByteArray("height=\nheight=720\n") << "height" << "before";
        QTest::newRow("case matters") << QByteArray("WIDTH=1280\n") << "width" << "before";
        QTest::newRow("no trimming") << QByteArray("width= 1280\r\n") << "width" << " 1280\r";
        QTest::newRow("text ends at NUL") << QByteArray("codec=x\0width=1280\n", 19) << "width" << "before";
        QTest::newRow("UTF-8 value") << QByteArray("title=caf\xc3\xa9\n") << "title" << QString::fromUtf8("caf\xc3\xa9");
    }

    void probeValueRules()
    {
        QFETCH(QByteArray, output); QFETCH(QString, key); QFETCH(QString, value);
        QString out = QStringLiteral("before");
        QCOMPARE(ParseFFPROBEOutput(output, key, out), value != QLatin1String("before"));
        QCOMPARE(out, value);
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
