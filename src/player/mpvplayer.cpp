#include "player/mpvplayer.h"

#include "player/mpvvideowidget.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <mpv/client.h>

#include <clocale>
#include <cmath>

namespace {

enum ReplyTag : quint64 {
    kTimePos = 1,
    kDuration = 2,
    kDurationReply = 3,
};

// A renderer that has not produced a GL context by then (never shown, or its
// context failed) is given up for this file, which then plays without pictures.
constexpr int kRendererWaitMs = 5000;
// Only a core that stopped answering could need this; stopped() must come anyway.
constexpr int kStopGuardMs = 3000;
// loadfile did not name the playlist entry it made: the next file to start is ours.
constexpr qint64 kUnknownEntry = -2;

void SetOption(mpv_handle *mpv, const char *name, const char *value)
{
    // Options this libmpv build does not know (osc without Lua) are simply skipped.
    mpv_set_option_string(mpv, name, value);
}

// Stops are synchronous: libmpv lets a synchronous request overtake queued
// asynchronous ones, so a late "stop" could otherwise end the file loaded after it.
void StopCore(mpv_handle *mpv)
{
    const char *args[] = { "stop", nullptr };
    mpv_command(mpv, args);
}

} // namespace

void MpvPlayer::AudioOutput::setVolume(qreal volume)
{
    double level = volume * 100.0;
    mpv_set_property(mpv, "volume", MPV_FORMAT_DOUBLE, &level);
}

qreal MpvPlayer::AudioOutput::volume() const
{
    double level = 0.0;
    if (mpv_get_property(mpv, "volume", MPV_FORMAT_DOUBLE, &level) < 0)
        return 0.0;
    return level / 100.0;
}

MpvPlayer::MpvPlayer(QObject *parent)
    : QObject(parent)
    , rendererWait(new QTimer(this))
    , stopGuard(new QTimer(this))
{
    qRegisterMetaType<MpvError>("MpvError");
    rendererWait->setSingleShot(true);
    rendererWait->setInterval(kRendererWaitMs);
    connect(rendererWait, &QTimer::timeout, this, [this] {
        if (state == State::WaitingForRenderer)
            load(false);
    });
    stopGuard->setSingleShot(true);
    stopGuard->setInterval(kStopGuardMs);
    connect(stopGuard, &QTimer::timeout, this, [this] {
        if (state == State::Stopping)
            finishStop();
    });

    nullOutputs = !MpvVideoWidget::IsRenderingPossible();

    // libmpv refuses to start unless numbers are formatted the C way.
    std::setlocale(LC_NUMERIC, "C");
    mpv = mpv_create();
    if (!mpv)
        return;
    SetOption(mpv, "vo", nullOutputs ? "null" : "libmpv");
    if (nullOutputs)
        SetOption(mpv, "ao", "null");
    // Without a sound device a file with sound would fail at its end, and a file
    // with sound only at once; the pictures and the controls matter more.
    SetOption(mpv, "audio-fallback-to-null", "yes");
    SetOption(mpv, "idle", "yes");
    SetOption(mpv, "keep-open", "no");
    SetOption(mpv, "pause", "no");
    SetOption(mpv, "hwdec", "no");
    SetOption(mpv, "gpu-hwdec-interop", "no");
    SetOption(mpv, "ytdl", "no");
    SetOption(mpv, "load-scripts", "no");
    SetOption(mpv, "osc", "no");
    SetOption(mpv, "input-default-bindings", "no");
    SetOption(mpv, "input-vo-keyboard", "no");
    SetOption(mpv, "audio-display", "no");
    SetOption(mpv, "resume-playback", "no");
    SetOption(mpv, "save-position-on-quit", "no");
    SetOption(mpv, "audio-client-name", "Reelway");
    if (mpv_initialize(mpv) < 0) {
        mpv_terminate_destroy(mpv);
        mpv = nullptr;
        return;
    }
    videoEnabled = !nullOutputs;
    mpv_observe_property(mpv, kTimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv, kDuration, "duration", MPV_FORMAT_DOUBLE);
    audioOutput.reset(new AudioOutput(mpv));
    mpv_set_wakeup_callback(mpv, &MpvPlayer::Wakeup, this);
}

MpvPlayer::~MpvPlayer()
{
    // The render context must be gone before the core is destroyed.
    clearVideoRenderers();
    if (mpv) {
        mpv_set_wakeup_callback(mpv, nullptr, nullptr);
        mpv_terminate_destroy(mpv);
    }
}

void MpvPlayer::setRenderer(MpvVideoWidget *widget)
{
    if (widget == renderer)
        return;
    clearVideoRenderers();
    renderer = widget;
    if (!renderer || !mpv || nullOutputs)
        return;
    connect(renderer, &MpvVideoWidget::renderContextCreated, this, &MpvPlayer::onRendererReady);
    renderer->attach(mpv);
}

void MpvPlayer::clearVideoRenderers()
{
    if (!renderer)
        return;
    disconnect(renderer, nullptr, this, nullptr);
    renderer->detach();
    renderer = nullptr;
}

bool MpvPlayer::rendersVideo() const
{
    return renderer && renderer->hasRenderContext() && videoEnabled;
}

bool MpvPlayer::play(const QString &file)
{
    currentFile = file;
    play();
    return mpv != nullptr;
}

void MpvPlayer::play()
{
    if (currentFile.isEmpty())
        return;
    if (state != State::Stopped || stopOwed) {
        // The run before ends here; its own end event is ignored when it comes.
        state = State::Stopped;
        entryId = -1;
        QPointer<MpvPlayer> self(this);
        finishStop();
        if (!self || state != State::Stopped)
            return;
    }
    pendingSeekMs = -1;
    durationMs = 0;
    paused = false;
    if (!mpv) {
        failLater(MPV_ERROR_UNINITIALIZED);
        return;
    }
    int no = 0;
    mpv_set_property(mpv, "pause", MPV_FORMAT_FLAG, &no);
    if (waitsForRenderer()) {
        // vo=libmpv cannot start before the widget has its GL context.
        state = State::WaitingForRenderer;
        rendererWait->start();
        return;
    }
    load(canRenderNow());
}

void MpvPlayer::pause(bool p)
{
    if (state != State::Loading && state != State::Playing && state != State::WaitingForRenderer)
        return;
    paused = p;
    int flag = p ? 1 : 0;
    mpv_set_property(mpv, "pause", MPV_FORMAT_FLAG, &flag);
}

void MpvPlayer::stop()
{
    switch (state) {
    case State::Stopped:
    case State::Stopping:
        return;
    case State::WaitingForRenderer:
        rendererWait->stop();
        state = State::Stopped;
        entryId = -1;
        finishStop();
        return;
    case State::Loading:
    case State::Playing:
        StopCore(mpv);
        if (startedEntryId != entryId) {
            // Stopped before the core began our entry: it will neither start nor end.
            state = State::Stopped;
            entryId = -1;
            finishStop();
            return;
        }
        state = State::Stopping;
        stopGuard->start();
        return;
    }
}

bool MpvPlayer::seek(qint64 ms)
{
    switch (state) {
    case State::Playing: {
        const QByteArray seconds = QByteArray::number(double(ms) / 1000.0, 'f', 3);
        const char *args[] = { "seek", seconds.constData(), "absolute", nullptr };
        mpv_command_async(mpv, 0, args);
        return true;
    }
    case State::WaitingForRenderer:
    case State::Loading:
        pendingSeekMs = ms;
        return true;
    case State::Stopped:
    case State::Stopping:
        break;
    }
    return false;
}

bool MpvPlayer::isPlaying() const
{
    return state == State::WaitingForRenderer || state == State::Loading || state == State::Playing;
}

bool MpvPlayer::isPaused() const
{
    return isPlaying() && paused;
}

bool MpvPlayer::isMute() const
{
    return muted;
}

void MpvPlayer::setMute(bool mute)
{
    muted = mute;
    if (!mpv)
        return;
    int flag = mute ? 1 : 0;
    mpv_set_property(mpv, "mute", MPV_FORMAT_FLAG, &flag);
}

MpvPlayer::AudioOutput *MpvPlayer::audio() const
{
    return audioOutput.get();
}

qint64 MpvPlayer::mediaStartPosition() const
{
    // mpv rebases every timestamp on the media's start time.
    return 0;
}

qint64 MpvPlayer::mediaStopPosition() const
{
    return durationMs;
}

void MpvPlayer::Wakeup(void *context)
{
    // Runs on a libmpv thread: it may only queue work for the GUI thread.
    auto *self = static_cast<MpvPlayer *>(context);
    if (!self->eventsQueued.exchange(true))
        QMetaObject::invokeMethod(self, &MpvPlayer::processEvents, Qt::QueuedConnection);
}

void MpvPlayer::processEvents()
{
    eventsQueued = false;
    QPointer<MpvPlayer> self(this);
    while (self && mpv) {
        // The event is only valid until the next mpv_wait_event, which a slot
        // running a nested event loop may cause; so copy before emitting anything.
        const mpv_event *event = mpv_wait_event(mpv, 0);
        switch (event->event_id) {
        case MPV_EVENT_NONE:
            return;
        case MPV_EVENT_START_FILE:
            onStartFile(static_cast<const mpv_event_start_file *>(event->data)->playlist_entry_id);
            break;
        case MPV_EVENT_FILE_LOADED:
            onFileLoaded();
            break;
        case MPV_EVENT_GET_PROPERTY_REPLY:
            if (event->reply_userdata == kDurationReply) {
                const auto *property = static_cast<const mpv_event_property *>(event->data);
                const bool known = event->error >= 0 && property->format == MPV_FORMAT_DOUBLE;
                onDuration(known ? std::llround(*static_cast<const double *>(property->data) * 1000.0) : 0);
            }
            break;
        case MPV_EVENT_END_FILE: {
            const auto *end = static_cast<const mpv_event_end_file *>(event->data);
            onEndFile(end->reason, end->error, end->playlist_entry_id, end->playlist_insert_id,
                      end->playlist_insert_num_entries);
            break;
        }
        case MPV_EVENT_PROPERTY_CHANGE: {
            const auto *property = static_cast<const mpv_event_property *>(event->data);
            if (property->format != MPV_FORMAT_DOUBLE)
                break;
            const qint64 ms = std::llround(*static_cast<const double *>(property->data) * 1000.0);
            if (event->reply_userdata == kDuration && state == State::Playing)
                durationMs = ms;
            else if (event->reply_userdata == kTimePos && state == State::Playing)
                emit positionChanged(ms);
            break;
        }
        case MPV_EVENT_SHUTDOWN:
            return;
        default:
            break;
        }
    }
}

void MpvPlayer::onStartFile(qint64 id)
{
    if (entryId == kUnknownEntry && state == State::Loading)
        entryId = id;
    startedEntryId = id;
}

void MpvPlayer::onFileLoaded()
{
    if (state != State::Loading || startedEntryId != entryId)
        return;
    // Asked asynchronously: with vo=libmpv the core now sets up video and waits for
    // this (the render) thread, so a blocking call here would stall until it times out.
    loadedEntryId = entryId;
    mpv_get_property_async(mpv, kDurationReply, "duration", MPV_FORMAT_DOUBLE);
}

void MpvPlayer::onDuration(qint64 ms)
{
    if (state != State::Loading || loadedEntryId != entryId)
        return;
    state = State::Playing;
    durationMs = ms;
    if (pendingSeekMs >= 0) {
        const qint64 ms = pendingSeekMs;
        pendingSeekMs = -1;
        seek(ms);
    }
    emit started();
}

void MpvPlayer::onEndFile(int reason, int errorCode, qint64 id, qint64 insertId, int insertCount)
{
    if (id != entryId || state == State::Stopped)
        return;
    if (reason == MPV_END_FILE_REASON_REDIRECT && insertCount > 0) {
        entryId = insertId;
        return;
    }
    if (reason != MPV_END_FILE_REASON_STOP && reason != MPV_END_FILE_REASON_QUIT) {
        // A playlist file would go on to its next entry; this player plays one file.
        StopCore(mpv);
    }
    const bool failed = reason == MPV_END_FILE_REASON_ERROR && state != State::Stopping;
    state = State::Stopped;
    entryId = -1;
    stopOwed = true;
    if (failed) {
        QPointer<MpvPlayer> self(this);
        emit error(MpvError { errorCode, QString::fromUtf8(mpv_error_string(errorCode)) });
        if (!self)
            return;
    }
    if (stopOwed)
        finishStop();
}

void MpvPlayer::onRendererReady(bool ok)
{
    if (!ok)
        rendererFailed = true;
    if (state == State::WaitingForRenderer) {
        rendererWait->stop();
        load(canRenderNow());
    }
}

bool MpvPlayer::canRenderNow() const
{
    return !nullOutputs && renderer && renderer->hasRenderContext();
}

bool MpvPlayer::waitsForRenderer() const
{
    return !nullOutputs && renderer && !renderer->hasRenderContext() && !rendererFailed;
}

void MpvPlayer::load(bool withVideo)
{
    if (withVideo != videoEnabled) {
        mpv_set_property_string(mpv, "vo", withVideo ? "libmpv" : "null");
        videoEnabled = withVideo;
    }
    state = State::Loading;
    const QByteArray path = QFile::encodeName(QFileInfo(currentFile).absoluteFilePath());
    const char *args[] = { "loadfile", path.constData(), "replace", nullptr };
    mpv_node result;
    const int rc = mpv_command_ret(mpv, args, &result);
    if (rc < 0) {
        failLater(rc);
        return;
    }
    entryId = kUnknownEntry;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (qstrcmp(result.u.list->keys[i], "playlist_entry_id") == 0 && result.u.list->values[i].format == MPV_FORMAT_INT64)
                entryId = result.u.list->values[i].u.int64;
        }
    }
    mpv_free_node_contents(&result);
}

void MpvPlayer::finishStop()
{
    stopGuard->stop();
    stopOwed = false;
    paused = false;
    emit stopped();
}

void MpvPlayer::failLater(int errorCode)
{
    state = State::Stopped;
    entryId = -1;
    stopOwed = true;
    QTimer::singleShot(0, this, [this, errorCode] {
        emit error(MpvError { errorCode, QString::fromUtf8(mpv_error_string(errorCode)) });
        if (stopOwed)
            finishStop();
    });
}
