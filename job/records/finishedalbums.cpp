#include "job/records/finishedalbums.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

void AlbumCompletion::albumHarvested(const AlbumReady &album)
{
    m_current = QDir::cleanPath(album.folder);
    // An album whose page showed no picture may just not have loaded, and one read before it
    // settled may have shown only some: neither is ever finished.
    if (album.id.isEmpty() || album.pictureIds.isEmpty() || !album.whole) {
        m_albums.remove(m_current);
        return;
    }
    m_albums.insert(m_current, Progress{album.id, int(album.pictureIds.size()), 0, 0});
}

void AlbumCompletion::pictureDone(const PictureOutcome &outcome)
{
    if (outcome.number == 0)
        return retried(outcome);
    const auto album = m_albums.find(m_current);
    if (album == m_albums.end())
        return;
    ++album->reported;
    if (outcome.kind == PictureOutcome::Kind::Failed)
        ++album->missing;
    if (album->reported == album->pictures)
        settle(m_current);
}

void AlbumCompletion::retried(const PictureOutcome &outcome)
{
    const QString folder = QDir::cleanPath(QFileInfo(outcome.path).path());
    const auto album = m_albums.find(folder);
    if (album == m_albums.end() || album->reported < album->pictures || outcome.kind != PictureOutcome::Kind::Saved ||
        album->missing == 0)
        return;
    if (--album->missing == 0)
        settle(folder);
}

void AlbumCompletion::settle(const QString &folder)
{
    const Progress &album = m_albums[folder];
    m_changed.append(Album{album.id, folder, album.missing == 0 ? album.pictures : 0});
}
