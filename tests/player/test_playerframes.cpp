#include "player/avplayerdlg.h"
#include "player/mpvplayer.h"
#include "player/mpvvideowidget.h"
#include "testsupport.h"

struct PlayerDlg : AVPlayerDlg
{
    using AVPlayerDlg::AVPlayerDlg;
    using AVPlayerDlg::player, AVPlayerDlg::renderer, AVPlayerDlg::playBtn, AVPlayerDlg::timeLabel;
};

// Real pictures on a display with OpenGL, and sound where no device can be opened.
class TestPlayerFrames : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    QImage frame;

private slots:
    void initTestCase()
    {
        // No sound server and no ALSA device, whatever this machine has.
        const QString none = fixture.path("none");
        QVERIFY(TestSupport::WriteBytes(none, QByteArray()));
        qputenv("PULSE_SERVER", QFile::encodeName("unix:" + none));
        qputenv("PIPEWIRE_REMOTE", QFile::encodeName(none));
        qputenv("ALSA_CONFIG_PATH", QFile::encodeName(none));
        QVERIFY2(MpvVideoWidget::IsRenderingPossible(), "no OpenGL context on this display");

        PlayerDlg dlg(TestSupport::Clip(4.0, "320x240", "mp4", false), nullptr);
        QSignalSpy started(dlg.player.data(), &MpvPlayer::started), positions(dlg.player.data(), &MpvPlayer::positionChanged);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg) && started.wait(5000) && dlg.player->rendersVideo());
        QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty() && positions.last().at(0).toLongLong() > 500, 5000);
        frame = dlg.renderer->grabFrame().convertToFormat(QImage::Format_RGB32);
    }

    void testPatternReachesTheVideoArea_data()
    {
        QTest::addColumn<QColor>("colour");
        for (const char *name : { "red", "lime", "blue", "yellow", "cyan", "magenta" })
            QTest::newRow(name) << QColor(name);
    }

    void testPatternReachesTheVideoArea()
    {
        QFETCH(QColor, colour);
        const auto *px = reinterpret_cast<const QRgb *>(frame.constBits()); // 32-bit rows have no padding
        const qint64 near = std::count_if(px, px + frame.width() * frame.height(), [&colour](QRgb c) {
            return qAbs(qRed(c) - colour.red()) + qAbs(qGreen(c) - colour.green()) + qAbs(qBlue(c) - colour.blue()) < 90;
        });
        // Each bar of the pattern covers several percent of the picture.
        QVERIFY2(near * 50 > frame.width() * frame.height(), qPrintable(QString::number(near)));
    }

    // A video with sound and an MP3, each played to its end twice: the end leaves it ready to play again.
    void soundWithoutDeviceToTheEnd()
    {
        for (const char *ext : { "mp4", "mp3" }) {
            PlayerDlg dlg(TestSupport::Clip(1.5, "160x120", ext), nullptr);
            QSignalSpy started(dlg.player.data(), &MpvPlayer::started), stopped(dlg.player.data(), &MpvPlayer::stopped),
                error(dlg.player.data(), &MpvPlayer::error);
            dlg.show();
            for (int run = 0; run < 2; ++run) {
                QVERIFY2(started.wait(5000) && stopped.wait(5000) && error.isEmpty(), ext);
                QVERIFY(dlg.timeLabel->text() == "00:00:00" && dlg.playBtn->isEnabled());
                QTest::mouseClick(dlg.playBtn, Qt::LeftButton);
            }
        }
    }
};

QTEST_MAIN(TestPlayerFrames)
#include "test_playerframes.moc"
