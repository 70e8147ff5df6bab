#pragma once

#include "job/albums/albumfolders.h"
#include "job/jobstate.h"
#include "job/jobwindow.h"

#include <QFile>

class BarRecords;

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
    JobSummary ended();
    BarRecords *records() const;

    JobWindow &m_window;
    JobState m_state;
    QFile m_scratch;
    AlbumFolders m_albumFolders;
    JobSummary m_summary;
};
