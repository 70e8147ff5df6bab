#include "cli/climain.h"

#include "cli/clirun.h"
#include "cli/clitext.h"
#include "cli/console.h"
#include "cli/stopsignals.h"
#include "cli/systemreasons.h"
#include "cli/terminaltext.h"

#include "job/engine.h"
#include "job/settingsfile.h"
#include "web/engine/webenginesetup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTemporaryFile>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

CliMain::Parsed ended(int exitCode)
{
    return {std::nullopt, exitCode};
}

// The texts of Qt's own command-line parser, so that the catalogues carry them too.
[[maybe_unused]] const char *const parserTexts[] = {
    QT_TRANSLATE_NOOP("QCommandLineParser", "Usage: %1"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Options:"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Arguments:"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "[options]"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays help on commandline options."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays help including Qt specific options."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays version information."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unknown option '%1'."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unknown options: %1."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Missing value after '%1'."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unexpected value after '%1'."),
};

QString description()
{
    return Cli::tr("Downloads every picture of every photo album of each BAR, one bar after another, as\n"
                   "DIR/<bar>吧/<album title>/<n>.jpg. Standard output lists the path of every picture saved,\n"
                   "one per line; standard error carries the log, a summary per bar and, on a terminal, a\n"
                   "progress line.\n"
                   "\n"
                   "A later run skips every picture whose file still holds the same picture as recorded in\n"
                   "the bar folder's hidden record, and fetches everything else.\n"
                   "\n"
                   "Exit codes, the worst of all bars (later in this list is worse):\n"
                   "  0    every picture saved or skipped\n"
                   "  1    some pictures or albums still failed after the retries; the pictures that\n"
                   "       can be fetched again are listed in <bar>吧/failed.txt\n"
                   "  3    the album list of a bar could not be fetched at all\n"
                   "  2    usage error, a folder that cannot be created, or a bar that another process\n"
                   "       is downloading into the same folder\n"
                   "  130  stopped by SIGINT or SIGTERM; 141 when standard output was closed\n"
                   "\n"
                   "Its own texts follow the locale (LANG=zh_CN.UTF-8 for Chinese); the job's log is Chinese.\n"
                   "QUILLORY_FORUM_HOST and QUILLORY_IMAGE_HOST (host[:port]) replace the forum's hosts.");
}

void writeTo(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The error, the one line of usage and where to find more; the whole help would bury the error.
int usageError(const QString &message)
{
    writeTo(stderr, QStringLiteral("quillory-cli: ") + SystemReasons::translated(message) + u'\n' +
                        Cli::tr("Usage: quillory-cli [options] BAR...") + u'\n' +
                        Cli::tr("Try 'quillory-cli --help' for more information.") + u'\n');
    return ExitCode::Usage;
}

// An error of the system rather than of the command line: the usage would not help.
int folderError(const QString &message)
{
    writeTo(stderr, QStringLiteral("quillory-cli: ") + SystemReasons::translated(message) + u'\n');
    return ExitCode::Usage;
}

// The help laid out for the terminal, or 80 columns: Qt's own counts a Chinese character as one
// column and wraps nothing, and names the program by the path it was started by.
QString helpText(const QList<QCommandLineOption> &options, bool all)
{
    const int width = Console::outputColumns();
    QList<QPair<QString, QString>> rows;
    for (const QCommandLineOption &option : options) {
        if (option.flags().testFlag(QCommandLineOption::HiddenFromHelp))
            continue;
        QStringList names;
        for (const QString &name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString left = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            left += QStringLiteral(" <") + option.valueName() + u'>';
        rows.append({left, option.description()});
    }
    const QString usage =
        QCommandLineParser::tr("Usage: %1")
            .arg(QStringLiteral("quillory-cli ") + QCommandLineParser::tr("[options]") + u' ' + Cli::tr("BAR..."));
    QString text =
        TerminalText::wrapParagraphs(usage, width) + u'\n' + TerminalText::wrapParagraphs(description(), width) +
        QStringLiteral("\n\n") + QCommandLineParser::tr("Options:") + u'\n' + TerminalText::table(rows, width) +
        QStringLiteral("\n\n") + QCommandLineParser::tr("Arguments:") + u'\n' +
        TerminalText::table({{Cli::tr("BAR"), Cli::tr("The names of the bars, with or without 吧.")}}, width) + u'\n';
    if (all)
        text += u'\n' +
                TerminalText::wrapParagraphs(Cli::tr("Like every Qt program, it also takes Qt's own options, such as "
                                                     "-platform NAME, -reverse or -style NAME; see the documentation "
                                                     "of QGuiApplication. Without them the pages render offscreen."),
                                             width) +
                u'\n';
    return text;
}

// Why `folder` cannot hold the bar folders, in the system's words; empty when it can.
QString folderProblem(const QString &folder)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
    if (error)
        return QString::fromLocal8Bit(error.message().c_str());
    QTemporaryFile probe(folder + QStringLiteral("/.quillory-probe-XXXXXX"));
    if (!probe.open())
        return probe.errorString();
    return QString();
}

// The forum shows a bar as "<name>吧"; the name typed that way means the same bar.
QString barName(QString typed)
{
    const QString suffix = QStringLiteral("吧");
    if (typed.size() > suffix.size() && typed.endsWith(suffix))
        typed.chop(suffix.size());
    return typed;
}

} // namespace

namespace CliMain {

void prepare(const Timings &timings)
{
    quietQtMessages();
    // No display is needed: the browser page is never on a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    prepareWebEngine(timings);
    // A closed standard output shows as a failed write, which stops the run (see Console).
    std::signal(SIGPIPE, SIG_IGN);
}

Translations::Translations()
{
    // Qt's own texts where the system has them; ours, installed last, are asked first.
    if (m_qt.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&m_qt);
    if (m_own.load(QLocale(), QStringLiteral("quillory-cli"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(&m_own);
}

Parsed parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption dirOption({QStringLiteral("d"), QStringLiteral("dir")},
                                       Cli::tr("Put the bar folders in DIR (default: the current folder)."),
                                       Cli::tr("DIR"), QStringLiteral("."));
    const QCommandLineOption noSkipOption(QStringLiteral("no-skip"),
                                          Cli::tr("Fetch every picture again, also those already saved."));
    const QCommandLineOption retriesOption({QStringLiteral("R"), QStringLiteral("retries")},
                                           Cli::tr("Retry a bar's failed pictures up to N more rounds (default 2)."),
                                           Cli::tr("N"), QStringLiteral("2"));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"),
                                          Cli::tr("Count the albums' pictures and save nothing; prints one line per "
                                                  "album: index, title and picture count, separated by tabs."));
    const QCommandLineOption getUrlsOption({QStringLiteral("g"), QStringLiteral("get-urls")},
                                           Cli::tr("Print the address of every picture, one per line, and save "
                                                   "nothing, for other download tools."));
    const QCommandLineOption metadataOption(
        QStringLiteral("metadata"), Cli::tr("Write album.json beside each album's pictures: the bar, the album's id, "
                                            "address and title, and each picture's number, id, address, size and "
                                            "time saved."));
    const QCommandLineOption quietOption({QStringLiteral("q"), QStringLiteral("quiet")},
                                         Cli::tr("No log lines: only the summaries and errors."));
    const QCommandLineOption paceOption(
        QStringLiteral("pace"),
        Cli::tr("How album pages are paced: fixed (the forum's own pace, the default) or "
                "adaptive (each page as fast as it renders). Overrides the settings file."),
        Cli::tr("PACE"));
    const QCommandLineOption pagesOption(
        QStringLiteral("pages"),
        Cli::tr("Load up to K album pages side by side, 1 to 4 (default 1). Overrides the "
                "settings file."),
        Cli::tr("K"));
    const QCommandLineOption updateOption(
        QStringLiteral("update"), Cli::tr("Do not render again the albums an earlier run finished with every picture "
                                          "saved: only new albums, and those with pictures missing, are fetched."));
    const QList<QCommandLineOption> ownOptions{dirOption,      noSkipOption, retriesOption, dryRunOption, getUrlsOption,
                                               metadataOption, quietOption,  paceOption,    pagesOption,  updateOption};
    parser.addOptions(ownOptions);
    // The option addHelpOption() adds beside --help, which it does not hand back.
    const QCommandLineOption helpAllOption(QStringLiteral("help-all"),
                                           QCommandLineParser::tr("Displays help including Qt specific options."));
    parser.addPositionalArgument(Cli::tr("BAR"), Cli::tr("The names of the bars, with or without 吧."),
                                 Cli::tr("BAR..."));

    if (!parser.parse(arguments))
        return ended(usageError(parser.errorText()));
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        writeTo(stdout, helpText(QList<QCommandLineOption>{helpOption, helpAllOption, versionOption} + ownOptions,
                                 parser.isSet(QStringLiteral("help-all"))));
        return ended(0);
    }
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    CliOptions options;
    for (const QString &bar : parser.positionalArguments()) {
        if (bar.trimmed().isEmpty())
            return ended(usageError(Cli::tr("a bar name is empty")));
        options.bars << barName(bar);
    }
    if (options.bars.isEmpty())
        return ended(usageError(Cli::tr("no bar given")));
    bool number = false;
    options.retries = parser.value(retriesOption).toInt(&number);
    if (!number || options.retries < 0)
        return ended(
            usageError(Cli::tr("-R needs a whole number of 0 or more, not \"%1\"").arg(parser.value(retriesOption))));
    // The settings file first; what the command line says replaces it, and silences a complaint
    // about the value it replaces.
    JobChoicesFile settings = JobChoicesFile::read();
    if (parser.isSet(paceOption)) {
        const auto pace = JobChoices::paceNamed(parser.value(paceOption));
        if (!pace)
            return ended(
                usageError(Cli::tr("--pace needs fixed or adaptive, not \"%1\"").arg(parser.value(paceOption))));
        settings.choices.pace = *pace;
        settings.paceComplaint.clear();
    }
    if (parser.isSet(pagesOption)) {
        const auto pages = JobChoices::pagesNamed(parser.value(pagesOption));
        if (!pages)
            return ended(usageError(
                Cli::tr("--pages needs a whole number from 1 to 4, not \"%1\"").arg(parser.value(pagesOption))));
        settings.choices.pages = *pages;
        settings.pagesComplaint.clear();
    }
    options.choices = settings.choices;
    options.complaints = settings.complaints();
    options.noSkip = parser.isSet(noSkipOption);
    options.dryRun = parser.isSet(dryRunOption);
    options.getUrls = parser.isSet(getUrlsOption);
    options.metadata = parser.isSet(metadataOption);
    options.quiet = parser.isSet(quietOption);
    options.update = parser.isSet(updateOption);
    options.folder = QDir(parser.value(dirOption)).absolutePath();
    if (!options.savesNothing()) {
        const QString problem = folderProblem(options.folder);
        if (!problem.isEmpty())
            return ended(folderError(Cli::tr("cannot create or write the folder %1: %2").arg(options.folder, problem)));
    }

    return {options, 0};
}

int run(Engine &engine, const CliOptions &options)
{
    Console console(options.quiet);
    CliRun run(engine, options, console);
    if (!run.ready())
        return ExitCode::Usage;
    console.onOutputClosed([&run] { run.interrupt(ExitCode::OutputClosed); });
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::received, &run, [&run] { run.interrupt(ExitCode::Interrupted); });
    QObject::connect(&run, &CliRun::finished, QCoreApplication::instance(),
                     [](int code) { QCoreApplication::exit(code); });
    run.start();
    return QCoreApplication::exec();
}

int main(int argc, char *argv[], const EngineSettings &settings)
{
    prepare(settings.timings);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillory-cli"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    const Translations translations;
    const Parsed parsed = parse(QCoreApplication::arguments());
    if (!parsed.options)
        return parsed.exitCode;
    Engine engine(settings);
    return run(engine, *parsed.options);
}

} // namespace CliMain
