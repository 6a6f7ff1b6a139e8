#include "player/avplayerdlg.h"

#include "player/avslider.h"
#include "player/mpvvideowidget.h"
#include "convert/streamprobe.h"

#include <QDebug>
#include <QEventLoop>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QSpacerItem>
#include <QStyle>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

// Closing must never hang on a player that does not report its stop.
constexpr int kStopWaitMs = 5000;

QString TimeText(qint64 ms)
{
    return QTime(0, 0, 0, 0).addMSecs(static_cast<int>(ms)).toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

AVPlayerDlg::AVPlayerDlg(const QString &file, QWidget *parent)
    : QDialog(parent, Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
    , file(file)
{
    codecID = KRVAVCodec(file).id;
    const QFileInfo fileInfo(file);

    renderer = new MpvVideoWidget();
    renderer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    renderer->setMinimumHeight(480);
    player.reset(new MpvPlayer());
    player->setRenderer(renderer);

    BuildSeekBar();
    BuildControlBar();

    mainLayout = new QVBoxLayout();
    mainLayout->addWidget(renderer);
    mainLayout->addWidget(seekBar);
    mainLayout->addWidget(controlBar);
    setLayout(mainLayout);

    ConnectSignals();

    QString title = tr("Play") + tr(" - ") + fileInfo.fileName();
    QString res;
    GetResolution(file, res);
    if (!res.isEmpty())
        title += QStringLiteral(" (") + res + QStringLiteral(")");
    setWindowTitle(title);

    setSizeGripEnabled(true);
    setMinimumSize(770, 580);
    resize(770, 580);

    player->play(file);
}

void AVPlayerDlg::BuildSeekBar()
{
    seekBar = new QWidget(this);
    seekBar->setObjectName(QStringLiteral("seekBar"));
    seekBar->setContentsMargins(0, 0, 0, 0);
    seekLayout = new QHBoxLayout(seekBar);
    seekLayout->setContentsMargins(0, 0, 0, 0);
    seekSlider = new AVSlider(seekBar);
    seekSlider->setObjectName(QStringLiteral("seekSlider"));
    seekSlider->setOrientation(Qt::Horizontal);
    seekSlider->setValue(0);
    seekSlider->setEnabled(codecID != KRVAVCodecID_GIF);
    timeLabel = new QLabel(seekBar);
    timeLabel->setObjectName(QStringLiteral("timeLabel"));
    durationLabel = new QLabel(seekBar);
    durationLabel->setObjectName(QStringLiteral("durationLabel"));
    seekLayout->addWidget(timeLabel);
    seekLayout->addWidget(seekSlider);
    seekLayout->addWidget(durationLabel);
}

void AVPlayerDlg::BuildControlBar()
{
    const int iconSide = style()->pixelMetric(QStyle::PM_ToolBarIconSize);
    const QSize iconSize(iconSide, iconSide);
    const int volumeLabelWidth = QFontMetrics(QFont()).horizontalAdvance(tr("100%"));

    controlBar = new QWidget(this);
    controlBar->setObjectName(QStringLiteral("controlBar"));
    controlBar->setContentsMargins(0, 0, 0, 0);
    controlLayout = new QHBoxLayout(controlBar);
    controlLayout->setContentsMargins(0, 0, 0, 0);
    playBtn = new QToolButton(controlBar);
    playBtn->setObjectName(QStringLiteral("playBtn"));
    playBtn->setIcon(QIcon(QStringLiteral(":IMG_PLAY")));
    playBtn->setIconSize(iconSize);
    playBtn->setShortcut(QKeySequence(tr("SPACE"), QKeySequence::NativeText));
    stopBtn = new QToolButton(controlBar);
    stopBtn->setObjectName(QStringLiteral("stopBtn"));
    stopBtn->setIcon(QIcon(QStringLiteral(":IMG_STOP")));
    stopBtn->setIconSize(iconSize);
    volumeBtn = new QToolButton(controlBar);
    volumeBtn->setObjectName(QStringLiteral("volumeBtn"));
    volumeBtn->setIcon(QIcon(QStringLiteral(":IMG_VOLUME")));
    volumeBtn->setIconSize(iconSize);
    volumeSlider = new AVSlider(controlBar);
    volumeSlider->setObjectName(QStringLiteral("volumeSlider"));
    volumeSlider->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Maximum);
    volumeSlider->setOrientation(Qt::Horizontal);
    volumeSlider->setRange(0, 20);
    volumeSlider->setValue(20);
    volumeLabel = new QLabel(controlBar);
    volumeLabel->setObjectName(QStringLiteral("volumeLabel"));
    volumeLabel->setMinimumWidth(volumeLabelWidth);
    volumeLabel->setText(QString::number(1, 10));
    controlSpacer = new QSpacerItem(1, 0, QSizePolicy::Expanding, QSizePolicy::Minimum);
    controlLayout->addWidget(playBtn);
    controlLayout->addWidget(stopBtn);
    controlLayout->addSpacerItem(controlSpacer);
    controlLayout->addWidget(volumeBtn);
    controlLayout->addWidget(volumeSlider);
    controlLayout->addWidget(volumeLabel);
}

void AVPlayerDlg::ConnectSignals()
{
    connect(seekSlider, &AVSlider::sliderPressed, this, &AVPlayerDlg::Seek);
    connect(seekSlider, &AVSlider::sliderReleased, this, &AVPlayerDlg::Seek);
    connect(seekSlider, &AVSlider::sliderHovered, this, &AVPlayerDlg::PlaySliderHovered);
    connect(playBtn, &QToolButton::clicked, this, &AVPlayerDlg::PlayOrPause);
    connect(stopBtn, &QToolButton::clicked, this, &AVPlayerDlg::Stop);
    connect(volumeBtn, &QToolButton::clicked, this, &AVPlayerDlg::Mute);
    connect(volumeSlider, &AVSlider::valueChanged, this, &AVPlayerDlg::SetVolume);
    connect(player.data(), &MpvPlayer::started, this, &AVPlayerDlg::PlayStarted);
    connect(player.data(), &MpvPlayer::positionChanged, this, &AVPlayerDlg::PlayPositionChanged);
    connect(player.data(), &MpvPlayer::stopped, this, &AVPlayerDlg::PlayStopped);
    connect(player.data(), &MpvPlayer::error, this, &AVPlayerDlg::PlayError);
}

AVPlayerDlg::~AVPlayerDlg()
{
    if (player && player->isPlaying()) {
        QEventLoop loop;
        connect(player.data(), &MpvPlayer::stopped, &loop, &QEventLoop::quit);
        QTimer::singleShot(kStopWaitMs, &loop, &QEventLoop::quit);
        // Cleared first: a flag left over from an earlier stop must not skip this wait.
        stoppedFlag = false;
        player->stop();
        if (!stoppedFlag)
            loop.exec();
    }
    if (player)
        player->clearVideoRenderers();
    player.reset();
}

void AVPlayerDlg::PlayOrPause()
{
    if (codecID != KRVAVCodecID_GIF)
        seekSlider->setEnabled(true);
    if (!player->isPlaying()) {
        playBtn->setIcon(QIcon(QStringLiteral(":IMG_PAUSE")));
        player->play();
        player->seek(0);
    } else {
        playBtn->setIcon(QIcon(player->isPaused() ? QStringLiteral(":IMG_PAUSE") : QStringLiteral(":IMG_PLAY")));
        player->pause(!player->isPaused());
    }
}

void AVPlayerDlg::Stop()
{
    if (!player->isPlaying())
        return;
    player->stop();
    if (player->isPlaying())
        playBtn->setIcon(QIcon(QStringLiteral(":IMG_PLAY")));
}

void AVPlayerDlg::Seek()
{
    player->seek(static_cast<qint64>(seekSlider->value()));
}

void AVPlayerDlg::SetVolume(int)
{
    const qreal factor = volumeSlider->value() * 0.05;
    if (MpvPlayer::AudioOutput *output = player->audio())
        output->setVolume(factor);
    const QString text = QString::number(factor, 'g', 6);
    volumeSlider->setToolTip(text);
    volumeBtn->setToolTip(text);
    volumeLabel->setText(text);
}

void AVPlayerDlg::Mute()
{
    player->setMute(!player->isMute());
    volumeBtn->setIcon(QIcon(player->isMute() ? QStringLiteral(":IMG_MUTE") : QStringLiteral(":IMG_VOLUME")));
}

void AVPlayerDlg::PlayStarted()
{
    stoppedFlag = false;
    if (codecID != KRVAVCodecID_GIF) {
        seekSlider->setEnabled(true);
        seekSlider->setMinimum(static_cast<int>(player->mediaStartPosition()));
        seekSlider->setMaximum(static_cast<int>(player->mediaStopPosition()));
        seekSlider->setValue(0);
    }
    timeLabel->setText(TimeText(player->mediaStartPosition()));
    durationLabel->setText(TimeText(player->mediaStopPosition()));
    playBtn->setIcon(QIcon(QStringLiteral(":IMG_PAUSE")));
}

void AVPlayerDlg::PlayPositionChanged(qint64 pos)
{
    if (!seekSlider->isEnabled())
        return;
    seekSlider->setValue(static_cast<int>(pos));
    timeLabel->setText(TimeText(pos));
}

void AVPlayerDlg::PlaySliderHovered(int pos, int value)
{
    if (codecID == KRVAVCodecID_GIF)
        return;
    const QPoint point(seekSlider->x() + pos, seekSlider->y());
    QToolTip::showText(seekBar->mapToGlobal(point), TimeText(value));
}

void AVPlayerDlg::PlayStopped()
{
    stoppedFlag = true;
    playBtn->setIcon(QIcon(QStringLiteral(":IMG_PLAY")));
    seekSlider->setValue(0);
    seekSlider->setEnabled(false);
    // After an error no time is true; the empty labels say so.
    const QString time = failedFlag ? QString() : QStringLiteral("00:00:00");
    timeLabel->setText(time);
    durationLabel->setText(time);
    player->stop();
}

void AVPlayerDlg::PlayError(MpvError error)
{
    Q_UNUSED(error)
    qDebug().noquote() << QStringLiteral("AVPlayerDlg::PlayError");
    failedFlag = true;
    timeLabel->clear();
    durationLabel->clear();
    player->stop();
    setWindowTitle(QFileInfo(file).fileName() + QStringLiteral(" can not be played !"));
    timeLabel->setEnabled(false);
    durationLabel->setEnabled(false);
    playBtn->setEnabled(false);
    stopBtn->setEnabled(false);
    seekSlider->setEnabled(false);
    volumeBtn->setEnabled(false);
    volumeSlider->setEnabled(false);
    volumeLabel->setEnabled(false);
}

void AVPlayerDlg::GetFFPROBEOutput(QString sSourceFile, QString sPara, QString &sOutput)
{
    ::GetFFPROBEOutput(sSourceFile, sPara, sOutput);
}

void AVPlayerDlg::GetResolution(QString sSourceFile, QString &sResolutionWidthXHeight)
{
    ::GetResolution(sSourceFile, sResolutionWidthXHeight);
}
