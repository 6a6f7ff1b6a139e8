#pragma once

#include "krv/av/avcodec.h"
#include "player/mpvplayer.h"

#include <QDialog>
#include <QScopedPointer>
#include <QString>

class AVSlider;
class MpvVideoWidget;
class QHBoxLayout;
class QLabel;
class QSpacerItem;
class QToolButton;
class QVBoxLayout;

// The modal preview window: plays one media file with a seek row and a control row.
class AVPlayerDlg : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(AVPlayerDlg)

public:
    AVPlayerDlg(const QString &file, QWidget *parent);
    ~AVPlayerDlg() override;

protected slots:
    void PlayOrPause();
    void Stop();
    void Seek();
    void SetVolume(int);
    void Mute();
    void PlayStarted();
    void PlayPositionChanged(qint64 pos);
    void PlaySliderHovered(int, int);
    void PlayStopped();
    void PlayError(MpvError error);
    void GetFFPROBEOutput(QString sSourceFile, QString sPara, QString &sOutput);
    void GetResolution(QString sSourceFile, QString &sResolutionWidthXHeight);

protected:
    // A copy, so a caller's temporary cannot leave the dialog with a dangling path.
    const QString file;
    KRVAVCodecID codecID = KRVAVCodecID_None;
    MpvVideoWidget *renderer = nullptr;
    QScopedPointer<MpvPlayer> player;
    QWidget *seekBar = nullptr;
    QHBoxLayout *seekLayout = nullptr;
    AVSlider *seekSlider = nullptr;
    QLabel *timeLabel = nullptr;
    QLabel *durationLabel = nullptr;
    QWidget *controlBar = nullptr;
    QHBoxLayout *controlLayout = nullptr;
    QToolButton *playBtn = nullptr;
    QToolButton *stopBtn = nullptr;
    QSpacerItem *controlSpacer = nullptr;
    QToolButton *volumeBtn = nullptr;
    AVSlider *volumeSlider = nullptr;
    QLabel *volumeLabel = nullptr;
    QVBoxLayout *mainLayout = nullptr;
    bool stoppedFlag = false;
    // Set by an error, which ends the dialog's use: nothing clears it.
    bool failedFlag = false;

private:
    void BuildSeekBar();
    void BuildControlBar();
    void ConnectSignals();
};
