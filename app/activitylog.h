#pragma once

#include <QElapsedTimer>
#include <QTimer>

class QListWidget;
class QString;

// The window's activity log: an append-only list whose lines are also written, UTF-8, one per
// line to standard error, so that a job can be followed from a terminal and by scripts.
//
// A list view lays out all its rows again whenever one is inserted or a row it has not laid out
// is selected, so a line would cost time in proportion to the lines before it. The lines go into
// the list at once (its count, items and current row are always up to date), but the view hears
// of them, lays them out and scrolls to the last one at most once per short interval that grows
// with the log, which keeps the cost of a line the same however long the log is.
class ActivityLog final
{
public:
    explicit ActivityLog(QListWidget *list);

    // Adds a line at the end without moving the selection or the scroll position.
    void AppendLog(const QString &line);
    // Selects the last line, which scrolls it into view; on an empty log nothing is selected.
    void ShowLastLogLine();

private:
    void schedule();
    void showNewLines();

    QListWidget *m_list;
    bool m_viewDeferred = false; // the view hears of new rows from showNewLines only
    int m_rowsShown = 0;         // the rows the view has been told of
    int m_scrollTo = -1;         // the row to bring into view, if any
    int m_widest = 0;            // the natural width of the widest line, in pixels
    QTimer m_showTimer;
    QElapsedTimer m_sinceShown;
};
