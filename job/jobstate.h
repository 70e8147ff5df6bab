#pragma once

#include "web/browser/browseradapter.h"

#include <QString>
#include <QStringList>

// The state of one run of the Start command; dropped when the run ends.
struct JobState
{
    QString ListUrl;
    double PageCount = 1;
    int ListPage = 1;
    QString ListHtml;
    QString AlbumUrls;
    QStringList AlbumList;
    int AlbumCount = 0;
    QString BarName; // as it stood when Start was pressed
    QString BarFolder;
    int AlbumIndex = 0;
    QString AlbumUrl;
    int AlbumPage = 1;
    QString AlbumHtml;
    QString AlbumTitle;
    bool AlbumWhole = true; // the page settled within its bounds
    // Every state the page showed its pictures in while it was scrolled.
    QList<ShownElement> AlbumShown;
    // The album's own folder: its title's, unless an earlier album of this job took that name.
    QString AlbumFolder;
    int ImageNo = 0;
    QString ImageUrl;
    QString ImagePath;
};
