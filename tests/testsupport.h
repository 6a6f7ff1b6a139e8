#pragma once

// Shared helpers for the test executables: isolated user folders, generated
// media, the helper programs laid out beside the executables, and a closer
// for modal dialogs.

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

namespace TestSupport {

// Takes the URLs the program hands to the desktop (register it with
// QDesktopServices::setUrlHandler and the slot name "open").
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

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

// Schedules `action` on the first visible top-level widget of class T (that
// `match` accepts) once it appears, polling for up to `timeoutMs`. found()
// tells whether it was; a test must QVERIFY it after the exec(). When nothing
// matched in time, the active modal dialog is rejected so the test fails
// instead of hanging. Polling stops when the closer goes out of scope.
template <typename T>
class ModalCloser
{
public:
    explicit ModalCloser(std::function<void(T *)> action, int timeoutMs = 10000)
        : ModalCloser([](T *) { return true; }, std::move(action), timeoutMs)
    {
    }
    ModalCloser(std::function<bool(T *)> match, std::function<void(T *)> action, int timeoutMs)
    {
        auto found = m_found;
        auto alive = m_alive;
        auto remaining = std::make_shared<int>(timeoutMs);
        m_tick = std::make_shared<std::function<void()>>();
        // Pending timers hold the poller; it holds itself only weakly, so it is
        // freed once the closer is gone and no timer is left.
        std::weak_ptr<std::function<void()>> self = m_tick;
        *m_tick = [found, alive, match, action, remaining, self]() {
            if (!*alive || *found)
                return;
            for (QWidget *w : QApplication::topLevelWidgets()) {
                T *t = qobject_cast<T *>(w);
                if (t && t->isVisible() && match(t)) {
                    *found = true;
                    action(t);
                    return;
                }
            }
            *remaining -= 20;
            if (*remaining <= 0) {
                if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                    dialog->reject();
                return;
            }
            if (auto strong = self.lock())
                QTimer::singleShot(20, [strong]() { (*strong)(); });
        };
        QTimer::singleShot(0, [tick = m_tick]() { (*tick)(); });
    }
    ~ModalCloser() { *m_alive = false; }
    ModalCloser(const ModalCloser &) = delete;
    ModalCloser &operator=(const ModalCloser &) = delete;
    bool found() const { return *m_found; }

private:
    std::shared_ptr<bool> m_found = std::make_shared<bool>(false);
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::shared_ptr<std::function<void()>> m_tick;
};

} // namespace TestSupport
