#include "albumfolders.h"

#include "foldername.h"

#include <QFile>

namespace {

constexpr qsizetype maxNameBytes = 255;

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
        title.chop(title.size() > 1 && title.back().isLowSurrogate() && title.at(title.size() - 2).isHighSurrogate() ? 2 : 1);
    return safeFolderName(title + suffix);
}

} // namespace

QString AlbumFolders::claim(const QString &title, const QString &albumId)
{
    QString name = safeFolderName(title);
    if (m_taken.contains(onDisk(name))) {
        const QString id = QStringLiteral(" (") + albumId;
        name = withSuffix(title, id + u')');
        // Taken again only by an album listed twice, or by a title that itself reads
        // "<title> (<id>)": a number keeps it apart. Of these many distinct names one is free;
        // names that the length limit makes equal end the search rather than loop.
        for (qsizetype n = 2; m_taken.contains(onDisk(name)) && n <= m_taken.size() + 1; ++n)
            name = withSuffix(title, id + QStringLiteral(", ") + QString::number(n) + u')');
    }
    m_taken.insert(onDisk(name));
    return name;
}
