#pragma once

#include "job/jobwindow.h"

#include <QHash>
#include <QList>
#include <QString>

#include <utility>

// Follows each album of a run from its harvest to its pictures' outcomes, its retries
// included, and tells which albums now have every picture saved, and which ended without.
class AlbumCompletion final
{
public:
    struct Album
    {
        QString id;
        QString folder;
        int pictures = 0; // 0: the album ended with a picture missing
    };

    void albumHarvested(const AlbumReady &album);
    // Outcomes come in album and picture order, each of the album harvested last; one without a
    // number is a retried picture's.
    void pictureDone(const PictureOutcome &outcome);
    // A retried picture, of any album of the run.
    void retried(const PictureOutcome &outcome);
    // What changed since the last call, each album once.
    QList<Album> takeChanged() { return std::exchange(m_changed, {}); }

private:
    struct Progress
    {
        QString id;
        int pictures = 0;
        int reported = 0;
        int missing = 0;
    };

    void settle(const QString &folder);

    QHash<QString, Progress> m_albums; // by folder
    QString m_current;
    QList<Album> m_changed;
};
