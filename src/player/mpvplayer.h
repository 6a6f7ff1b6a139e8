#pragma once

#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <memory>

struct mpv_handle;
class QTimer;
class MpvVideoWidget;

// Why a file could not be played: a libmpv error code and its text.
struct MpvError
{
    int code = 0;
    QString text;
};
Q_DECLARE_METATYPE(MpvError)

// A small media player over libmpv with the operations and signals of the preview
// dialog. Positions are milliseconds from the start of the media. Playing covers
// paused as well; every stop, end of file and error is followed by stopped().
// Without an OpenGL context (offscreen, a display without GL) the player decodes
// with null video and audio outputs and behaves the same otherwise. Where no sound
// device can be opened, sound goes to the null output and the pictures still play.
class MpvPlayer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(MpvPlayer)

public:
    class AudioOutput
    {
    public:
        // 1.0 is the media's own level.
        void setVolume(qreal volume);
        qreal volume() const;

    private:
        friend class MpvPlayer;
        explicit AudioOutput(mpv_handle *handle) : mpv(handle) {}
        mpv_handle *mpv = nullptr;
    };

    explicit MpvPlayer(QObject *parent = nullptr);
    ~MpvPlayer() override;

    void setRenderer(MpvVideoWidget *widget);
    void clearVideoRenderers();
    // Whether pictures reach a renderer; false while playing into null outputs.
    bool rendersVideo() const;

    bool play(const QString &file);
    void play();
    void pause(bool p);
    void stop();
    bool seek(qint64 ms);

    bool isPlaying() const;
    bool isPaused() const;
    bool isMute() const;
    void setMute(bool mute);
    AudioOutput *audio() const;

    qint64 mediaStartPosition() const;
    qint64 mediaStopPosition() const;

signals:
    void started();
    void positionChanged(qint64 position);
    void stopped();
    void error(const MpvError &error);

private:
    enum class State { Stopped, WaitingForRenderer, Loading, Playing, Stopping };

    static void Wakeup(void *context);
    void processEvents();
    void onStartFile(qint64 id);
    void onFileLoaded();
    void onDuration(qint64 ms);
    void onEndFile(int reason, int errorCode, qint64 id, qint64 insertId, int insertCount);
    void onRendererReady(bool ok);
    void load(bool withVideo);
    bool canRenderNow() const;
    bool waitsForRenderer() const;
    void finishStop();
    void failLater(int errorCode);

    mpv_handle *mpv = nullptr;
    std::unique_ptr<AudioOutput> audioOutput;
    QPointer<MpvVideoWidget> renderer;
    QTimer *rendererWait = nullptr;
    QTimer *stopGuard = nullptr;
    QString currentFile;
    State state = State::Stopped;
    qint64 entryId = -1;
    qint64 startedEntryId = -1;
    qint64 loadedEntryId = -1;
    qint64 pendingSeekMs = -1;
    qint64 durationMs = 0;
    bool paused = false;
    bool muted = false;
    bool stopOwed = false;
    bool nullOutputs = false;
    bool rendererFailed = false;
    bool videoEnabled = false;
    std::atomic_bool eventsQueued { false };
};
