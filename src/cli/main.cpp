#include "cli/cliconverter.h"
#include "cli/targetformats.h"
#include "convert/avconvertthread.h"
#include "convert/convertsettings.h"
#include "convert/filepath.h"
#include "convert/jobjournal.h"
#include "convert/sourcefolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSocketNotifier>
#include <QThreadPool>

#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum ExitCode { ExitSucceeded = 0, ExitFailed = 1, ExitUsage = 2, ExitInterrupted = 130 };

int signalPipe[2] = { -1, -1 };

// Only async-signal-safe work here: the event loop reads the pipe and cancels.
void OnSignal(int)
{
    const char byte = 1;
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    (void)written;
}

bool CatchSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // Output piped into a reader that quits early must not end the batch with its files half done.
    ::signal(SIGPIPE, SIG_IGN);
    // A closed terminal cancels too, rather than leave the jobs' hidden files to the next start.
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0
           && ::sigaction(SIGHUP, &action, nullptr) == 0;
}

int UsageError(const QString &message)
{
    std::fprintf(stderr, "reelway-cli: %s\n", qPrintable(message));
    return ExitUsage;
}

void SilentMessageHandler(QtMsgType, const QMessageLogContext &, const QString &)
{
}

// The sources in the order given, a folder walked as "Add Folder" walks it and ordered as
// the source list shows it (by name); each file once. shown gets each one's name for the output.
bool CollectSources(const QStringList &paths, QStringList &sources, QStringList &shown, QString &missing)
{
    QSet<QString> seen;
    const auto add = [&](const QString &path) {
        const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
        if (seen.contains(absolute))
            return;
        seen.insert(absolute);
        sources << absolute;
        shown << QDir::toNativeSeparators(QDir::cleanPath(path));
    };
    for (const QString &path : paths) {
        const QFileInfo info(path);
        struct stat status;
        const bool exists = ::stat(EncodePath(path).constData(), &status) == 0;
        if (exists && S_ISDIR(status.st_mode)) {
            const QString root = QDir::cleanPath(QDir::current().absoluteFilePath(path));
            const QStringList files =
                WalkSourceFolder(root, [](const QFileInfo &file) { return file.baseName(); });
            for (const QString &file : files)
                add(QDir(path).filePath(QDir(root).relativeFilePath(file)));
        } else if (exists) {
            add(path);
        } else {
            missing = path;
            return false;
        }
    }
    return true;
}

void ListFormats(bool json)
{
    for (const TargetFormat &format : WritableTargets()) {
        const QByteArray line = json ? QJsonDocument(QJsonObject{ { QStringLiteral("name"), KRVAVCodec(format.id).GetName() },
                                                                  { QStringLiteral("extension"), format.extension } })
                                           .toJson(QJsonDocument::Compact)
                                     : TargetFormatText(format).toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(SilentMessageHandler);
    // Text watermarks need the GUI application's fonts; that costs start-up time, so only the
    // effects pay for it. No window is ever shown, so no display is needed either.
    bool effects = false;
    for (int i = 1; i < argc; ++i)
        effects = effects || qstrcmp(argv[i], "--effects") == 0;
    std::unique_ptr<QCoreApplication> app;
    if (effects) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("reelway-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(REELWAY_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Converts video and audio files with the Reelway engine."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption formatOption({ "f", "format" },
                                          "The target: an extension (mp4, .mkv) or a device profile's name. Default: mp4.",
                                          "EXT");
    const QCommandLineOption listOption("list-formats", "Lists the target formats, one per line.");
    const QCommandLineOption outputOption({ "o", "output" }, "The target folder. Default: each source's folder.", "DIR");
    const QCommandLineOption overwriteOption("overwrite", "Overwrites existing targets instead of appending a number.");
    const QCommandLineOption effectsOption("effects", "Applies the effects set in the window.");
    const QCommandLineOption reencodeOption("reencode", "Encodes every stream, also those that fit the target as they are.");
    const QCommandLineOption jobsOption({ "j", "jobs" }, "Parallel jobs. Default: one per logical processor.", "N");
    const QCommandLineOption jsonOption("json", "Prints one JSON object per line for each event.");
    parser.addOptions({ formatOption, listOption, outputOption, overwriteOption, effectsOption, reencodeOption, jobsOption, jsonOption });
    parser.addPositionalArgument("FILE", "Files to convert; a folder adds the files in it and below it, as Add Folder does.",
                                 "FILE...");
    // Names as given, also those that are not valid UTF-8.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << DecodePath(QByteArray(argv[i]));
    if (!parser.parse(arguments))
        return UsageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(ExitSucceeded);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    const bool json = parser.isSet(jsonOption);
    if (parser.isSet(listOption)) {
        ListFormats(json);
        return ExitSucceeded;
    }

    ConvertSettings settings;
    // Read only: the window's settings belong to the window.
    if (parser.isSet(effectsOption))
        settings.Load();
    TargetFormat format{ KRVAVCodecID_MP4, QStringLiteral(".mp4") };
    if (parser.isSet(formatOption) && !FindTargetFormat(parser.value(formatOption), format))
        return UsageError(QStringLiteral("unknown format '%1' (see --list-formats)").arg(parser.value(formatOption)));
    settings.tgtID = format.id;
    settings.tgtFormat = format.extension;
    settings.tgtFolder = QString::fromLatin1(SameAsSourceFile);
    if (parser.isSet(outputOption)) {
        const QFileInfo folder(parser.value(outputOption));
        if (!folder.isDir())
            return UsageError(QStringLiteral("the output folder '%1' does not exist").arg(parser.value(outputOption)));
        settings.tgtFolder = folder.absoluteFilePath();
    }
    settings.exists = parser.isSet(overwriteOption) ? 1 : 0;
    if (parser.isSet(reencodeOption))
        settings.copyStreams = false;
    if (parser.isSet(jobsOption)) {
        bool ok = false;
        const int jobs = parser.value(jobsOption).toInt(&ok);
        if (!ok || jobs < 1)
            return UsageError(QStringLiteral("the number of jobs '%1' is not a whole number above 0").arg(parser.value(jobsOption)));
        if (jobs > MaxBatchThreads)
            return UsageError(QStringLiteral("the number of jobs '%1' is above %2").arg(parser.value(jobsOption)).arg(MaxBatchThreads));
        QThreadPool::globalInstance()->setMaxThreadCount(jobs);
    }

    QStringList sources;
    QStringList shown;
    QString missing;
    if (parser.positionalArguments().isEmpty())
        return UsageError(QStringLiteral("no files given"));
    if (!CollectSources(parser.positionalArguments(), sources, shown, missing))
        return UsageError(QStringLiteral("no such file or folder '%1'").arg(missing));
    if (sources.isEmpty())
        return UsageError(QStringLiteral("the folders given hold no files"));
    if (!CatchSignals())
        return UsageError(QStringLiteral("cannot catch the interrupt signals"));

    const CliConverter::Style style = json                    ? CliConverter::Style::Json
                                      : ::isatty(STDOUT_FILENO) ? CliConverter::Style::Terminal
                                                                : CliConverter::Style::Plain;
    // Before any job of this run records a file of its own.
    JobJournal::CleanUpDeadRuns();
    int code = ExitSucceeded;
    {
        CliConverter converter(sources, shown, settings, style);
        bool interrupted = false;
        QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, &converter, [&converter, &interrupted]() {
            char bytes[16];
            while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
            }
            interrupted = true;
            converter.Cancel();
        });
        QObject::connect(&converter, &CliConverter::finished, app.get(), &QCoreApplication::quit);
        converter.Start();
        QCoreApplication::exec();
        code = interrupted ? ExitInterrupted : converter.ExitCode();
    }
    JobJournal::Close();
    return code;
}
