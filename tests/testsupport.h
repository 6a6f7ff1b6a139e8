#pragma once

// Shared helpers for the test executables: isolated user folders, generated
// media, the helper programs laid out beside the executables, and a closer
// for modal dialogs.

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace TestSupport {

// Points the settings store and the XDG user folders at `root`, so nothing a
// test does can reach the real user's configuration or folders. Call before
// the first QSettings is opened.
inline void IsolateUserDirs(const QString &root)
{
    const QStringList names = { "config", "data", "cache", "Downloads", "Videos", "Pictures", "Desktop" };
    for (const QString &name : names)
        QDir(root).mkpath(name);
    qputenv("HOME", QFile::encodeName(root));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(root + "/cache"));
    QFile dirs(root + "/config/user-dirs.dirs");
    if (dirs.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        dirs.write("XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                   "XDG_VIDEOS_DIR=\"$HOME/Videos\"\n"
                   "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n"
                   "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root + "/config");
}

// Wipes the program's two settings stores inside the isolated folders.
inline void ClearSettings()
{
    QSettings(QStringLiteral("Korvent"), QStringLiteral("Reelway")).clear();
    QSettings(QStringLiteral("Korvent"), QStringLiteral("Plugins")).clear();
}

inline QString AppDir()
{
    return QCoreApplication::applicationDirPath();
}

inline QString FfmpegPath()
{
    return QDir(AppDir()).absoluteFilePath(QStringLiteral("multimedia/ffmpeg/ffmpeg"));
}

inline QString FfprobePath()
{
    return QDir(AppDir()).absoluteFilePath(QStringLiteral("multimedia/ffmpeg/ffprobe"));
}

// Runs the transcoder with `args` and answers whether it succeeded.
inline bool RunFfmpeg(const QStringList &args, int timeoutMs = 120000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(FfmpegPath(), QStringList{ "-v", "error", "-nostdin", "-y" } + args);
    if (!p.waitForFinished(timeoutMs))
        return false;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("ffmpeg failed: %s", p.readAll().constData());
        return false;
    }
    return true;
}

// A clip with a test pattern and a sine tone, written to `path`.
inline bool MakeClip(const QString &path, double seconds = 1.0, const QString &size = QStringLiteral("320x240"),
                     bool withAudio = true, int rate = 25)
{
    QStringList args = { "-f", "lavfi", "-i",
                         QStringLiteral("testsrc=duration=%1:size=%2:rate=%3").arg(seconds).arg(size).arg(rate) };
    if (withAudio)
        args << "-f" << "lavfi" << "-i" << QStringLiteral("sine=frequency=440:duration=%1").arg(seconds);
    args << "-pix_fmt" << "yuv420p" << "-shortest" << path;
    return RunFfmpeg(args);
}

inline bool MakeTone(const QString &path, double seconds = 1.0)
{
    return RunFfmpeg({ "-f", "lavfi", "-i", QStringLiteral("sine=frequency=440:duration=%1").arg(seconds), path });
}

inline bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// ffprobe's key=value lines for the streams of `path`; empty when it cannot read it.
inline QString ProbeStreams(const QString &path)
{
    QProcess p;
    p.start(FfprobePath(), { "-v", "error", "-show_streams", path });
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline QString ProbeValue(const QString &probeOutput, const QString &key)
{
    for (const QString &line : probeOutput.split('\n')) {
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1).trimmed();
    }
    return QString();
}

// Answers "WxH" of the first video stream, or an empty string.
inline QString ProbeSize(const QString &path)
{
    const QString out = ProbeStreams(path);
    const QString w = ProbeValue(out, "width");
    const QString h = ProbeValue(out, "height");
    return w.isEmpty() || h.isEmpty() ? QString() : w + 'x' + h;
}

// Schedules `action` on the first visible modal widget of class T (or any
// top-level T) once it appears, polling for up to `timeoutMs`. The returned
// flag tells whether it was found; a test must QVERIFY it after the exec().
template <typename T>
class ModalCloser
{
public:
    explicit ModalCloser(std::function<void(T *)> action, int timeoutMs = 10000)
        : m_action(std::move(action)), m_deadline(timeoutMs)
    {
        poll();
    }
    bool found() const { return *m_found; }

private:
    void poll()
    {
        auto found = m_found;
        auto action = m_action;
        auto remaining = std::make_shared<int>(m_deadline);
        auto tick = std::make_shared<std::function<void()>>();
        *tick = [found, action, remaining, tick]() {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (T *t = qobject_cast<T *>(w)) {
                    if (t->isVisible()) {
                        *found = true;
                        action(t);
                        *tick = nullptr;
                        return;
                    }
                }
            }
            *remaining -= 20;
            if (*remaining <= 0) {
                *tick = nullptr;
                return;
            }
            QTimer::singleShot(20, [tick]() { if (*tick) (*tick)(); });
        };
        QTimer::singleShot(0, [tick]() { if (*tick) (*tick)(); });
    }

    std::function<void(T *)> m_action;
    int m_deadline;
    std::shared_ptr<bool> m_found = std::make_shared<bool>(false);
};

} // namespace TestSupport
