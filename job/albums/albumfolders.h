#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

// What earlier jobs on a bar folder left known: which album each album folder was given to.
// The bar's records hand it to the job (BarRecords::earlierAlbumFolders).
class EarlierAlbumFolders
{
public:
    virtual ~EarlierAlbumFolders() = default;
    // The album an earlier job gave the folder `name` (one level) to; empty when none is known.
    virtual QString albumOf(const QString &name) const = 0;
    // The folder an earlier job last gave album `albumId`; empty when none is known.
    virtual QString folderOf(const QString &albumId) const = 0;
    virtual qsizetype folderCount() const = 0;
};

// Gives every album of one job a folder of its own. Albums of a bar often share a title, and
// every album numbers its pictures from 1, so a shared folder would let a later album overwrite
// an earlier one's pictures. The first album keeps the folder of its title; a later one whose
// folder name is taken gets "<title> (<album id>)". The names depend only on the albums' order,
// titles and ids, so the same bar downloaded again lands in the same folders.
//
// With what earlier jobs left known, a folder given to another album is taken as well, and an
// album gets back the folder it had, wherever it now stands in the list.
class AlbumFolders final
{
public:
    // What earlier jobs knew; null (the default) when nothing is known. Not owned.
    void setEarlier(const EarlierAlbumFolders *earlier) { m_earlier = earlier; }
    // The folder name (one level) for the next album of the job.
    QString claim(const QString &title, const QString &albumId);

private:
    bool takenFor(const QString &name, const QString &albumId) const;

    // Names as the file system compares them: bytes, case and all.
    QSet<QByteArray> m_taken;
    const EarlierAlbumFolders *m_earlier = nullptr;
};
