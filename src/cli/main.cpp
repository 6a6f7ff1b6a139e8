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

// Text watermarks need the GUI application's fonts; that costs start-up time, so only the
// effects pay for it. No window is ever shown, so no display is needed either.
std::unique_ptr<QCoreApplication> MakeApplication(int &argc, char *argv[])
{
    bool effects = false;
    for (int i = 1; i < argc; ++i)
        effects = effects || qstrcmp(argv[i], "--effects") == 0;
    if (!effects)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
}

struct CliOptions
{
    const QCommandLineOption format{ { "f", "format" },
                                     "The target: an extension (mp4, .mkv) or a device profile's name. Default: mp4.",
                                     "EXT" };
    const QCommandLineOption list{ "list-formats", "Lists the target formats, one per line." };
    const QCommandLineOption output{ { "o", "output" }, "The target folder. Default: each source's folder.", "DIR" };
    const QCommandLineOption overwrite{ "overwrite", "Overwrites existing targets instead of appending a number." };
    const QCommandLineOption effects{ "effects", "Applies the effects set in the window." };
    const QCommandLineOption reencode{ "reencode", "Encodes every stream, also those that fit the target as they are." };
    const QCommandLineOption jobs{ { "j", "jobs" }, "Parallel jobs. Default: one per logical processor.", "N" };
    const QCommandLineOption json{ "json", "Prints one JSON object per line for each event." };
};

void DescribeOptions(QCommandLineParser &parser, const CliOptions &options)
{
    parser.setApplicationDescription(QStringLiteral("Converts video and audio files with the Reelway engine."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({ options.format, options.list, options.output, options.overwrite, options.effects,
                        options.reencode, options.jobs, options.json });
    parser.addPositionalArgument("FILE", "Files to convert; a folder adds the files in it and below it, as Add Folder does.",
                                 "FILE...");
}

// Names as given, also those that are not valid UTF-8.
QStringList DecodeArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << DecodePath(QByteArray(argv[i]));
    return arguments;
}

// The settings the options ask for; on a wrong value error says what is wrong.
bool MakeSettings(const QCommandLineParser &parser, const CliOptions &options, ConvertSettings &settings, QString &error)
{
    // Read only: the window's settings belong to the window.
    if (parser.isSet(options.effects))
        settings.Load();
    TargetFormat format{ KRVAVCodecID_MP4, QStringLiteral(".mp4") };
    if (parser.isSet(options.format) && !FindTargetFormat(parser.value(options.format), format))
        return error = QStringLiteral("unknown format '%1' (see --list-formats)").arg(parser.value(options.format)), false;
    settings.tgtID = format.id;
    settings.tgtFormat = format.extension;
    settings.tgtFolder = QString::fromLatin1(SameAsSourceFile);
    if (parser.isSet(options.output)) {
        const QFileInfo folder(parser.value(options.output));
        if (!folder.isDir())
            return error = QStringLiteral("the output folder '%1' does not exist").arg(parser.value(options.output)), false;
        settings.tgtFolder = folder.absoluteFilePath();
    }
    settings.exists = parser.isSet(options.overwrite) ? 1 : 0;
    if (parser.isSet(options.reencode))
        settings.copyStreams = false;
    return true;
}

bool SetJobCount(const QCommandLineParser &parser, const CliOptions &options, QString &error)
{
    if (!parser.isSet(options.jobs))
        return true;
    bool ok = false;
    const int jobs = parser.value(options.jobs).toInt(&ok);
    if (!ok || jobs < 1)
        return error = QStringLiteral("the number of jobs '%1' is not a whole number above 0").arg(parser.value(options.jobs)), false;
    if (jobs > MaxBatchThreads)
        return error = QStringLiteral("the number of jobs '%1' is above %2").arg(parser.value(options.jobs)).arg(MaxBatchThreads), false;
    QThreadPool::globalInstance()->setMaxThreadCount(jobs);
    return true;
}

bool FindSources(const QStringList &paths, QStringList &sources, QStringList &shown, QString &error)
{
    QString missing;
    if (paths.isEmpty())
        return error = QStringLiteral("no files given"), false;
    if (!CollectSources(paths, sources, shown, missing))
        return error = QStringLiteral("no such file or folder '%1'").arg(missing), false;
    if (sources.isEmpty())
        return error = QStringLiteral("the folders given hold no files"), false;
    return true;
}

CliConverter::Style OutputStyle(bool json)
{
    if (json)
        return CliConverter::Style::Json;
    return ::isatty(STDOUT_FILENO) ? CliConverter::Style::Terminal : CliConverter::Style::Plain;
}

// Runs the batch to its end; a signal caught on the way cancels it.
int RunBatch(const QStringList &sources, const QStringList &shown, const ConvertSettings &settings,
             CliConverter::Style style)
{
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
        QObject::connect(&converter, &CliConverter::finished, QCoreApplication::instance(), &QCoreApplication::quit);
        converter.Start();
        QCoreApplication::exec();
        code = interrupted ? ExitInterrupted : converter.ExitCode();
    }
    JobJournal::Close();
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(SilentMessageHandler);
    const std::unique_ptr<QCoreApplication> app = MakeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("reelway-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(REELWAY_VERSION));

    QCommandLineParser parser;
    const CliOptions options;
    DescribeOptions(parser, options);
    if (!parser.parse(DecodeArguments(argc, argv)))
        return UsageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(ExitSucceeded);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    const bool json = parser.isSet(options.json);
    if (parser.isSet(options.list)) {
        ListFormats(json);
        return ExitSucceeded;
    }

    ConvertSettings settings;
    QStringList sources;
    QStringList shown;
    QString error;
    if (!MakeSettings(parser, options, settings, error) || !SetJobCount(parser, options, error)
        || !FindSources(parser.positionalArguments(), sources, shown, error))
        return UsageError(error);
    if (!CatchSignals())
        return UsageError(QStringLiteral("cannot catch the interrupt signals"));
    return RunBatch(sources, shown, settings, OutputStyle(json));
}
