#include "job/records/albumfile.h"

#include "job/pictures/picturescan.h"
#include "job/records/statefile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

const QString &AlbumFile::name()
{
    static const QString fileName = QStringLiteral("album.json");
    return fileName;
}

AlbumFile::AlbumFile(const AlbumReady &album, const QString &imageHost)
    : m_folder(QDir::cleanPath(album.folder))
    , m_album{{QStringLiteral("bar"), album.bar},
              {QStringLiteral("id"), album.id},
              {QStringLiteral("url"), album.url},
              {QStringLiteral("title"), album.title}}
{
    m_pictures.reserve(album.pictureIds.size());
    int number = 0;
    for (const std::optional<QString> &id : album.pictureIds) {
        QJsonObject picture{{QStringLiteral("number"), ++number}};
        if (id) {
            picture.insert(QStringLiteral("id"), *id);
            picture.insert(QStringLiteral("url"), pictureAddress(imageHost, *id));
        }
        m_pictures.append(picture);
    }
}

QString AlbumFile::path() const
{
    return m_folder + u'/' + name();
}

void AlbumFile::note(int number, const PictureOutcome &outcome)
{
    if (number < 1 || number > m_pictures.size())
        return;
    QJsonObject &picture = m_pictures[number - 1];
    const QString failed = QStringLiteral("failed");
    m_failed -= picture.contains(failed) ? 1 : 0;
    if (outcome.kind == PictureOutcome::Kind::Failed) {
        picture.remove(QStringLiteral("size"));
        picture.remove(QStringLiteral("saved"));
        picture.insert(failed, outcome.reason);
        ++m_failed;
        return;
    }
    // A skipped picture was saved by an earlier run: its file tells when.
    const QFileInfo file(outcome.path);
    const bool saved = outcome.kind == PictureOutcome::Kind::Saved;
    const qint64 size = saved && outcome.bytes > 0 ? outcome.bytes : file.size();
    const QDateTime when = saved ? QDateTime::currentDateTime() : file.lastModified();
    picture.remove(failed);
    picture.insert(QStringLiteral("size"), size);
    picture.insert(QStringLiteral("saved"), when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate));
}

QString AlbumFile::write(FileCalls &calls) const
{
    if (!QFileInfo(m_folder).isDir())
        return QString();
    QJsonArray pictures;
    for (const QJsonObject &picture : m_pictures)
        pictures.append(picture);
    QJsonObject root = m_album;
    root.insert(QStringLiteral("pictures"), pictures);
    return StateFile::replace(path(), QJsonDocument(root).toJson(), calls);
}
