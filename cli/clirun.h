#pragma once

#include "cli/clioptions.h"
#include "cli/cliwindow.h"
#include "cli/console.h"

#include <QTemporaryDir>

#include <optional>

struct JobSummary;

// Exit codes, and which one wins when several bars end differently: the later in this list.
namespace ExitCode {
constexpr int Done = 0;            // every picture saved or skipped
constexpr int PicturesFailed = 1;  // some pictures or albums still failed after the retries
constexpr int ListUnreachable = 3; // a bar's album list could not be fetched at all
constexpr int Usage = 2;           // bad command line, or a folder that cannot be created
constexpr int Busy = 2;            // another process is downloading the bar into the same folder
constexpr int Interrupted = 130;   // SIGINT or SIGTERM
constexpr int OutputClosed = 141;  // standard output closed by its reader, as for SIGPIPE

int worse(int a, int b);
} // namespace ExitCode

// One run of the command line: every bar in turn through the job, with retries, the failure
// file and a summary per bar.
class CliRun final
{
    Q_DISABLE_COPY_MOVE(CliRun)

public:
    CliRun(const CliOptions &options, Console &console);

    // False (with the reason on standard error) when there is no temporary folder to work in.
    bool ready();
    int exec();
    // Stops at once: the summary of the bar under way, then the end of the process with `code`.
    [[noreturn]] void interrupt(int code);

private:
    int runBar(const QString &bar);
    void removeScratch();
    void sayBusy(const QString &barFolder);
    [[noreturn]] void busyAfterAll();
    void carryOverFailures(const QString &barFolder);
    void retryRounds();
    void reportFailures(const QString &barFolder);
    void printSummary(const QString &bar, const JobSummary *summary);

    const CliOptions &m_options;
    Console &m_console;
    std::optional<QTemporaryDir> m_scratch; // none for a run that saves nothing
    CliWindow m_window;
    QString m_bar; // the bar under way, if any
};
