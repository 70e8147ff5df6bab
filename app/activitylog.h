#pragma once

class QListWidget;
class QString;

// The window's activity log: an append-only list whose lines are also written, UTF-8, one per
// line to standard error, so that a job can be followed from a terminal and by scripts.
class ActivityLog final
{
public:
    explicit ActivityLog(QListWidget *list);

    // Adds a line at the end without moving the selection or the scroll position.
    void AppendLog(const QString &line);
    // Selects the last line, which scrolls it into view; on an empty log nothing is selected.
    void ShowLastLogLine();

private:
    QListWidget *m_list;
};
