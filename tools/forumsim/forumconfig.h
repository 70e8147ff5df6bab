#pragma once

#include "tools/forumsim/forumcontent.h"

#include <QHash>
#include <QPair>
#include <QSet>
#include <QString>

#include <optional>

// The simulated forum's content: bars, their albums and pictures, with lookups the routes need.
class ForumConfig
{
public:
    static std::optional<ForumConfig> fromJson(const QByteArray &json, QString *error);

    qint64 pictureSize() const { return m_pictureSize; }
    int pictureDelayMs() const { return m_pictureDelayMs; }
    qint64 pictureRate() const { return m_pictureRate; }
    const ForumBar *bar(const QString &name) const;
    const ForumAlbum *album(const QString &albumId) const;
    const ForumBar *barOfAlbum(const QString &albumId) const;
    // The first declaration of a picture id, or nullptr for an id no album mentions.
    const ForumPicture *picture(const QString &pictureId) const;
    // Whether some album answers this picture's thumbnail with a flood of interim answers.
    bool floodsThumb(const QString &pictureId) const;

private:
    void buildIndex();

    qint64 m_pictureSize = 0;
    int m_pictureDelayMs = 0;
    qint64 m_pictureRate = 0;
    QList<ForumBar> m_bars;
    QHash<QString, int> m_barIndex;
    QHash<QString, QPair<int, int>> m_albumIndex;
    QHash<QString, ForumPicture> m_pictures;
    QSet<QString> m_floodingThumbs;
};
