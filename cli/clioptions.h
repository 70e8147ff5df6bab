#pragma once

#include "job/settingsfile.h"

#include <QStringList>

// What the command line asked for.
struct CliOptions
{
    QStringList bars;
    QString folder; // absolute; the bar folders go in here
    bool noSkip = false;
    int retries = 2;
    bool dryRun = false;
    bool getUrls = false;  // print the pictures' addresses instead of saving them
    bool metadata = false; // write album.json beside each album's pictures
    bool quiet = false;
    bool update = false; // albums an earlier run finished are not rendered again
    JobChoices choices;  // the pace and pages, from the settings file and the command line
    // What the settings file got wrong, said once, in the first job's log.
    QStringList complaints;

    // Nothing is fetched or saved: only the albums' pages are read.
    bool savesNothing() const { return dryRun || getUrls; }
};
