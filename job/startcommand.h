#pragma once

#include "jobstate.h"

#include <QFile>

class JobWindow;

// One run of the Start command: discovers the bar's albums, renders each and saves its pictures.
class StartCommand final
{
    Q_DISABLE_COPY_MOVE(StartCommand)

public:
    explicit StartCommand(JobWindow &window);

    void run();

private:
    void openScratchFile();
    void discoverAlbums();
    bool prepareBarFolder();
    void processAlbums();
    void complete();

    JobWindow &m_window;
    JobState m_state;
    QFile m_scratch;
};
