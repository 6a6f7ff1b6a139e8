#include "player/avplayerdlg.h"
#include "player/mpvplayer.h"
#include "player/mpvvideowidget.h"
#include "testsupport.h"

namespace {

class PlayerDlg : public AVPlayerDlg
{
public:
    using AVPlayerDlg::AVPlayerDlg;
    using AVPlayerDlg::player;
    using AVPlayerDlg::renderer;
};

// Share of the image's pixels within a small distance of `colour`.
double Share(const QImage &image, QColor colour)
{
    qint64 near = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            const int d = qAbs(qRed(px) - colour.red()) + qAbs(qGreen(px) - colour.green())
                + qAbs(qBlue(px) - colour.blue());
            near += d < 90 ? 1 : 0;
        }
    }
    return double(near) / (double(image.width()) * image.height());
}

} // namespace

class TestPlayerFrames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void testPatternReachesTheVideoArea_data();
    void testPatternReachesTheVideoArea();

private:
    TestSupport::Fixture fixture;
    QImage frame;
};

void TestPlayerFrames::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(MpvVideoWidget::IsRenderingPossible(), "no OpenGL context on this display");
    const QString clip = TestSupport::Clip(4.0, "320x240", "mp4", false);

    PlayerDlg dlg(clip, nullptr);
    QSignalSpy started(dlg.player.data(), &MpvPlayer::started);
    QSignalSpy positions(dlg.player.data(), &MpvPlayer::positionChanged);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(started.wait(5000));
    QVERIFY(dlg.player->rendersVideo());
    QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty() && positions.last().at(0).toLongLong() > 500, 5000);
    frame = dlg.renderer->grabFrame().convertToFormat(QImage::Format_RGB32);
    QVERIFY(!frame.isNull());
}

void TestPlayerFrames::testPatternReachesTheVideoArea_data()
{
    QTest::addColumn<QColor>("colour");
    for (const char *name : { "red", "lime", "blue", "yellow", "cyan", "magenta" })
        QTest::newRow(name) << QColor(name);
}

void TestPlayerFrames::testPatternReachesTheVideoArea()
{
    QFETCH(QColor, colour);
    // Each bar of the pattern covers several percent of the picture.
    const double share = Share(frame, colour);
    QVERIFY2(share > 0.02, qPrintable(QString::number(share)));
}

QTEST_MAIN(TestPlayerFrames)
#include "test_playerframes.moc"
