#pragma once

// The fixture every test executable shares: isolated user folders, caught desktop
// URLs, generated media, the helper programs beside the executables, and a closer
// for modal dialogs.

#include "convert/convertsettings.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

#include <sys/stat.h>

namespace TestSupport {

// Wipes the program's two settings stores inside the isolated folders.
inline void ClearSettings()
{
    QSettings(QStringLiteral("Korvent"), QStringLiteral("Reelway")).clear();
    QSettings(QStringLiteral("Korvent"), QStringLiteral("Plugins")).clear();
}

// A member of every test object: the settings store and the XDG user folders in a
// temporary home, so nothing reaches the real user's, and every URL the program would
// open on the desktop caught in urls instead.
class Fixture : public QObject
{
    Q_OBJECT
public:
    Fixture()
    {
        for (const char *name : { "config", "data", "cache", "Downloads", "Videos", "Pictures" })
            QDir(home.path()).mkpath(QString::fromLatin1(name));
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(path("cache")));
        QFile dirs(path("config/user-dirs.dirs"));
        if (dirs.open(QIODevice::WriteOnly | QIODevice::Truncate))
            dirs.write("XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\nXDG_VIDEOS_DIR=\"$HOME/Videos\"\n"
                       "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path("config"));
        for (const char *scheme : { "file", "http", "https" })
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    QString path(const QString &name) const { return home.filePath(name); }
    QList<QUrl> &urls() { return caught; }

public slots:
    void open(const QUrl &url) { caught << url; }

private:
    QTemporaryDir home;
    QList<QUrl> caught;
};

inline QString AppDir() { return QCoreApplication::applicationDirPath(); }

inline bool RunFfmpeg(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(AppDir() + "/multimedia/ffmpeg/ffmpeg", QStringList{ "-v", "error", "-nostdin", "-y" } + args);
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    qWarning("ffmpeg failed: %s", p.readAll().constData());
    return false;
}

// Whether some process runs with `text` in its command line: a transcoder at work on a path.
inline bool ProcessRunningWith(const QString &text)
{
    return QProcess::execute("pgrep", { "-f", QRegularExpression::escape(text) }) == 0;
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

// What ffprobe prints for `path` with `options`, trimmed; empty when it cannot read the file.
inline QString Probe(const QString &path, const QStringList &options = { "-show_streams" })
{
    QProcess p;
    p.start(AppDir() + "/multimedia/ffmpeg/ffprobe", QStringList{ "-v", "error" } + options + QStringList{ path });
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// "WxH" of the first video stream, or an empty string.
inline QString ProbeSize(const QString &path)
{
    const QStringList wh = Probe(path, { "-select_streams", "v:0", "-show_entries", "stream=width,height", "-of",
                                         "default=nw=1:nk=1" }).split('\n');
    return wh.size() < 2 ? QString() : wh.at(0).trimmed() + 'x' + wh.at(1).trimmed();
}

// Every field of the settings record by name, to compare whole records.
inline QVariantMap Fields(const ConvertSettings &s)
{
#define F(field) { QStringLiteral(#field), s.field }
    return { F(tgtFolder), F(tgtFormat), F(tgtID), F(exists), F(threeGPSize), F(scale), F(scaleKA), F(scaleA),
             F(scaleW), F(scaleH), F(clrEnable), F(clrB), F(clrC), F(clrS), F(clrG), F(wtEnable), F(wtContent),
             F(wtFontName), F(wtFontSize), F(wtFontB), F(wtFontI), F(wtFontU), F(wtCR), F(wtCG), F(wtCB), F(wtOpc),
             F(wtCAlign), F(wtAlign), F(wtCAlignX), F(wtCAlignY), F(wiEnable), F(wiFile), F(wiScale), F(wiCAlign),
             F(wiAlign), F(wiCAlignX), F(wiCAlignY), F(transform), F(rotate), F(rotateDegree), F(hFlip), F(vFlip),
             F(copyStreams) };
#undef F
}

// A record converting to `ext` in `folder`, its text watermark in a font every test machine has.
inline ConvertSettings TargetSettings(const QString &folder = QLatin1String(SameAsSourceFile),
                                      KRVAVCodecID id = KRVAVCodecID_MP4, const QString &ext = QStringLiteral(".mp4"))
{
    ConvertSettings s;
    s.tgtFolder = folder, s.tgtID = id, s.tgtFormat = ext, s.wtFontName = QStringLiteral("DejaVu Sans");
    return s;
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
        // Acting before the dialog's own event loop runs (from events handled while it is
        // being shown) would close it too early: its exec() would then never return.
        const int level = QThread::currentThread()->loopLevel();
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, action, match, timeoutMs, level] {
            for (QWidget *w : QThread::currentThread()->loopLevel() > level ? QApplication::topLevelWidgets()
                                                                             : QWidgetList()) {
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
