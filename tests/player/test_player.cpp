#include "player/avplayerdlg.h"
#include "player/avslider.h"
#include "player/mpvplayer.h"
#include "player/mpvvideowidget.h"
#include "convert/streamprobe.h"
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

qint64 At(const QSignalSpy &spy, int i)
{
    return spy.at(i < 0 ? spy.size() + i : i).at(0).toLongLong();
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
        QVERIFY(TestSupport::RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=duration=1:size=160x120:rate=10",
                                         fixture.path("anim.gif") }));
        QByteArray garbage;
        for (int i = 0; i < 65536; ++i)
            garbage.append(char((i * 7919) % 251));
        QVERIFY(TestSupport::WriteBytes(fixture.path("garbage.mp4"), garbage));
        // A report larger than a pipe's buffer: the probe can only finish while the filter is already reading.
        QStringList args = { "-f", "lavfi", "-i", "testsrc=duration=0.2:size=320x240", "-f", "lavfi", "-i",
                             "sine=duration=0.2", "-map", "0:v", "-c:v", "mpeg4", "-c:a", "pcm_s16le" };
        for (int i = 0; i < 100; ++i)
            args << "-map" << "1:a";
        QVERIFY(TestSupport::RunFfmpeg(args << fixture.path("many-streams.mkv")));
        QVERIFY(TestSupport::Probe(fixture.path("many-streams.mkv")).size() > 65536);
    }

    void playback()
    {
        const QString clip = TestSupport::Clip(10.0, "160x120", "mp4");
        Session s(clip);
        auto &[dlg, p, started, positions, stopped, error] = s;
        QCOMPARE(dlg->windowTitle(), "Play - " + QFileInfo(clip).fileName() + " (160x120)");
        QVERIFY(started.isValid() && positions.isValid() && stopped.isValid() && started.wait(5000));
        QCOMPARE(dlg->timeLabel->text() + ' ' + dlg->durationLabel->text(), QStringLiteral("00:00:00 00:00:10"));
        QVERIFY(dlg->seekSlider->minimum() == 0 && qAbs(dlg->seekSlider->maximum() - 10000) <= 100);
        QVERIFY(dlg->seekSlider->isEnabled() && !dlg->stoppedFlag);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() >= 1500, 5000);
        for (int i = 1; i < positions.size(); ++i)
            QVERIFY(At(positions, i - 1) <= At(positions, i));

        // Volume steps of 0.05, kept through mute and unmute.
        dlg->volumeSlider->setValue(19);
        for (bool mute : { false, true, false }) {
            QVERIFY(p->isMute() == mute && p->audio() && qAbs(p->audio()->volume() - 0.95) < 1e-6);
            QCOMPARE(dlg->volumeLabel->text(), QStringLiteral("0.95"));
            QTest::mouseClick(dlg->volumeBtn, Qt::LeftButton);
        }

        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(p->isPaused() && p->isPlaying());
        positions.wait(300); // one position may still be on its way
        positions.clear();
        QVERIFY(!positions.wait(500));
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(!p->isPaused() && positions.wait(5000));

        const auto clickAt = [slider = dlg->seekSlider](int permille) {
            QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() * permille / 1000, slider->height() / 2));
        };
        clickAt(750);
        QTRY_VERIFY_WITH_TIMEOUT(At(positions, -1) >= 6500, 5000);
        QTest::mouseClick(dlg->stopBtn, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->stoppedFlag && stopped.count() == 1 && !dlg->seekSlider->isEnabled(), 5000);
        positions.clear();
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(dlg->seekSlider->isEnabled() && started.wait(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty(), 5000);
        QVERIFY2(At(positions, 0) < 500 && !dlg->stoppedFlag, qPrintable(QString::number(At(positions, 0))));

        // The end of the file leaves the dialog ready to play again.
        clickAt(950);
        QVERIFY(stopped.wait(5000));
        QVERIFY(dlg->stoppedFlag && !p->isPlaying() && !dlg->seekSlider->isEnabled() && dlg->seekSlider->value() == 0);
        QVERIFY(dlg->playBtn->isEnabled() && started.count() == 2);

        // Closed while playing, well before the clip's end, which a close waiting for playback would reach.
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->seekSlider->value() > 100 && p->isPlaying(), 5000);
        QElapsedTimer timer;
        timer.start();
        s.dlg.reset();
        QVERIFY2(timer.elapsed() < 5000 && stopped.count() == 3, qPrintable(QString::number(timer.elapsed())));
    }

    // A GIF cannot seek: its seek bar stays off through pause and resume.
    void gifKeepsSeekSliderDisabled()
    {
        Session s(fixture.path("anim.gif"));
        auto &[dlg, p, started, positions, stopped, error] = s;
        QVERIFY(started.wait(5000));
        const QString timeText = dlg->timeLabel->text();
        QTRY_VERIFY_WITH_TIMEOUT(positions.count() >= 2 && At(positions, -1) > 0, 5000);
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QTest::mouseClick(dlg->playBtn, Qt::LeftButton);
        QVERIFY(!dlg->seekSlider->isEnabled() && dlg->timeLabel->text() == timeText);
    }

    void garbageReachesErrorState()
    {
        Session s(fixture.path("garbage.mp4"));
        auto &[dlg, p, started, positions, stopped, error] = s;
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Play - garbage.mp4"));
        QTRY_COMPARE_WITH_TIMEOUT(dlg->windowTitle(), QStringLiteral("garbage.mp4 can not be played !"), 5000);
        QTRY_COMPARE(stopped.count(), 1);
        // No time is true after an error.
        QVERIFY(error.count() == 1 && !p->isPlaying() && (dlg->timeLabel->text() + dlg->durationLabel->text()).isEmpty());
        for (const char *bar : { "seekBar", "controlBar" })
            for (QWidget *control : TestSupport::Find(dlg.get(), bar)->findChildren<QWidget *>())
                QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    }

    // A left click beside the handle jumps there at once; a drag on the handle and other buttons are left to QSlider.
    void sliderPress_data()
    {
        QTest::addColumn<int>("button"); QTest::addColumn<bool>("onHandle"); QTest::addColumn<QString>("signalLog");
        QTest::newRow("left beside the handle") << int(Qt::LeftButton) << false << "value(V) moved(V) pressed";
        QTest::newRow("drag on the handle") << int(Qt::LeftButton) << true << "pressed moved(V) value(V) released";
        QTest::newRow("right button") << int(Qt::RightButton) << false << "";
    }

    void sliderPress()
    {
        QFETCH(int, button); QFETCH(bool, onHandle); QFETCH(QString, signalLog);
        const auto b = Qt::MouseButton(button);
        AVSlider slider;
        slider.setRange(0, 1000);
        slider.setValue(300);
        slider.setFixedSize(300, 24);
        slider.show();
        QStringList log;
        connect(&slider, &QSlider::sliderPressed, this, [&log] { log << "pressed"; });
        connect(&slider, &QSlider::sliderReleased, this, [&log] { log << "released"; });
        connect(&slider, &QSlider::sliderMoved, this, [&log](int v) { log << QStringLiteral("moved(%1)").arg(v); });
        connect(&slider, &QSlider::valueChanged, this, [&log](int v) { log << QStringLiteral("value(%1)").arg(v); });
        const QPoint at = onHandle ? StyleOptionAccess::HandleRect(&slider).center() : QPoint(220, 12);
        const QPoint to = at + QPoint(onHandle ? 60 : 0, 0);
        Send(&slider, QEvent::MouseButtonPress, at, b, b);
        QCOMPARE(slider.isSliderDown(), onHandle);
        Send(&slider, QEvent::MouseMove, to, Qt::NoButton, b);
        Send(&slider, QEvent::MouseButtonRelease, to, b, Qt::NoButton);
        QVERIFY(!slider.isSliderDown());
        QCOMPARE(log.join(' '), signalLog.replace('V', QString::number(slider.value())));
        // Whatever moved the handle left it under the cursor.
        const int centre = StyleOptionAccess::HandleRect(&slider).center().x();
        QVERIFY2(log.isEmpty() || qAbs(centre - to.x()) <= 1, qPrintable(QStringLiteral("handle centre %1").arg(centre)));
    }

    // Rows with the key "WxH" read width and height from the report and join them.
    void probeRules_data()
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
        QTest::newRow("size known") << QByteArray("width=1280\nheight=720\n") << "WxH" << "1280x720";
        QTest::newRow("width N/A") << QByteArray("width=N/A\nheight=720\n") << "WxH" << "before";
        QTest::newRow("height N/A") << QByteArray("width=1280\nheight=N/A\n") << "WxH" << "before";
        QTest::newRow("width missing") << QByteArray("height=720\n") << "WxH" << "before";
        QTest::newRow("height missing") << QByteArray("width=1280\n") << "WxH" << "before";
    }

    void probeRules()
    {
        QFETCH(QByteArray, output); QFETCH(QString, key); QFETCH(QString, value);
        QString out = QStringLiteral("before"), width, height;
        bool found = false;
        if (key == QLatin1String("WxH")) {
            ParseFFPROBEOutput(output, QStringLiteral("width"), width);
            ParseFFPROBEOutput(output, QStringLiteral("height"), height);
            found = MakeResolution(width, height, out);
        } else {
            found = ParseFFPROBEOutput(output, key, out);
        }
        QCOMPARE(found, value != QLatin1String("before"));
        QCOMPARE(out, value);
    }

    // The real probe on a report larger than a pipe's buffer, and without the filter program on the path.
    void probeRuns()
    {
        QString size;
        GetResolution(fixture.path("many-streams.mkv"), size);
        QCOMPARE(size, QStringLiteral("320x240"));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(fixture.path("config")));
        size = QStringLiteral("untouched");
        GetResolution(fixture.path("anim.gif"), size);
        qputenv("PATH", path);
        QCOMPARE(size, QStringLiteral("untouched"));
    }
};

QTEST_MAIN(TestPlayer)
#include "test_player.moc"
