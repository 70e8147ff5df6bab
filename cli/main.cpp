// quillory-cli: the download job of the window, run from a terminal or a script.
#include "clirun.h"
#include "stopsignals.h"

#include "settings.h"
#include "webenginesetup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>


namespace {

// No display is needed: the browser page is never on a screen.
void chooseOffscreenPlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// For the tests only: the shipped page pace stays the default.
void applyTestTimings()
{
    if (qEnvironmentVariable("QUILLORY_TEST_TIMINGS") != u"short")
        return;
    Settings::setTimings(Timings::shortened());
}

const char *const description =
    "Downloads every picture of every photo album of each BAR, one bar after another, as\n"
    "DIR/<bar>吧/<album title>/<n>.jpg. Standard output lists the path of every picture saved,\n"
    "one per line; standard error carries the log, a summary per bar and, on a terminal, a\n"
    "progress line.\n"
    "\n"
    "A later run skips every picture whose file still holds the same picture as recorded in\n"
    "the bar folder's hidden record, and fetches everything else.\n"
    "\n"
    "Exit codes, the worst of all bars (later in this list is worse):\n"
    "  0    every picture saved or skipped\n"
    "  1    some pictures still failed after the retries; listed in <bar>吧/failed.txt\n"
    "  3    the album list of a bar could not be fetched at all\n"
    "  2    usage error, or a folder that cannot be created\n"
    "  130  stopped by SIGINT or SIGTERM\n"
    "\n"
    "QUILLORY_FORUM_HOST and QUILLORY_IMAGE_HOST (host[:port]) replace the forum's hosts.";

int usageError(const QCommandLineParser &parser, const QString &message)
{
    const QByteArray text =
        (QStringLiteral("quillory-cli: ") + message + QStringLiteral("\n\n") + parser.helpText()).toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    return ExitCode::Usage;
}

} // namespace

int main(int argc, char *argv[])
{
    quietQtMessages();
    chooseOffscreenPlatform();
    prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillory-cli"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    applyTestTimings();

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dirOption({QStringLiteral("d"), QStringLiteral("dir")},
                                       QStringLiteral("Put the bar folders in DIR (default: the current folder)."),
                                       QStringLiteral("DIR"), QStringLiteral("."));
    const QCommandLineOption noSkipOption(QStringLiteral("no-skip"),
                                          QStringLiteral("Fetch every picture again, also those already saved."));
    const QCommandLineOption retriesOption(
        {QStringLiteral("R"), QStringLiteral("retries")},
        QStringLiteral("Retry a bar's failed pictures up to N more rounds (default 2)."), QStringLiteral("N"),
        QStringLiteral("2"));
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"),
        QStringLiteral("Count the albums' pictures and save nothing; prints one line per "
                       "album: index, title and picture count, separated by tabs."));
    const QCommandLineOption quietOption({QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("No log lines: only the summaries and errors."));
    parser.addOptions({dirOption, noSkipOption, retriesOption, dryRunOption, quietOption});
    parser.addPositionalArgument(QStringLiteral("BAR"), QStringLiteral("The names of the bars, without 吧."),
                                 QStringLiteral("BAR..."));

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser, parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    CliOptions options;
    options.bars = parser.positionalArguments();
    if (options.bars.isEmpty())
        return usageError(parser, QStringLiteral("no bar given"));
    for (const QString &bar : options.bars) {
        if (bar.trimmed().isEmpty())
            return usageError(parser, QStringLiteral("a bar name is empty"));
    }
    bool number = false;
    options.retries = parser.value(retriesOption).toInt(&number);
    if (!number || options.retries < 0)
        return usageError(
            parser,
            QStringLiteral("-R needs a whole number of 0 or more, not \"%1\"").arg(parser.value(retriesOption)));
    options.noSkip = parser.isSet(noSkipOption);
    options.dryRun = parser.isSet(dryRunOption);
    options.quiet = parser.isSet(quietOption);
    options.folder = QDir(parser.value(dirOption)).absolutePath();
    if (!options.dryRun && (!QDir().mkpath(options.folder) || !QFileInfo(options.folder).isWritable()))
        return usageError(parser, QStringLiteral("cannot create or write the folder ") + options.folder);

    Console console(options.quiet);
    CliRun run(options, console);
    if (!run.ready())
        return ExitCode::Usage;
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::received, [&run] {
        run.interrupt();
    });
    const int code = run.exec();
    // Tearing Qt down would wait for network threads that hostile answers may still hold; every
    // picture and record line is complete by now, as when the run is interrupted.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}
