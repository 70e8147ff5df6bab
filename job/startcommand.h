#pragma once

#include "albumfolders.h"
#include "jobstate.h"

#include <QFile>

class JobWindow;

// How a Start run ended, for front ends that report more than the log shows.
struct JobSummary
{
    enum class End { Completed, NoName, ListUnreachable, NoBarFolder };
    End end = End::Completed;
    int albums = 0;
    int saved = 0;
    int skipped = 0;
    int failed = 0;
    int failedAlbums = 0; // albums whose page never loaded
    int passedOver = 0; // albums not rendered, as the front end asked
};

// One run of the Start command: discovers the bar's albums, renders each and saves its pictures.
class StartCommand final
{
    Q_DISABLE_COPY_MOVE(StartCommand)

public:
    explicit StartCommand(JobWindow &window);

    JobSummary run();

private:
    void openScratchFile();
    bool discoverAlbums();
    bool prepareBarFolder();
    void processAlbums();
    void complete();
    void end(JobSummary::End how);

    JobWindow &m_window;
    JobState m_state;
    QFile m_scratch;
    AlbumFolders m_albumFolders;
    JobSummary m_summary;
};
