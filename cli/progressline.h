#pragma once

#include <QString>

// The progress line a terminal shows while a bar is under way. It learns from the job's log
// what the counts cannot yet say: how many albums the list holds, and which album is loading
// before the first one's pictures are counted.
class ProgressLine final
{
public:
    enum class Mode { Saves, DryRun, GetUrls };

    // What the job has counted so far in the bar.
    struct Counts
    {
        int albumNo = 0; // the last album whose page settled, from 1
        int albums = 0;  // 0 until the first album's page settled
        int pictures = 0;
        int saved = 0;
        int skipped = 0;
        int failed = 0;
    };

    void begin(const QString &bar);
    void heardLog(const QString &line);

    // The line for a terminal `columns` wide; the time left is the last thing given up.
    QString text(const Counts &counts, Mode mode, qint64 elapsedSeconds, int columns) const;

    // 75 s as "1:15", an hour and more as "1:02:03".
    static QString clock(qint64 seconds);

private:
    QString m_bar;
    int m_listed = -1; // the albums the list holds, once it is read
    int m_loading = 0; // the album whose page is loading, from 1
};
