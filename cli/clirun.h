#pragma once

#include "cli/clioptions.h"
#include "cli/cliwindow.h"
#include "cli/console.h"

#include "job/restnotice.h"
#include "job/retrycommand.h"
#include "job/startcommand.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class Engine;

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
// file and a summary per bar, on the engine it is given. It runs on the event loop and tells of
// its end, with the exit code, through finished().
class CliRun final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CliRun)

public:
    CliRun(Engine &engine, const CliOptions &options, Console &console, QObject *parent = nullptr);
    ~CliRun() override;

    // False (with the reason on standard error) when there is no temporary folder to work in.
    bool ready();
    // Begins with the first bar and returns at once.
    void start();
    // Stops soon, from wherever it is called: the job or retry under way is given up (every
    // picture whole or not there), the summary of the bar under way is printed, the scratch
    // folder removed, and finished() tells `code`.
    void interrupt(int code);

signals:
    void finished(int code);

private:
    // Hears of every picture a retry round tried.
    class RetryHeard final : public JobObserver
    {
    public:
        explicit RetryHeard(CliWindow &window)
            : m_window(window)
        { }
        void pictureFinished(const PictureOutcome &outcome) override { m_window.retried(outcome); }

    private:
        CliWindow &m_window;
    };

    // Runs `step` once the event loop takes its next turn: never inside a call of the job's.
    void later(void (CliRun::*step)());
    void nextBar();
    void afterJob();
    void retryRound();
    void barEnded();
    void stop();
    void removeScratch();
    void sayBusy(const QString &barFolder);
    void busyAfterAll();
    void carryOverFailures(const QString &barFolder);
    void reportFailures(const QString &barFolder);
    void printSummary(const QString &bar, const JobSummary *summary);

    Engine &m_engine;
    const CliOptions &m_options;
    Console &m_console;
    std::optional<QTemporaryDir> m_scratch; // none for a run that saves nothing
    QStringList m_complaints;               // not said yet
    CliWindow m_window;
    RetryHeard m_retryHeard{m_window};
    qsizetype m_nextBar = 0;
    int m_code = ExitCode::Done;
    QString m_bar; // the bar under way, if any
    QString m_barFolder;
    std::unique_ptr<StartCommand> m_job;
    JobSummary m_summary; // of the bar's job, once it ended
    std::unique_ptr<RetryCommand> m_retry;
    std::optional<HoldNotice> m_retryNotice;
    int m_round = 0;
    bool m_stopping = false;
    int m_stopCode = ExitCode::Done;
    bool m_summaryAtStop = true;
};
