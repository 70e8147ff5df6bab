#pragma once

#include "web/files/filecalls.h"

#include "job/jobwindow.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// album.json beside an album's pictures: the bar, the album's id, address and title, and per
// picture its number, id and address, and once it is in the folder its size and when it was
// saved, or why it failed. It is put together as the album's pictures get their outcomes and
// written whole once they all have one; a retry that changes a picture's outcome writes it again.
class AlbumFile final
{
public:
    static const QString &name();

    // The pictures' addresses are on `imageHost`.
    AlbumFile(const AlbumReady &album, const QString &imageHost);

    QString path() const;
    // Picture `number`'s outcome; a later one replaces an earlier one.
    void note(int number, const PictureOutcome &outcome);
    // True when some picture's last outcome was a failure: a retry may change it.
    bool hasFailures() const { return m_failed > 0; }
    // Puts the file in place, whole or not at all; the system's reason when it is not there,
    // empty when it is. An album without a folder (none of its pictures had an address) has no
    // file to write, and that is no failure.
    QString write(FileCalls &calls = FileCalls::system()) const;

private:
    QString m_folder;
    QJsonObject m_album; // everything but the pictures
    QList<QJsonObject> m_pictures;
    int m_failed = 0;
};
