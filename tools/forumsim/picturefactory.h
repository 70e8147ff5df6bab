#pragma once

#include "tools/forumsim/forumcontent.h"

#include <QByteArray>
#include <QHash>
#include <QString>

class QImage;

// Makes the picture served for a picture id: real, decodable, deterministic and cheap to repeat;
// a JPEG unless the id is declared in another format.
class PictureFactory
{
public:
    // The picture for id, padded after its format's end to size bytes when that is larger.
    QByteArray bytes(const QString &id, qint64 size, PictureFormat format = PictureFormat::Jpeg) const;
    static QByteArray contentType(PictureFormat format);

private:
    const QByteArray &variant(int index, PictureFormat format) const;
    static QImage paint(int index);
    static QByteArray encode(const QImage &image, const char *format);
    static QByteArray withComment(const QByteArray &jpeg, const QString &id);
    static QByteArray pngWithComment(const QByteArray &png, const QString &id);
    // Qt writes neither of these two, so they are put together here, small.
    static QByteArray gif(int index, const QString &id);
    static QByteArray webp(const QString &id);

    mutable QHash<int, QByteArray> m_variants;
};
