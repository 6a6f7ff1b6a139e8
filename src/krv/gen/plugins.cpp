#include "plugins.h"

#include "convert/preferences.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QStringList>

QString creditsText;

namespace {

const char *const sHeadingSpan = "<span style=\" font-size:10pt; font-weight:800; color:#000000;\">";
const char *const sBodySpan = "<span style=\" font-size:8pt; font-weight:450; color:#000000;\">";

// Both notices keep the same shape: an unclosed heading span with one line,
// then an unclosed body span, every line wrapped as <br>line<br/>.
QString MakeNotice(const QString &heading, const QStringList &body)
{
    QString notice = QString::fromLatin1(sHeadingSpan) + QStringLiteral("<br>") + heading + QStringLiteral("<br/>");
    notice += QString::fromLatin1(sBodySpan);
    for (const QString &line : body)
        notice += QStringLiteral("<br>") + line + QStringLiteral("<br/>");
    return notice;
}

} // namespace

const QString freeImageNotice = MakeNotice(
    QStringLiteral("FreeImage Public License Version 1.0"),
    {
        QStringLiteral("This software uses the FreeImage open source image library, copyright &copy; the FreeImage project."),
        QStringLiteral("http://freeimage.sourceforge.net"),
        QStringLiteral("2.1. The Initial Developer Grant."),
        QStringLiteral("The Initial Developer hereby grants You a world-wide, royalty-free, non-exclusive license,"),
        QStringLiteral("subject to third party intellectual property claims:"),
        QStringLiteral("(a) to use, reproduce, modify, display, perform, sublicense and distribute the Original Code"),
        QStringLiteral("(or portions thereof) with or without Modifications, or as part of a Larger Work; and"),
        QStringLiteral("(b) under patents now or hereafter owned or controlled by Initial Developer, to make, have made,"),
        QStringLiteral("use and sell (&quot;Utilize&quot;) the Original Code (or portions thereof), but solely to the extent that"),
        QStringLiteral("any such patent is reasonably necessary to enable You to Utilize the Original Code (or portions thereof)"),
        QStringLiteral("and not to any greater extent that may be necessary to Utilize further Modifications or"),
        QStringLiteral("combinations."),
    });

const QString ffmpegNotice = MakeNotice(
    QStringLiteral("FFMPEG LGPL 2.1 or later"),
    { QStringLiteral("https://ffmpeg.org") });

// The components beside the two historic notices: the toolkit, the player library and
// the downloader, and the transcoder's real terms, which are those of the system's build.
const QString systemFfmpegNotice = MakeNotice(
    QStringLiteral("FFmpeg programs of the system"),
    { QStringLiteral("The ffmpeg and ffprobe programs used are the system's own, not shipped with this program;"),
      QStringLiteral("they come under the licence of that build. Debian's build is GPL 2 or later."),
      QStringLiteral("Run ffmpeg -version to see how yours was configured.") });

const QString qtNotice = MakeNotice(
    QStringLiteral("Qt 5 LGPL 3"),
    { QStringLiteral("This program uses the Qt toolkit, copyright &copy; The Qt Company Ltd. and other contributors,"),
      QStringLiteral("under the GNU Lesser General Public License version 3 (also available under GPL 2 or 3)."),
      QStringLiteral("https://www.qt.io") });

const QString mpvNotice = MakeNotice(
    QStringLiteral("libmpv GPL 2 or later / LGPL 2.1 or later"),
    { QStringLiteral("The preview player uses libmpv, copyright &copy; the mpv developers,"),
      QStringLiteral("distributed mostly under GPL 2 or later and LGPL 2.1 or later; the system's build decides which"),
      QStringLiteral("(Debian's libmpv is distributed under GPL 3 or later)."),
      QStringLiteral("https://mpv.io") });

const QString ytdlpNotice = MakeNotice(
    QStringLiteral("yt-dlp Unlicense"),
    { QStringLiteral("Downloads run the system's yt-dlp program, released into the public domain (The Unlicense)."),
      QStringLiteral("https://github.com/yt-dlp/yt-dlp") });

void ClearCredits()
{
    creditsText.clear();
}

void AppendCredits(const QString &text)
{
    creditsText += QStringLiteral("<br><br/><br><br/>");
    creditsText += text;
}

void KRVInitPlugins()
{
    ClearCredits();

    qDebug() << "KRVInitPlugins BUILD_PLUGIN_FREEIMAGE";
    Preferences::RecordPlugin(Preferences::Plugin::FreeImage);
    AppendCredits(freeImageNotice);

    qDebug() << "KRVInitPlugins BUILD_PLUGIN_FFMPEG";
    Preferences::RecordPlugin(Preferences::Plugin::FFmpeg);
    AppendCredits(ffmpegNotice);

    // Not recorded in the store: the program carries none of these, it only uses them.
    for (const QString *notice : { &systemFfmpegNotice, &qtNotice, &mpvNotice, &ytdlpNotice })
        AppendCredits(*notice);
}

QString HelperProgramPath(HelperProgram program)
{
    QString name;
    switch (program) {
    case HelperProgram::Transcoder:
        name = QStringLiteral("multimedia/ffmpeg/ffmpeg");
        break;
    case HelperProgram::Prober:
        name = QStringLiteral("multimedia/ffmpeg/ffprobe");
        break;
    case HelperProgram::Downloader:
        name = QStringLiteral("multimedia/youtubedownloader/youtube-dl");
        break;
    }
#ifdef Q_OS_WIN
    name += QStringLiteral(".exe");
#endif
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(name);
}
