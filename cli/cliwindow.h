#pragma once

#include "cli/clioptions.h"
#include "cli/console.h"
#include "cli/progressline.h"

#include "job/jobwindow.h"
#include "job/records/barrecords.h"
#include "job/records/failurelists.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class Engine;
class EnginePages;

// The job's window for a terminal: the log goes to standard error, saved paths to standard
// output, the album pages render in a browser page that is never shown, and the bar's records
// decide which pictures need not be fetched again and which albums need not be rendered, and
// write album.json when asked to.
class CliWindow final : public QObject, public JobWindow, private JobObserver
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CliWindow)

public:
    // The album pages render on `engine`, whose picture host the addresses name.
    CliWindow(Engine &engine, const CliOptions &options, Console &console);
    ~CliWindow() override;

    // Starts a bar: fresh counts and failure lists. Its record is opened once the bar folder
    // exists, unless this is a dry run, which records nothing.
    void beginBar(const QString &bar, const QString &barFolder);
    // Called when the record turns out to be another process's only after the job made the
    // bar folder; the job cannot go on.
    void setOnBusy(std::function<void()> onBusy) { m_records.setOnBusy(std::move(onBusy)); }
    // Ends the bar: the record compacted and let go.
    void endBar();
    // Failures of an earlier run put into the failure lists for this bar's retries.
    void addCarriedFailures(int count) { m_counts.failed += count; }
    // Hears of every picture a retry round tried.
    void retried(const PictureOutcome &outcome);

    const QString &barFolder() const { return m_barFolder; }
    const JobSummary &counts() const { return m_counts; }
    double elapsedSeconds() const { return double(m_clock.elapsed()) / 1000.0; }

    void AppendLog(const QString &line) override;
    void ShowLastLogLine() override { }
    FailureLists &failures() override { return m_failures; }

    // Where the jobs render, and what the command line chose for them.
    PageSource &pages() { return m_pages; }
    JobOptions options() const;
    JobObserver *observer() override { return this; }
    // None for a run that saves nothing.
    BarRecords *records() override { return m_options.savesNothing() ? nullptr : &m_records; }

private:
    void pictureFinished(const PictureOutcome &outcome) override;
    void albumReady(const AlbumReady &album) override;

    void recordProblem(BarRecords::Problem problem, const QString &path, const QString &reason);
    void showProgress();

    Engine &m_engine;
    const CliOptions &m_options;
    Console &m_console;
    std::unique_ptr<EnginePages> m_browsers;
    PageList m_pages;
    FailureLists m_failures;
    QString m_bar;
    QString m_barFolder;
    BarRecords m_records;
    JobSummary m_counts; // of the bar, as its summary line shows them
    QElapsedTimer m_clock;
    QTimer m_progressTimer;
    ProgressLine m_progressLine;
};
