#pragma once

#include "job/settingsfile.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the window's command line chose for its jobs; it has the last word over the settings
// file, which the window reads afresh at each Start so that an edit counts from the next job.
struct WindowChoices
{
    std::optional<JobChoices::Pace> pace;
    std::optional<int> pages;

    // Takes --pace and --pages (as "--pace adaptive" or "--pace=adaptive") out of `arguments`,
    // leaving the rest; a line saying what is wrong with a value, empty when all is well.
    QString take(QStringList &arguments);

    // The settings file as it is now, with this command line's choices over it.
    JobChoicesFile forNextJob() const;

    // The log line naming the pace of a job at `choices`; empty at the shipped pace, of which
    // the log says nothing.
    static QString paceLine(const JobChoices &choices);

    // The text of "quillory --help".
    static QString help();
};
