#pragma once

// The fixture every test executable shares: isolated user folders, caught desktop
// URLs, generated media, the helper programs beside the executables, and a closer
// for modal dialogs.

#include "convert/convertsettings.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <sys/stat.h>

namespace TestSupport {

// Takes the URLs the program hands to the desktop instead of a browser or file manager.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

// Points the settings store and the XDG user folders at `root`. Call before the
// first QSettings is opened.
inline void IsolateUserDirs(const QString &root)
{
    for (const char *name : { "config", "data", "cache", "Downloads", "Videos", "Pictures" })
        QDir(root).mkpath(QString::fromLatin1(name));
    qputenv("HOME", QFile::encodeName(root));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(root + "/cache"));
    QFile dirs(root + "/config/user-dirs.dirs");
    if (dirs.open(QIODevice::WriteOnly | QIODevice::Truncate))
        dirs.write("XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\nXDG_VIDEOS_DIR=\"$HOME/Videos\"\n"
                   "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root + "/config");
}

// Wipes the program's two settings stores inside the isolated folders.
inline void ClearSettings()
{
    QSettings(QStringLiteral("Korvent"), QStringLiteral("Reelway")).clear();
    QSettings(QStringLiteral("Korvent"), QStringLiteral("Plugins")).clear();
}

// A member of every test object: a temporary home holding the user folders, and the
// catcher of every URL the program would open.
class Fixture
{
public:
    Fixture()
    {
        IsolateUserDirs(home.path());
        for (const char *scheme : { "file", "http", "https" })
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "open");
    }
    QString path(const QString &name) const { return home.filePath(name); }
    QList<QUrl> &urls() { return catcher.urls; }

private:
    QTemporaryDir home;
    UrlCatcher catcher;
};

inline QString AppDir() { return QCoreApplication::applicationDirPath(); }
inline QString FfmpegPath() { return AppDir() + QStringLiteral("/multimedia/ffmpeg/ffmpeg"); }
inline QString FfprobePath() { return AppDir() + QStringLiteral("/multimedia/ffmpeg/ffprobe"); }

inline bool RunFfmpeg(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(FfmpegPath(), QStringList{ "-v", "error", "-nostdin", "-y" } + args);
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    qWarning("ffmpeg failed: %s", p.readAll().constData());
    return false;
}

inline bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A test pattern (with a sine tone unless `audio` is false), generated once per run;
// empty when the transcoder failed.
inline QString Clip(double seconds = 0.5, const QString &size = QStringLiteral("160x120"),
                    const QString &ext = QStringLiteral("mkv"), bool audio = true)
{
    static QTemporaryDir cache;
    static QHash<QString, QString> made;
    const QString name = QStringLiteral("clip-%1-%2-%3.%4").arg(seconds).arg(size).arg(audio).arg(ext);
    if (!made.contains(name)) {
        QStringList args = { "-f", "lavfi", "-i", QStringLiteral("testsrc=duration=%1:size=%2").arg(seconds).arg(size) };
        if (audio)
            args << "-f" << "lavfi" << "-i" << QStringLiteral("sine=duration=%1").arg(seconds);
        if (RunFfmpeg(args + QStringList{ "-pix_fmt", "yuv420p", "-shortest", cache.filePath(name) }))
            made.insert(name, cache.filePath(name));
    }
    return made.value(name);
}

// A source the transcoder never finishes, at no cost: a list of a short clip and then a
// pipe nobody writes to, on which it waits. The transcoder's probe recognises the list
// whatever the file is called.
inline bool MakeStalledSource(const QString &path)
{
    const QString base = QFileInfo(path).completeBaseName();
    const QDir dir = QFileInfo(path).dir();
    return QFile::copy(Clip(), dir.filePath(base + "-part.mkv"))
           && ::mkfifo(QFile::encodeName(dir.filePath(base + "-pipe")).constData(), 0600) == 0
           && WriteBytes(path, "ffconcat version 1.0\nfile '" + QFile::encodeName(base) + "-part.mkv'\nfile '"
                                   + QFile::encodeName(base) + "-pipe'\n");
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

// "WxH" of the first video stream, or an empty string.
inline QString ProbeSize(const QString &path)
{
    const QString out = ProbeStreams(path);
    const QString w = ProbeValue(out, "width");
    const QString h = ProbeValue(out, "height");
    return w.isEmpty() || h.isEmpty() ? QString() : w + 'x' + h;
}

// Every field of the settings record by name, to compare whole records.
inline QVariantMap Fields(const ConvertSettings &s)
{
#define F(field) { QStringLiteral(#field), s.field }
    return { F(tgtFolder), F(tgtFormat), F(tgtID), F(exists), F(threeGPSize), F(scale), F(scaleKA), F(scaleA),
             F(scaleW), F(scaleH), F(clrEnable), F(clrB), F(clrC), F(clrS), F(clrG), F(wtEnable), F(wtContent),
             F(wtFontName), F(wtFontSize), F(wtFontB), F(wtFontI), F(wtFontU), F(wtCR), F(wtCG), F(wtCB), F(wtOpc),
             F(wtCAlign), F(wtAlign), F(wtCAlignX), F(wtCAlignY), F(wiEnable), F(wiFile), F(wiScale), F(wiCAlign),
             F(wiAlign), F(wiCAlignX), F(wiCAlignY), F(transform), F(rotate), F(rotateDegree), F(hFlip), F(vFlip) };
#undef F
}

template <typename T = QWidget>
T *Find(const QObject *parent, const QString &name)
{
    T *child = parent->findChild<T *>(name);
    if (!child)
        qFatal("no child %s", qPrintable(name));
    return child;
}

// Runs `action` on the first visible top-level T that `match` accepts, once it appears;
// a test must QVERIFY found() after the exec(). When nothing matched in time, the active
// modal dialog is rejected so the test fails instead of hanging. Polling stops with the closer.
template <typename T>
class ModalCloser
{
public:
    explicit ModalCloser(std::function<void(T *)> action, std::function<bool(T *)> match = {},
                         int timeoutMs = 10000)
    {
        clock.start();
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, action, match, timeoutMs] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                T *t = qobject_cast<T *>(w);
                if (t && t->isVisible() && (!match || match(t))) {
                    timer.stop();
                    seen = true;
                    action(t);
                    return;
                }
            }
            if (clock.hasExpired(timeoutMs)) {
                timer.stop();
                if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                    dialog->reject();
            }
        });
        timer.start(10);
    }
    bool found() const { return seen; }

private:
    QTimer timer;
    QElapsedTimer clock;
    bool seen = false;
};

} // namespace TestSupport
