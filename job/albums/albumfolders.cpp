#include "job/albums/albumfolders.h"

#include "web/files/foldername.h"

#include <QFile>

namespace {

QByteArray onDisk(const QString &name)
{
    return QFile::encodeName(name);
}

// safeFolderName cuts a long name at its end, which would cut the suffix that tells the album
// apart; the title gives way instead.
QString withSuffix(QString title, const QString &suffix)
{
    const QByteArray tail = onDisk(safeFolderName(suffix));
    while (!title.isEmpty() && onDisk(safeFolderName(title)).size() + tail.size() > maxNameBytes)
        title.chop(
            title.size() > 1 && title.back().isLowSurrogate() && title.at(title.size() - 2).isHighSurrogate() ? 2 : 1);
    return safeFolderName(title + suffix);
}

// The names an album may get, in the order it is offered them: its title, then the title with
// its id, then with its id and a number.
QString candidate(const QString &title, const QString &albumId, qsizetype n)
{
    if (n == 0)
        return safeFolderName(title);
    const QString id = QStringLiteral(" (") + albumId;
    return n == 1 ? withSuffix(title, id + u')')
                  : withSuffix(title, id + QStringLiteral(", ") + QString::number(n) + u')');
}

} // namespace

bool AlbumFolders::takenFor(const QString &name, const QString &albumId) const
{
    if (m_taken.contains(onDisk(name)))
        return true;
    if (!m_earlier)
        return false;
    const QString owner = m_earlier->albumOf(name);
    return !owner.isEmpty() && owner != albumId;
}

QString AlbumFolders::claim(const QString &title, const QString &albumId)
{
    QString name;
    // The folder this album had, if it is still one of the names its title would give.
    if (m_earlier) {
        const QString had = m_earlier->folderOf(albumId);
        const QString id = QStringLiteral(" (") + albumId + QStringLiteral(", ");
        const qsizetype numberAt = had.lastIndexOf(id);
        QString number = numberAt < 0 ? QString() : had.mid(numberAt + id.size());
        if (number.endsWith(u')'))
            number.chop(1);
        const qsizetype n = number.toLongLong();
        if (!had.isEmpty() && !m_taken.contains(onDisk(had)) &&
            (had == candidate(title, albumId, 0) || had == candidate(title, albumId, 1) ||
             (n >= 2 && had == candidate(title, albumId, n))))
            name = had;
    }
    // Taken again only by an album listed twice, by a title that itself reads
    // "<title> (<id>)", or by folders given to other albums: a number keeps it apart. Of these
    // many distinct names one is free; names that the length limit makes equal end the search
    // rather than loop.
    const qsizetype tries = m_taken.size() + (m_earlier ? m_earlier->folderCount() : 0) + 1;
    for (qsizetype n = 0; name.isEmpty(); ++n) {
        const QString next = candidate(title, albumId, n);
        if (!takenFor(next, albumId) || n >= tries)
            name = next;
    }
    m_taken.insert(onDisk(name));
    return name;
}
