#pragma once

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
    QString BarFolder;
    int AlbumIndex = 0;
    QString AlbumUrl;
    int AlbumPage = 1;
    QString AlbumHtml;
    QString AlbumTitle;
    int ImageNo = 0;
    QString ImageUrl;
    QString ImagePath;
    // What became of the pictures so far, for front ends that report more than the log.
    int PicturesSaved = 0;
    int PicturesSkipped = 0;
    int PicturesFailed = 0;
};
