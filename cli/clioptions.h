#pragma once

#include <QStringList>

// What the command line asked for.
struct CliOptions {
    QStringList bars;
    QString folder; // absolute; the bar folders go in here
    bool noSkip = false;
    int retries = 2;
    bool dryRun = false;
    bool quiet = false;
};
