#pragma once

#include <QString>

#include <cstdio>
#include <functional>

// The terminal side of the command-line front end. Standard output carries only what a script
// wants to read (saved paths, or the album lines of a dry run); standard error carries the log,
// the errors and the summaries, and on a terminal a progress line redrawn in place that is
// wiped before any other line and never written when standard error is not a terminal. A test
// may hand it other streams.
class Console
{
public:
    explicit Console(bool quiet, std::FILE *out = stdout, std::FILE *err = stderr);

    bool quiet() const { return m_quiet; }
    bool showsProgress() const { return m_tty; }

    // A line of the job's log; not shown when quiet.
    void log(const QString &line);
    // Errors and summaries: always shown.
    void error(const QString &line);
    // One line of standard output, flushed at once so that a pipe sees it as it happens.
    void out(const QString &line);
    // Called when standard output has been closed by its reader (`| head -1`): nobody wants
    // the rest, so the run stops.
    void onOutputClosed(std::function<void()> handler) { m_outputClosed = std::move(handler); }

    // The width of the terminal that shows the progress line.
    int columns() const;
    // The width to lay standard output's text out for: its terminal's, else $COLUMNS, else 80.
    static int outputColumns();

    void setProgress(const QString &text);
    void clearProgress();

private:
    void writeErr(const QByteArray &bytes);
    void drawProgress();
    void wipeProgress();

    std::FILE *m_out;
    std::FILE *m_err;
    bool m_quiet;
    bool m_tty;
    bool m_outTty;
    std::function<void()> m_outputClosed;
    QString m_progress;
    bool m_progressShown = false;
};
