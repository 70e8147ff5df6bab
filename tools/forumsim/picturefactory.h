#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

class QImage;

// Makes the JPEG served for a picture id: real, decodable, deterministic and cheap to repeat.
class PictureFactory
{
public:
    // The picture for id, padded after its end-of-image marker to size bytes when that is larger.
    QByteArray bytes(const QString &id, qint64 size) const;

private:
    const QByteArray &variant(int index) const;
    static QImage paint(int index);
    static QByteArray encode(const QImage &image);
    static QByteArray withComment(const QByteArray &jpeg, const QString &id);

    mutable QHash<int, QByteArray> m_variants;
};
