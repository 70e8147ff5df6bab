#include "tools/forumsim/picturefactory.h"

#include <QBuffer>
#include <QColor>
#include <QCryptographicHash>
#include <QImage>
#include <QStringBuilder>

namespace {

// Encoding a JPEG costs about half a millisecond, too much for thousands of distinct ids in a
// benchmark. So ids share a small set of encoded images and differ by a comment segment
// carrying the id, which keeps every file unique and still valid.
constexpr int VariantCount = 64;
constexpr int Width = 320;
constexpr int Height = 240;

int variantOf(const QString &id)
{
    const QByteArray digest = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha1);
    return quint8(digest.at(0)) % VariantCount;
}

QByteArray bigEndian16(int value)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char((value >> 8) & 0xff);
    bytes[1] = char(value & 0xff);
    return bytes;
}

// JFIF wants its APP0 segment right after SOI, so the comment goes behind it.
qsizetype commentPosition(const QByteArray &jpeg)
{
    if (jpeg.size() > 6 && quint8(jpeg.at(2)) == 0xff && quint8(jpeg.at(3)) == 0xe0)
        return 4 + ((quint8(jpeg.at(4)) << 8) | quint8(jpeg.at(5)));
    return 2;
}

} // namespace

QByteArray PictureFactory::bytes(const QString &id, qint64 size) const
{
    QByteArray jpeg = withComment(variant(variantOf(id)), id);
    if (size > jpeg.size())
        jpeg.append(qsizetype(size - jpeg.size()), '\0');
    return jpeg;
}

const QByteArray &PictureFactory::variant(int index) const
{
    auto it = m_variants.find(index);
    if (it == m_variants.end())
        it = m_variants.insert(index, encode(paint(index)));
    return *it;
}

QImage PictureFactory::paint(int index)
{
    // Converted once: an HSV QColor recomputes RGB on every red()/green()/blue() call.
    const QRgb from = QColor::fromHsv(index * 360 / VariantCount, 160, 230).rgb();
    const QRgb to = QColor::fromHsv((index * 360 / VariantCount + 150) % 360, 200, 90).rgb();
    QImage image(Width, Height, QImage::Format_RGB32);
    for (int y = 0; y < Height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < Width; ++x) {
            const bool band = ((x + y * (index % 3 + 1)) / 40) % 2 == 0;
            const int t = (x + y) * (band ? 256 : 154) / (Width + Height);
            line[x] = qRgb(qRed(from) + (qRed(to) - qRed(from)) * t / 256,
                           qGreen(from) + (qGreen(to) - qGreen(from)) * t / 256,
                           qBlue(from) + (qBlue(to) - qBlue(from)) * t / 256);
        }
    }
    return image;
}

QByteArray PictureFactory::encode(const QImage &image)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", 85))
        qFatal("forumsim: Qt's JPEG image plugin is missing; no pictures can be made");
    return jpeg;
}

QByteArray PictureFactory::withComment(const QByteArray &jpeg, const QString &id)
{
    const QByteArray text = QByteArrayLiteral("forumsim picture ") + id.toUtf8().left(4000);
    const QByteArray segment = QByteArrayLiteral("\xff\xfe") + bigEndian16(int(text.size()) + 2) + text;
    QByteArray result = jpeg;
    result.insert(commentPosition(jpeg), segment);
    return result;
}
