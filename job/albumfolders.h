#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

// Gives every album of one job a folder of its own. Albums of a bar often share a title, and
// every album numbers its pictures from 1, so a shared folder would let a later album overwrite
// an earlier one's pictures. The first album keeps the folder of its title; a later one whose
// folder name is taken gets "<title> (<album id>)". The names depend only on the albums' order,
// titles and ids, so the same bar downloaded again lands in the same folders.
class AlbumFolders final
{
public:
    // The folder name (one level) for the next album of the job.
    QString claim(const QString &title, const QString &albumId);

private:
    // Names as the file system compares them: bytes, case and all.
    QSet<QByteArray> m_taken;
};
